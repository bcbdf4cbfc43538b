#pragma once

#include "Models/MeetingAggregator.h"

#include <QList>
#include <algorithm>
#include <limits>
#include <optional>

// Oracles for the meeting list in tests: placing records one at a time (what merge() must
// agree with), and resolving a list row to its day and meeting.
namespace AggregatorRows {

// A day header (meeting == -1) or a meeting of a bucket.
struct Row {
    int bucket = -1;
    int meeting = -1;
    bool isHeader() const { return meeting < 0; }
};

// Places one record into `days`, creating its bucket when needed: before the first meeting of
// its day that starts at the same time or later. False when merge() would skip it.
inline bool place(QList<DayBucket>& days, const MeetingRecord& record) {
    const std::optional<double> key = MeetingAggregator::placementTime(record);
    const QString end = QStringLiteral("end");
    if (!key || (record.has(end) && !record.time(end)))
        return false;
    const QDate day = MeetingAggregator::localDay(*key);
    auto it = std::lower_bound(days.begin(), days.end(), day,
                               [](const DayBucket& b, const QDate& d) { return b.day < d; });
    if (it == days.end() || it->day != day)
        it = days.insert(it, DayBucket{day, *key, MeetingAggregator::dayDescription(day), {}});
    auto& meetings = it->meetings;
    const auto at = std::find_if(meetings.begin(), meetings.end(), [&](const MeetingRecord& m) {
        return MeetingAggregator::placementTime(m).value_or(
                   -std::numeric_limits<double>::infinity()) >= *key;
    });
    meetings.insert(at, record);
    return true;
}

// One header per bucket, then its meetings; nothing past the end.
inline std::optional<Row> rowAt(const QList<DayBucket>& days, int row) {
    if (row < 0)
        return std::nullopt;
    qsizetype header = 0;
    for (int b = 0; b < days.size(); ++b) {
        const qsizetype count = days[b].meetings.size();
        if (row == header)
            return Row{b, -1};
        if (row <= header + count)
            return Row{b, int(row - header - 1)};
        header += count + 1;
    }
    return std::nullopt;
}

} // namespace AggregatorRows
