#pragma once

#include <QBasicTimer>
#include <QWidget>

// An indeterminate progress spinner: twelve spokes, the brightest one turning.
class SSOSpinnerView : public QWidget {
    Q_OBJECT
public:
    explicit SSOSpinnerView(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_timer.isActive(); }

    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_step = 0;
};
