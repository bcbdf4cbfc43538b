#include "MenuContainerView.h"

#include "Logging/Log.h"

#include <QPainter>

MenuContainerView::MenuContainerView(QWidget* parent)
    : QWidget(parent) {}

void MenuContainerView::paintEvent(QPaintEvent*) {
    TLOG_VERBOSE(QStringLiteral("Draw menu container view"));
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 153));
}
