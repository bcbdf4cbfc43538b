#pragma once

#include <QWidget>

// The menu popover's content view. It stays hidden until the popover has shown, then takes its
// final frame once (rounded corners, inset in the menu frame) and becomes visible.
class TamberMenuView : public QWidget {
    Q_OBJECT
public:
    explicit TamberMenuView(QWidget* parent = nullptr);

    static constexpr int kInset = 11;
    static constexpr int kExtraHeight = 4;
    static constexpr qreal kCornerRadius = 2.0;

    // True on the first call only (when it changed the frame), false afterwards.
    bool updateActualRectInSuperViewIfRequired();
    bool firstDrawDone() const { return m_firstDrawDone; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyRoundedClip();

    bool m_firstDrawDone = false;
};
