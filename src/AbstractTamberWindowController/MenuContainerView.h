#pragma once

#include <QWidget>

// A dimming layer laid over the menu while a dialog-like view sits on top of it.
class MenuContainerView : public QWidget {
    Q_OBJECT
public:
    explicit MenuContainerView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
