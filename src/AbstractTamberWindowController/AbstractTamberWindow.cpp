#include "AbstractTamberWindow.h"

AbstractTamberWindow::AbstractTamberWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setWindowOpacity(1.0);
    // Not opaque: the content paints the whole window; red shows where it does not.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::red);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
}
