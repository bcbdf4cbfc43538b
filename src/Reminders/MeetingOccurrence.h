#pragma once

#include "Models/MeetingAggregator.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// One listed meeting at one time: a single meeting, or a series at its listed (next)
// occurrence. What reminders, the tray's tooltip and "join the next meeting" work from.
struct MeetingOccurrence {
    // Source, meeting identity and start: the same for every fetch of the occurrence and never
    // dependent on the title, so a renamed meeting is not reminded twice and a moved one is a
    // new occurrence.
    QString key;
    QString title; // one line
    qint64 startMs = 0;
    qint64 endMs = 0; // the start when the record has no usable end
    QUrl joinUrl;     // what a click on the row joins; empty when there is nothing to join
    QString meetingId;

    bool joinable() const { return !joinUrl.isEmpty(); }
    bool hasEnded(qint64 nowMs) const { return endMs > startMs ? nowMs >= endMs : nowMs > startMs; }
    bool isRunning(qint64 nowMs) const { return startMs <= nowMs && !hasEnded(nowMs); }

    // Nothing for drafts and records without a usable start.
    static std::optional<MeetingOccurrence> from(const MeetingRecord& record);
    // Every listed meeting, ordered by start.
    static QList<MeetingOccurrence> fromDays(const QList<DayBucket>& days);
};
