#pragma once

#include <QWidget>

// The menu's blue header band, lit from the top by a faint white gradient.
class MenuOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit MenuOverlayView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
