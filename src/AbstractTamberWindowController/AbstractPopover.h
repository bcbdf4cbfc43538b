#pragma once

#include "AbstractTamberViewController.h"

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <utility>

// A frameless top-level window shown next to the tray icon, holding one view controller.
// A popover is shown once and not again after it closed, unless it is reusable (the menu): then
// each show starts a new round of show and close events, and a close only hides the window, so
// the next show finds its native window ready. Transient popovers (the base behaviour) close on
// a click outside them.
class AbstractPopover : public QWidget {
    Q_OBJECT
public:
    explicit AbstractPopover(QWidget* parent = nullptr);
    ~AbstractPopover() override;

    // The content; the popover owns it.
    AbstractTamberViewController* viewController() const { return m_viewController; }
    void setViewController(AbstractTamberViewController* controller);

    // Quits the application. Shown popovers are hidden first: one still shown as a popup when
    // Qt closes every window to quit only hides, and Qt takes that for a refusal to quit.
    static void quitApplication();

    // anchor: the tray icon's geometry in global coordinates, or empty (then: at the cursor).
    virtual void showPopover(const QRect& anchor);
    virtual void hidePopover();

    bool isTransient() const { return m_transient; }
    virtual bool isReusable() const { return false; }
    // A reusable popover that closed counts as open again from here on: a late close notice
    // of the popover it replaces must not see it closed before its show comes round.
    void prepareForReuse();
    bool hasClosed() const { return m_didClose; }
    // Whether the popover had the keyboard focus when it was last hidden, and since then no
    // window has had it and the popover has not been shown again. Reading clears it: the one loss
    // of focus that the hide causes is then reported as having been taken with the popover.
    bool takeFocusLeftOnHide() { return std::exchange(m_focusLeftOnHide, false); }

    // Where a popover of `size` goes: centred under the anchor, or above it when the anchor sits
    // at the bottom of the screen; at the cursor for an empty anchor; always inside `available`.
    static QRect placement(const QSize& size, const QRect& anchor, const QPoint& cursor,
                           const QRect& available);
    // The same on the real screen of the anchor (or of the cursor).
    static QRect placementOnScreen(const QSize& size, const QRect& anchor);

    // Logs "x : %f, y : %f, w : %f, h : %f".
    static void logFrameRect(const QRectF& rect);
    // "RRGGBB" read as a hexadecimal number (nothing readable gives 0): an opaque colour.
    static QColor colorWithHexColorString(const QString& hex = QString());

Q_SIGNALS:
    // After the popover has closed, by any path.
    void popoverClosed();

protected:
    // Shows the window at the placement for `anchor`; transient windows grab the pointer so
    // that a click outside closes them.
    void presentAt(const QRect& anchor, bool transient);

    virtual void popoverWillShow();
    virtual void popoverDidShow();
    virtual void popoverWillClose();
    virtual void popoverDidClose();

    // Logs the DEALLOC line once, with the most derived class name. Concrete popovers call it
    // first thing in their destructor (the base one sees only its own class).
    void logDealloc();

    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<AbstractTamberViewController> m_viewController;
    bool m_transient = true;
    bool m_shown = false;
    bool m_willCloseSent = false;
    bool m_didClose = false;
    bool m_deallocLogged = false;
    bool m_focusLeftOnHide = false;
    QElapsedTimer m_hiddenAt;
    // Releases the native window (and its backing store) of a popover that stayed hidden.
    QTimer m_releaseTimer;
};
