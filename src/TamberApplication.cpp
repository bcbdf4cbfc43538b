#include "TamberApplication.h"

#include "Logging/Log.h"

#include <QKeyEvent>
#include <QWidget>
#include <exception>

namespace {

// Qt maps Command to ControlModifier on macOS, so one test serves both platforms.
constexpr Qt::KeyboardModifiers kCommand = Qt::ControlModifier;

const char* editingAction(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (mods == kCommand) {
        switch (event.key()) {
        case Qt::Key_X:
            return "cut";
        case Qt::Key_C:
            return "copy";
        case Qt::Key_V:
            return "paste";
        case Qt::Key_Z:
            return "undo";
        case Qt::Key_A:
            return "selectAll";
        default:
            return nullptr;
        }
    }
    if (mods == (kCommand | Qt::ShiftModifier) && event.key() == Qt::Key_Z) {
        return "redo";
    }
    return nullptr;
}

QString describe(const QEvent* event) {
    return QStringLiteral("QEvent(type=%1)").arg(static_cast<int>(event->type()));
}

} // namespace

TamberApplication::TamberApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool TamberApplication::dispatchEditingShortcut(const QKeyEvent& event, QWidget* focus) {
    const char* action = editingAction(event);
    if (!action || !focus) {
        return false;
    }
    // Text fields expose these as slots; a widget without the slot did not handle it.
    const QByteArray signature = QByteArray(action) + "()";
    if (focus->metaObject()->indexOfMethod(signature.constData()) < 0) {
        return false;
    }
    return QMetaObject::invokeMethod(focus, action);
}

bool TamberApplication::notify(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::KeyPress && receiver->isWidgetType()) {
        if (dispatchEditingShortcut(*static_cast<QKeyEvent*>(event), focusWidget())) {
            return true;
        }
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        TLOG_ERROR(QStringLiteral("Exception %1 while sending event %2")
                       .arg(QString::fromUtf8(e.what()), describe(event)));
    } catch (...) {
        TLOG_ERROR(QStringLiteral("Exception %1 while sending event %2")
                       .arg(QStringLiteral("(unknown)"), describe(event)));
    }
    return false;
}
