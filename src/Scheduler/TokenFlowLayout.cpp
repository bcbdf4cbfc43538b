#include "TokenFlowLayout.h"

#include <QWidget>

TokenFlowLayout::TokenFlowLayout(QWidget* parent, int spacing)
    : QLayout(parent)
    , m_spacing(spacing) {}

TokenFlowLayout::~TokenFlowLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void TokenFlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
}

void TokenFlowLayout::insertWidget(int index, QWidget* widget) {
    addChildWidget(widget);
    m_items.insert(qBound(0, index, int(m_items.size())), new QWidgetItem(widget));
    invalidate();
}

QLayoutItem* TokenFlowLayout::takeAt(int index) {
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

QSize TokenFlowLayout::minimumSize() const {
    QSize size;
    for (const QLayoutItem* item : m_items) {
        size = size.expandedTo(item->minimumSize());
    }
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

void TokenFlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int TokenFlowLayout::arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    int x = area.x();
    int y = area.y();
    int rowHeight = 0;
    for (QLayoutItem* item : m_items) {
        if (item->widget() && item->widget()->isHidden()) {
            continue;
        }
        QSize hint = item->sizeHint();
        hint.setWidth(qMin(hint.width(), area.width()));
        if (x > area.x() && x + hint.width() > area.right() + 1) {
            x = area.x();
            y += rowHeight + m_spacing;
            rowHeight = 0;
        }
        if (apply) {
            item->setGeometry(QRect(QPoint(x, y), hint));
        }
        x += hint.width() + m_spacing;
        rowHeight = qMax(rowHeight, hint.height());
    }
    return y + rowHeight - rect.y() + contentsMargins().bottom();
}
