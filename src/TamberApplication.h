#pragma once

#include <QApplication>

class QKeyEvent;

// The application object: the event dispatch of every window passes through notify(), where the
// usual editing shortcuts are routed to the focused field (popovers have no menu bar to carry
// them) and an exception thrown by a handler is logged and the event dropped.
class TamberApplication : public QApplication {
    Q_OBJECT
public:
    TamberApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Sends the editing action of a Ctrl (Command on macOS) shortcut to the focused widget.
    // True when some widget performed it, so the key press is consumed.
    static bool dispatchEditingShortcut(const QKeyEvent& event, QWidget* focus);
};
