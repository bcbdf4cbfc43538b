#include "PasswordLoginWindow.h"

#include <QCloseEvent>
#include <QPainter>

// Resources of a static library must be registered by hand (repeating it is harmless).
static QString backgroundResource() {
    Q_INIT_RESOURCE(gui);
    return QStringLiteral(":/images/dialogBkgd.svg");
}

PasswordLoginWindow::PasswordLoginWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_background(backgroundResource()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PasswordLoginWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isValid()) {
        m_background.render(&painter, QRectF(rect()));
    } else {
        painter.fillRect(rect(), Qt::white);
    }
}

void PasswordLoginWindow::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {
        Q_EMIT closedByUser();
    }
    QWidget::closeEvent(event);
}
