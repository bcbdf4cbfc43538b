#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"

#include <QVariantMap>

class SchedulerViewController;

// The scheduler: a new meeting (empty record) or one to edit or resume. Not transient: it
// stays up while the user works elsewhere in the application and closes through its own
// buttons, the icon or the application losing the front.
class SchedulerPopover : public AbstractPopover {
    Q_OBJECT
public:
    explicit SchedulerPopover(const QVariantMap& meeting, QWidget* parent = nullptr);
    ~SchedulerPopover() override;

    const QVariantMap& meeting() const { return m_meeting; }
    SchedulerViewController* schedulerViewController() const;

    void showPopover(const QRect& anchor) override;
    void hidePopover() override;

protected:
    void popoverWillShow() override;
    void popoverDidShow() override;
    void popoverWillClose() override;

private:
    QVariantMap m_meeting;
};
