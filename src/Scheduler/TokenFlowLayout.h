#pragma once

#include <QLayout>
#include <QList>

// Lays its items out left to right, wrapping to a new row when the width runs out; its height
// follows its width.
class TokenFlowLayout : public QLayout {
public:
    explicit TokenFlowLayout(QWidget* parent = nullptr, int spacing = 4);
    ~TokenFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    void insertWidget(int index, QWidget* widget);
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    QSize minimumSize() const override;
    QSize sizeHint() const override { return minimumSize(); }
    void setGeometry(const QRect& rect) override;

private:
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};
