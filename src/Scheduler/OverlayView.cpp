#include "OverlayView.h"

#include <QEvent>
#include <QPainter>

OverlayView::OverlayView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("overlayView"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    hide();
}

void OverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 128));
}

bool OverlayView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}
