#pragma once

#include <QFrame>

class QCheckBox;

// The weekdays of a weekly repetition, in a small transient popover under the day button.
class DayOfWeekPopover : public QFrame {
    Q_OBJECT
public:
    explicit DayOfWeekPopover(QWidget* parent = nullptr);

    // Sunday 1, Monday 2, ... Saturday 64.
    int mask() const;
    void setMask(int mask);
    QCheckBox* day(int index) const { return m_days[index]; } // 0 is Sunday

    // Opens below `anchor` (its bounds moved 7 pixels down).
    void showBelow(QWidget* anchor);

Q_SIGNALS:
    void popoverDidClose();
    void maskChanged();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QCheckBox* m_days[7] = {};
};
