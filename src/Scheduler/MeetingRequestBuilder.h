#pragma once

#include "SchedulerForm.h"

#include <QJsonObject>
#include <QString>
#include <QVariantMap>

// The create/change request body and the draft record made from a scheduler form.
class MeetingRequestBuilder {
public:
    static QJsonObject body(const SchedulerForm& form, const QString& version);

    // The stored draft (empty for a first capture) updated from the form. "id" and
    // "numericMeetingId" come from `meeting` when it exists on the service; the options only
    // when `withOptions`.
    static QVariantMap draft(const SchedulerForm& form, QVariantMap stored,
                             const QVariantMap& meeting, const QString& guid, bool withOptions);

    // The title, or the placeholder when it is empty.
    static QString title(const SchedulerForm& form);
    // Six keys for no repetition, three for a repetition. A draft keeps a weekly item without
    // a day as no repetition.
    static QVariantMap recurrencePattern(const SchedulerForm& form, bool forDraft);
    // Every comma-separated part, trimmed, without an address check; empty parts dropped.
    static QVariantList attendeeParts(const QString& text);
    // Day mask of seven flags, Sunday first.
    static int daysOfWeekMask(const bool (&days)[7]);
    static bool hasDay(int mask, int day); // day 0 is Sunday
};
