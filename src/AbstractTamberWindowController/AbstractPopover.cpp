#include "AbstractPopover.h"

#include "AbstractTamberViewController.h"
#include "Logging/Log.h"
#include "ObjectDescription.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <limits>

namespace {

// Space between the anchor (icon or cursor) and the popover.
constexpr int kAnchorGap = 4;

// A popover shown again this soon after hiding gets the focus back well before the window
// system could report it lost.
constexpr qint64 kQuickReopenMs = 200;

// The start of a span of `length` kept within [lo, lo + extent); a span longer than the range
// starts at lo, so the top-left part (title, first fields) stays visible.
int clampSpan(int start, int length, int lo, int extent) {
    if (length >= extent) {
        return lo;
    }
    return qBound(lo, start, lo + extent - length);
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

} // namespace

AbstractPopover::AbstractPopover(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    // The click that closes a transient popover must not also land on what lies under it:
    // on the tray icon it would reopen the popover that the user just dismissed.
    setAttribute(Qt::WA_NoMouseReplay);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    // Hidden past a quick reopen, the native window would be built again at the next show all the
    // same: it goes now, with the backing store image that the window system holds for it.
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(int(kQuickReopenMs));
    connect(&m_releaseTimer, &QTimer::timeout, this, [this] {
        if (isVisible() || !windowHandle())
            return;
        m_focusLeftOnHide = false; // a destroyed window's focus loss is never reported
        destroy();
    });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus)
            m_focusLeftOnHide = false;
    });
}

AbstractPopover::~AbstractPopover() {
    logDealloc();
}

void AbstractPopover::logDealloc() {
    if (m_deallocLogged) {
        return;
    }
    m_deallocLogged = true;
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void AbstractPopover::setViewController(AbstractTamberViewController* controller) {
    if (m_viewController) {
        delete m_viewController;
    }
    m_viewController = controller;
    if (controller) {
        controller->setParent(this);
        controller->setPopover(this);
        layout()->addWidget(controller);
    }
}

void AbstractPopover::quitApplication() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* popover = qobject_cast<AbstractPopover*>(window);
        if (popover && popover->isVisible())
            popover->hidePopover();
    }
    QCoreApplication::quit();
}

void AbstractPopover::showPopover(const QRect& anchor) {
    TLOG_DEBUG(QStringLiteral("Showing %1, %2")
                   .arg(objectDescription(this), objectDescription(m_viewController)));
    presentAt(anchor, true);
}

void AbstractPopover::hidePopover() {
    close();
}

void AbstractPopover::presentAt(const QRect& anchor, bool transient) {
    if (m_didClose && !isReusable()) {
        TLOG_WARN(QStringLiteral("%1 was shown again after closing").arg(objectDescription(this)));
        return;
    }
    m_releaseTimer.stop();
    prepareForReuse();
    m_transient = transient;
    // Window flags must be settled before the native window exists (first show); setting them
    // again, even unchanged, would make a shown-again popover build a new native window.
    const Qt::WindowFlags flags =
        transient ? (Qt::Popup | Qt::FramelessWindowHint)
                  : (Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (windowFlags() != flags)
        setWindowFlags(flags);
    // Shown again while the focus it gave up on hiding may still be reported gone (X11 does so
    // 400 ms later unless the focus is back first): arriving with the popover on screen, that
    // report would close it. A quick reopen has its focus back long before; a later one gets a
    // new native window, as every show used to build, which has no report coming.
    if (std::exchange(m_focusLeftOnHide, false) && windowHandle() &&
        m_hiddenAt.elapsed() >= kQuickReopenMs)
        windowHandle()->destroy();
    popoverWillShow();
    adjustSize();
    const QRect frame = placementOnScreen(size(), anchor);
    logFrameRect(frame);
    setGeometry(frame);
    m_shown = true;
    show();
    raise();
    if (transient) {
        activateWindow();
    }
    popoverDidShow();
    // Qt asks every widget shown with the window for a repaint through a posted event, which
    // comes after the window's first paint and would paint all of it a second time: taken now,
    // before the window system has exposed the window, they join that first paint.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

void AbstractPopover::prepareForReuse() {
    if (isReusable()) {
        m_didClose = false;
        m_willCloseSent = false;
    }
}

void AbstractPopover::popoverWillShow() {
    if (m_viewController) {
        m_viewController->popoverWillShow();
    }
}

void AbstractPopover::popoverDidShow() {
    TLOG_DEBUG(QStringLiteral("Popover did show from abstract popover"));
    MainQueue::async(
        [] { NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_TAMBER_POPOVER")); });
}

void AbstractPopover::popoverWillClose() {}

void AbstractPopover::popoverDidClose() {
    TLOG_DEBUG(QStringLiteral("Popover did close from abstract popover"));
    // No context object: the notification goes out even when the popover is released at once.
    MainQueue::async(
        [] { NotificationCenter::defaultCenter().post(QStringLiteral("CLOSE_TAMBER_POPOVER")); });
}

void AbstractPopover::closeEvent(QCloseEvent* event) {
    if (m_shown && !m_willCloseSent) {
        m_willCloseSent = true;
        popoverWillClose();
    }
    if (!isReusable()) {
        event->accept();
        return;
    }
    // Closing would destroy the native window, and the next show would build it again with its
    // backing store and window properties: a reusable popover is only hidden.
    event->ignore();
    hide();
}

void AbstractPopover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous() || !m_shown || m_didClose) {
        return;
    }
    // The window system takes the focus back from a hidden window later; from a destroyed one
    // Qt drops it at once and nobody hears of it.
    m_focusLeftOnHide = windowHandle() && QGuiApplication::focusWindow() == windowHandle();
    m_hiddenAt.start();
    if (isReusable())
        m_releaseTimer.start();
    if (!m_willCloseSent) {
        m_willCloseSent = true;
        popoverWillClose();
    }
    m_didClose = true;
    popoverDidClose();
    Q_EMIT popoverClosed();
}

QRect AbstractPopover::placement(const QSize& size, const QRect& anchor, const QPoint& cursor,
                                 const QRect& available) {
    // The cursor counts as an anchor of no size.
    const bool atCursor = anchor.isEmpty();
    const int refLeft = atCursor ? cursor.x() : anchor.left();
    const int refWidth = atCursor ? 0 : anchor.width();
    const int refTop = atCursor ? cursor.y() : anchor.top();
    const int refEnd = atCursor ? cursor.y() : anchor.top() + anchor.height(); // exclusive
    const int spaceBelow =
        available.isValid() ? available.top() + available.height() - refEnd : size.height();
    const int spaceAbove = available.isValid() ? refTop - available.top() : 0;
    // Above only when the popover does not fit below and there is more room above: an icon in
    // a bottom panel (which lies outside the available area) or a cursor near the bottom.
    const bool above = spaceBelow < size.height() + kAnchorGap && spaceAbove > spaceBelow;
    const int x = refLeft + (refWidth - size.width()) / 2;
    const int y = above ? refTop - kAnchorGap - size.height() : refEnd + kAnchorGap;
    if (!available.isValid()) {
        return QRect(QPoint(x, y), size);
    }
    return QRect(QPoint(clampSpan(x, size.width(), available.left(), available.width()),
                        clampSpan(y, size.height(), available.top(), available.height())),
                 size);
}

QRect AbstractPopover::placementOnScreen(const QSize& size, const QRect& anchor) {
    const QPoint cursor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor.isEmpty() ? cursor : anchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect();
    return placement(size, anchor, cursor, available);
}

void AbstractPopover::logFrameRect(const QRectF& rect) {
    TLOG_DEBUG(QStringLiteral("x : %1, y : %2, w : %3, h : %4")
                   .arg(rect.x(), 0, 'f', 6)
                   .arg(rect.y(), 0, 'f', 6)
                   .arg(rect.width(), 0, 'f', 6)
                   .arg(rect.height(), 0, 'f', 6));
}

QColor AbstractPopover::colorWithHexColorString(const QString& hex) {
    // Reads like a hexadecimal number scanner: leading white space, an optional "0x", then as
    // many hex digits as there are; too large a number saturates.
    const QString text = hex.trimmed();
    qsizetype i = 0;
    if (text.size() >= 2 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        i = 2;
    }
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) {
            break;
        }
        value = std::min<quint64>(value * 16 + quint64(digit), std::numeric_limits<quint32>::max());
    }
    const auto rgb = quint32(value);
    return QColor::fromRgbF(float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f,
                            float(rgb & 0xFF) / 255.0f, 1.0f);
}
