#include "TamberImageView.h"

#include "Platform/NotificationCenter.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

TamberImageView::TamberImageView(QWidget* parent)
    : QLabel(parent)
    , m_clicks(QGuiApplication::styleHints()->mouseDoubleClickInterval(), kMaxClickDistance) {
    setAlignment(Qt::AlignCenter);
}

void TamberImageView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const int count = m_clicks.press(event->timestamp(), event->globalPosition().toPoint());
    if (count == kRequiredClicks) {
        NotificationCenter::defaultCenter().post(QStringLiteral("SHOWAPPLICATIONSERVEROPTIONS"));
    }
}

void TamberImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
