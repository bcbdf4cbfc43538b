#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"

#include <QVariantMap>

// Placeholder of the scheduler popover: a new meeting (empty record) or one to edit.
class SchedulerPopover : public AbstractPopover {
    Q_OBJECT
public:
    explicit SchedulerPopover(const QVariantMap& meeting, QWidget* parent = nullptr)
        : AbstractPopover(parent), m_meeting(meeting) {}
    const QVariantMap& meeting() const { return m_meeting; }

private:
    QVariantMap m_meeting;
};
