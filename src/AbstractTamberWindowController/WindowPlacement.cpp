#include "WindowPlacement.h"

#include "AppController.h"
#include "CustomStatusItemView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QPoint WindowPlacement::centredIn(const QSize& size, const QRect& available) {
    QRect frame(QPoint(), size);
    frame.moveCenter(available.center());
    // Larger than the area: the top-left part (title, first fields) stays on screen.
    const int x = qMax(available.left(), qMin(frame.left(), available.right() + 1 - size.width()));
    const int y = qMax(available.top(), qMin(frame.top(), available.bottom() + 1 - size.height()));
    return {x, y};
}

void WindowPlacement::centreOnIconScreen(QWidget* window) {
    const CustomStatusItemView* icon = AppController::customStatusView();
    const QRect anchor = icon ? icon->anchorGeometry() : QRect();
    QScreen* screen =
        QGuiApplication::screenAt(anchor.isEmpty() ? QCursor::pos() : anchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    window->move(centredIn(window->size(), screen->availableGeometry()));
}
