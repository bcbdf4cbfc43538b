#pragma once

#include "MeetingOccurrence.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <optional>

// The decisions behind reminders, the tooltip and "join the next meeting", as pure functions
// of the listed occurrences and the time.
namespace ReminderPlan {

// A reminder that could not be shown by this long after the meeting started (suspend, a clock
// set forward, a late start of the application) is stale and dropped.
constexpr qint64 kStaleAfterMs = 60 * 1000;
// "Join next meeting" offers a meeting that runs or starts within this time.
constexpr qint64 kJoinWindowMs = 60 * 60 * 1000;

// Occurrences to remind of at `nowMs`, in start order: joinable, not yet reminded, reached
// their lead time, neither ended nor stale.
QList<MeetingOccurrence> due(const QList<MeetingOccurrence>& occurrences, qint64 nowMs,
                             qint64 leadMs, const QHash<QString, qint64>& reminded);
// When the next reminder after `nowMs` falls due; nothing when none will.
std::optional<qint64> nextDue(const QList<MeetingOccurrence>& occurrences, qint64 nowMs,
                              qint64 leadMs, const QHash<QString, qint64>& reminded);

// The joinable meeting that runs or starts within the join window and whose start is nearest
// to now (a meeting about to start wins over one that started long ago).
std::optional<MeetingOccurrence> nextToJoin(const QList<MeetingOccurrence>& occurrences,
                                            qint64 nowMs);

// "3:00 PM" today, "Tue Dec 8, 3:00 PM" on another day, in `zone`.
QString timeText(qint64 ms, qint64 nowMs, const QTimeZone& zone);
// "In progress: <title> (until <end>)" or "Next: <title> at <time>", for the nearest running
// or coming meeting; "No upcoming meetings" when there is none.
QString toolTip(const QList<MeetingOccurrence>& occurrences, qint64 nowMs, const QTimeZone& zone);

} // namespace ReminderPlan
