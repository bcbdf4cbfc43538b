#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a sign-in window opens: centred on the screen of the status icon (or of the cursor when
// the tray gives no geometry), inside that screen's available area.
class WindowPlacement {
public:
    // The top-left corner for a window of `size` centred in `available`, kept inside it.
    static QPoint centredIn(const QSize& size, const QRect& available);

    // Moves a window that is not shown yet to the centre of the icon's (or cursor's) screen.
    // Done before the first show, so it also holds where no window manager places windows.
    static void centreOnIconScreen(QWidget* window);
    // The available area of that screen; empty when there is no screen.
    static QRect iconScreenArea();
};
