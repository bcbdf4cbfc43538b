#include "SSOSpinnerView.h"

#include <QPainter>
#include <QTimerEvent>

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
} // namespace

SSOSpinnerView::SSOSpinnerView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
}

void SSOSpinnerView::startAnimation() {
    if (!m_timer.isActive())
        m_timer.start(kStepMs, this);
    update();
}

void SSOSpinnerView::stopAnimation() {
    m_timer.stop();
    update();
}

void SSOSpinnerView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % kSpokes;
    update();
}

void SSOSpinnerView::paintEvent(QPaintEvent*) {
    if (!isAnimating())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QPen pen(Qt::white, side / 12.0, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is opaque; the trail behind it fades out.
        const int age = (m_step - i + kSpokes) % kSpokes;
        QColor color(Qt::white);
        color.setAlphaF(1.0 - 0.75 * age / (kSpokes - 1));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(i * 360.0 / kSpokes);
        painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.42));
        painter.restore();
    }
}
