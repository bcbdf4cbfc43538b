#pragma once

#include "AbstractTamberWindowController/AbstractTamberViewController.h"

#include <QVariantMap>

class CustomTextField;
class QLabel;

// The scheduler popover's content. For now a small form (title and Cancel); the full scheduler
// with its panels and drafts replaces the bodies of these operations.
class SchedulerViewController : public AbstractTamberViewController {
    Q_OBJECT
public:
    explicit SchedulerViewController(QWidget* parent = nullptr);
    ~SchedulerViewController() override;

    const QVariantMap& meeting() const { return m_meeting; }
    void setMeeting(const QVariantMap& meeting) { m_meeting = meeting; }
    // Fills the form from the meeting (empty: a new meeting).
    void updateSchedulingUI();

    void focusPopover() override;
    void closeAdvancedMeetingOptionsPanel() {}
    void closeDayOfWeekPopover() {}
    // Keeps an unsent form as a draft when the popover closes.
    void saveDraftIfRequired() {}

private:
    QVariantMap m_meeting;
    QLabel* m_heading = nullptr;
    CustomTextField* m_title = nullptr;
};
