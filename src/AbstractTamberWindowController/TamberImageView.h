#pragma once

#include "ClickSequence.h"

#include <QLabel>

// An image that hides a gesture for support staff: the tenth click of one quick run of clicks
// posts "SHOWAPPLICATIONSERVEROPTIONS".
class TamberImageView : public QLabel {
    Q_OBJECT
public:
    explicit TamberImageView(QWidget* parent = nullptr);

    static constexpr int kRequiredClicks = 10;
    // How far apart (in pixels) two clicks of one run may be.
    static constexpr int kMaxClickDistance = 6;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Qt follows every second press with a double-click event, which QWidget would turn into
    // one more press; the press itself has been counted already.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ClickSequence m_clicks;
};
