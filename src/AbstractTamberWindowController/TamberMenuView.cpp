#include "TamberMenuView.h"

#include "Logging/Log.h"

#include <QPainterPath>
#include <QRegion>

TamberMenuView::TamberMenuView(QWidget* parent)
    : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setVisible(false);
}

bool TamberMenuView::updateActualRectInSuperViewIfRequired() {
    const bool required = !m_firstDrawDone;
    if (required) {
        setGeometry(kInset, kInset, width(), height() + kExtraHeight);
        applyRoundedClip();
        setVisible(true);
        m_firstDrawDone = true;
    }
    TLOG_DEBUG(QStringLiteral("Update required to super view : %1").arg(int(required)));
    return required;
}

void TamberMenuView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_firstDrawDone) {
        applyRoundedClip();
    }
}

void TamberMenuView::applyRoundedClip() {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}
