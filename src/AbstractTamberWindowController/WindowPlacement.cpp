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

QRect WindowPlacement::iconScreenArea() {
    const CustomStatusItemView* icon = AppController::customStatusView();
    const QRect anchor = icon ? icon->anchorGeometry() : QRect();
    QScreen* screen =
        QGuiApplication::screenAt(anchor.isEmpty() ? QCursor::pos() : anchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect();
}

void WindowPlacement::centreOnIconScreen(QWidget* window) {
    const QRect area = iconScreenArea();
    if (!area.isEmpty()) {
        window->move(centredIn(window->size(), area));
    }
}
