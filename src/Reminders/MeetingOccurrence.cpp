#include "MeetingOccurrence.h"

#include "Models/MeetingJoinAddress.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTitleLength = 80;

QString oneLine(const QString& text) {
    QString line = text.simplified();
    if (line.size() > kTitleLength) {
        int cut = kTitleLength;
        if (line.at(cut - 1).isHighSurrogate())
            --cut;
        line.truncate(cut);
        line.append(QChar(0x2026));
    }
    return line;
}

} // namespace

std::optional<MeetingOccurrence> MeetingOccurrence::from(const MeetingRecord& record) {
    if (record.has(QStringLiteral("meetingDraftGuid")))
        return std::nullopt;
    const std::optional<double> start = MeetingAggregator::listedStart(record);
    if (!start)
        return std::nullopt;
    const std::optional<double> end = MeetingAggregator::listedEnd(record);

    MeetingOccurrence occurrence;
    occurrence.startMs = qint64(std::trunc(*start));
    occurrence.endMs = end ? qint64(std::trunc(*end)) : occurrence.startMs;
    occurrence.title = oneLine(MeetingJoinAddress::textOf(record.value(QStringLiteral("title"))));
    occurrence.meetingId =
        MeetingJoinAddress::textOf(record.value(QStringLiteral("numericMeetingId"))).trimmed();
    occurrence.joinUrl = MeetingJoinAddress::forRecord(record);
    const QString id = MeetingJoinAddress::textOf(record.value(QStringLiteral("id")));
    occurrence.key = QStringLiteral("%1|%2|%3")
                         .arg(record.value(QStringLiteral("calendar_entry_type")).toString(),
                              id.isEmpty() ? occurrence.meetingId : id)
                         .arg(occurrence.startMs);
    return occurrence;
}

QList<MeetingOccurrence> MeetingOccurrence::fromDays(const QList<DayBucket>& days) {
    QList<MeetingOccurrence> all;
    for (const DayBucket& day : days) {
        for (const MeetingRecord& record : day.meetings) {
            if (std::optional<MeetingOccurrence> occurrence = from(record))
                all.append(std::move(*occurrence));
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.startMs < b.startMs; });
    return all;
}
