#pragma once

#include "MeetingRecord.h"

#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

// One local calendar day of the upcoming-meetings list.
struct DayBucket {
    QDate day;           // the local day (system time zone) of its meetings' placement times
    double start = 0;    // placement time (ms since 1970 UTC) of the record that created it
    QString description; // local midnight of `day` as locale text (day header)
    QList<MeetingRecord> meetings; // display order

    bool operator==(const DayBucket&) const = default;
};

// Merges the three sources of the upcoming-meetings list into day buckets. Pure: no network,
// no widgets; time zones come from the system (TZ).
//
// Placement time: "nextStart" for a series that has a usable one (listedByNextOccurrence),
// else "start"; numbers or numeric text, milliseconds since 1970 UTC, truncated to whole
// seconds toward zero. Days ascend; within a day meetings ascend by placement time, and
// of two equal times the one placed later comes first. A record without a usable placement
// time, or with a present but non-numeric "end", is skipped with a debug line; it never
// disturbs the others.
class MeetingAggregator {
public:
    // Calendar meetings are placed as they are (they carry their "calendar_entry_type");
    // service records and drafts get "calendar_entry_type" = "velora". Drafts are taken in
    // the map's order. Calendar meetings and drafts that are not maps are skipped.
    static QList<DayBucket> merge(const QVariantList& calendarMeetings,
                                  const QList<QJsonObject>& serviceMeetings,
                                  const QVariantMap& drafts);

    // A repeating service meeting listed at its next occurrence: a series (isRecurring) with a
    // usable "nextStart". Drafts never are; a series
    // without a usable "nextStart" is listed by its "start" rather than not at all.
    static bool listedByNextOccurrence(const MeetingRecord& record);
    // The start and end a row shows: "nextStart"/"nextEnd" when listed by its next occurrence
    // (a missing "nextEnd" keeps the series' duration), else "start"/"end".
    static std::optional<double> listedStart(const MeetingRecord& record);
    static std::optional<double> listedEnd(const MeetingRecord& record);

    // The record's placement time in ms, or nothing when it has none usable.
    static std::optional<double> placementTime(const MeetingRecord& record);
    // The local day of a placement time (ms truncated to whole seconds toward zero).
    static QDate localDay(double placementMs);
    // Local midnight at the start of `day` (the first instant of the day where midnight is
    // skipped by a time change), as shown in the day header.
    static QString dayDescription(const QDate& day);

    // Rows: one header per bucket, then its meetings.
    static int rowCount(const QList<DayBucket>& days);
};
