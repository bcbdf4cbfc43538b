#pragma once

#include <QWidget>

// Covers the form while a save is in progress: black at 50 % over the whole form, taking the
// clicks meant for what lies below and never the keyboard focus. It follows its parent's size.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    explicit OverlayView(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
