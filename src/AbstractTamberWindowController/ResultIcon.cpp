#include "ResultIcon.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>

namespace {

constexpr int kFadeMs = 1500;

QGraphicsOpacityEffect* opacityOf(QLabel* icon) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(icon->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(icon);
        icon->setGraphicsEffect(effect);
    }
    return effect;
}

} // namespace

void ResultIcon::setImage(QLabel* icon, bool failed, const QString& toolTip) {
    icon->setProperty("failed", failed);
    icon->setText(failed ? QStringLiteral("\u2715") : QStringLiteral("\u2713"));
    icon->setStyleSheet(failed ? QStringLiteral("color: #c91c1c; font-weight: 700;")
                               : QStringLiteral("color: #1a8f3c; font-weight: 700;"));
    icon->setToolTip(toolTip);
}

void ResultIcon::showAndFade(QLabel* icon, bool failed, const QString& toolTip) {
    setImage(icon, failed, toolTip);
    icon->setVisible(true);
    QGraphicsOpacityEffect* opacity = opacityOf(icon);
    // A fade still running from the last result stops (and deletes itself).
    for (auto* running : icon->findChildren<QPropertyAnimation*>(Qt::FindDirectChildrenOnly))
        running->stop();
    auto* fade = new QPropertyAnimation(opacity, "opacity", icon);
    fade->setDuration(kFadeMs);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::InQuad);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
