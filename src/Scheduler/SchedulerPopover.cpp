#include "SchedulerPopover.h"

#include "Logging/Log.h"
#include "SchedulerViewController.h"

SchedulerPopover::SchedulerPopover(const QVariantMap& meeting, QWidget* parent)
    : AbstractPopover(parent)
    , m_meeting(meeting) {
    setObjectName(QStringLiteral("schedulerPopover"));
    setViewController(new SchedulerViewController);
}

SchedulerPopover::~SchedulerPopover() {
    logDealloc();
}

SchedulerViewController* SchedulerPopover::schedulerViewController() const {
    return qobject_cast<SchedulerViewController*>(viewController());
}

void SchedulerPopover::showPopover(const QRect& anchor) {
    // No transient behaviour, no activation: the popover becomes key once it has shown.
    presentAt(anchor, false);
}

void SchedulerPopover::hidePopover() {
    if (SchedulerViewController* content = schedulerViewController()) {
        content->closeAdvancedMeetingOptionsPanel();
        content->closeDayOfWeekPopover();
    }
    AbstractPopover::hidePopover();
}

void SchedulerPopover::popoverWillShow() {
    if (SchedulerViewController* content = schedulerViewController()) {
        content->focusPopover();
        content->setMeeting(m_meeting);
        content->updateSchedulingUI();
    }
}

void SchedulerPopover::popoverDidShow() {
    TLOG_DEBUG(QStringLiteral("Scheduler pop over did show"));
    activateWindow();
    AbstractPopover::popoverDidShow();
}

void SchedulerPopover::popoverWillClose() {
    TLOG_DEBUG(QStringLiteral("Scheduler Pop over will close"));
    if (SchedulerViewController* content = schedulerViewController()) {
        content->saveDraftIfRequired();
    }
}
