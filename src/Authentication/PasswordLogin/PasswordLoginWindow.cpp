#include "PasswordLoginWindow.h"

#include <QCloseEvent>
#include <QPainter>

PasswordLoginWindow::PasswordLoginWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_background(QStringLiteral(":/images/dialogBkgd.svg")) {
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
