#include "ProgressIndicator.h"

#include <QPainter>

namespace {
constexpr int kSpokes = 12;
}

ProgressIndicator::ProgressIndicator(QWidget* parent)
    : QWidget(parent) {
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpokes;
        update();
    });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ProgressIndicator::startAnimation() {
    if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void ProgressIndicator::stopAnimation() {
    m_timer.stop();
    update();
}

void ProgressIndicator::paintEvent(QPaintEvent*) {
    if (!isAnimating()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().color(QPalette::WindowText);
    for (int i = 0; i < kSpokes; ++i) {
        QColor c = base;
        // The spoke at the current step is darkest; the others trail off.
        c.setAlphaF(0.15f + 0.85f * float((i + kSpokes - m_step) % kSpokes) / kSpokes);
        painter.setPen(QPen(c, qMax(1.5, side / 10.0), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, side * 0.22), QPointF(0, side * 0.45));
        painter.rotate(360.0 / kSpokes);
    }
}
