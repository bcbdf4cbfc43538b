#include "MenuOverlayView.h"

#include "Logging/Log.h"
#include "Theme.h"

#include <QLinearGradient>
#include <QPainter>

MenuOverlayView::MenuOverlayView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MenuOverlayView::paintEvent(QPaintEvent*) {
    TLOG_VERBOSE(QStringLiteral("Drawing Menu overlay"));
    QPainter painter(this);
    painter.fillRect(rect(), Theme::buttonBlue());
    // 270 degrees: from the top edge downwards, white at 20 % fading out.
    const QRectF band = QRectF(rect()).adjusted(0, 1, 0, 0);
    QLinearGradient gradient(band.topLeft(), band.bottomLeft());
    gradient.setColorAt(0.0, QColor(255, 255, 255, 51));
    gradient.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(band, gradient);
}
