#include "MeetingAggregator.h"

#include "Logging/Log.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

const QString kStart = QStringLiteral("start");
const QString kEnd = QStringLiteral("end");
const QString kNextStart = QStringLiteral("nextStart");
const QString kDraftGuid = QStringLiteral("meetingDraftGuid");
const QString kEntryType = QStringLiteral("calendar_entry_type");
const QString kVelora = QStringLiteral("velora");

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kJulianDayOf1970 = 2440588;

qint64 floorDiv(qint64 a, qint64 b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

qint64 wholeSeconds(double placementMs) {
    return static_cast<qint64>(std::trunc(placementMs / 1000.0));
}

QString recordName(const MeetingRecord& record) {
    for (const QString& key :
         {QStringLiteral("id"), kDraftGuid, QStringLiteral("numericMeetingId")})
        if (record.has(key))
            return QStringLiteral("%1 %2").arg(key, record.value(key).toString());
    return QStringLiteral("without id");
}

// Why a record cannot be listed; empty when it can.
QString defect(const MeetingRecord& record, const std::optional<double>& placement) {
    if (!placement)
        return QStringLiteral("no usable \"start\"");
    if (!record.time(kEnd) && record.has(kEnd))
        return QStringLiteral("an \"end\" that is not a time");
    return {};
}

// Local days of placement times in the system zone. The zone is asked once per UTC day that
// occurs rather than once per record: a UTC day without a time change has one offset for all
// of its records. Days with a time change are worked out record by record.
class LocalDays {
public:
    QDate dayOf(double placementMs) {
        if (!m_zone.isValid())
            return MeetingAggregator::localDay(placementMs);
        const qint64 seconds = wholeSeconds(placementMs);
        const qint64 utcDay = floorDiv(seconds, kSecondsPerDay);
        auto offset = m_offsets.constFind(utcDay);
        if (offset == m_offsets.cend())
            offset = m_offsets.insert(utcDay, steadyOffset(utcDay));
        if (!*offset)
            return QDateTime::fromSecsSinceEpoch(seconds, m_zone).date();
        return QDate::fromJulianDay(floorDiv(seconds + **offset, kSecondsPerDay) +
                                    kJulianDayOf1970);
    }

private:
    // The zone's offset throughout the UTC day, or nothing when it changes within the day.
    std::optional<int> steadyOffset(qint64 utcDay) const {
        if (!m_zone.hasTransitions())
            return std::nullopt;
        const QDateTime begin =
            QDateTime::fromSecsSinceEpoch(utcDay * kSecondsPerDay, QTimeZone::utc());
        const QTimeZone::OffsetData next = m_zone.nextTransition(begin);
        if (next.atUtc.isValid() && next.atUtc.toSecsSinceEpoch() < (utcDay + 1) * kSecondsPerDay)
            return std::nullopt;
        return m_zone.offsetFromUtc(begin);
    }

    QTimeZone m_zone = QTimeZone::systemTimeZone();
    QHash<qint64, std::optional<int>> m_offsets;
};

struct Placed {
    double key;
    quint64 sequence; // order of placement: of two equal keys the later one goes first
    MeetingRecord record;
};

struct Day {
    QDate day;
    double start;
    std::vector<Placed> meetings;
};

class Builder {
public:
    void add(MeetingRecord record) {
        const std::optional<double> key = MeetingAggregator::placementTime(record);
        const QString why = defect(record, key);
        if (!why.isEmpty()) {
            TLOG_DEBUG(
                QStringLiteral("Skipping meeting record (%1): %2").arg(recordName(record), why));
            return;
        }
        const QDate day = m_localDays.dayOf(*key);
        auto found = m_index.constFind(day);
        if (found == m_index.cend()) {
            found = m_index.insert(day, m_days.size());
            m_days.push_back(Day{day, *key, {}});
        }
        m_days[*found].meetings.push_back(Placed{*key, m_sequence++, std::move(record)});
    }

    QList<DayBucket> finish() {
        std::stable_sort(m_days.begin(), m_days.end(),
                         [](const Day& a, const Day& b) { return a.day < b.day; });
        QList<DayBucket> out;
        out.reserve(qsizetype(m_days.size()));
        for (Day& d : m_days) {
            std::sort(d.meetings.begin(), d.meetings.end(), [](const Placed& a, const Placed& b) {
                if (a.key != b.key)
                    return a.key < b.key;
                return a.sequence > b.sequence;
            });
            DayBucket bucket{d.day, d.start, MeetingAggregator::dayDescription(d.day), {}};
            bucket.meetings.reserve(qsizetype(d.meetings.size()));
            for (Placed& p : d.meetings)
                bucket.meetings.append(std::move(p.record));
            out.append(std::move(bucket));
        }
        return out;
    }

private:
    LocalDays m_localDays;
    std::vector<Day> m_days;
    QHash<QDate, size_t> m_index;
    quint64 m_sequence = 0;
};

} // namespace

QList<DayBucket> MeetingAggregator::merge(const QVariantList& calendarMeetings,
                                          const QList<QJsonObject>& serviceMeetings,
                                          const QVariantMap& drafts) {
    Builder builder;
    for (const QVariant& element : calendarMeetings) {
        if (element.typeId() == QMetaType::QVariantMap)
            builder.add(element.toMap());
        else
            TLOG_DEBUG(QStringLiteral("Skipping a meeting list element that is no record"));
    }
    for (const QJsonObject& service : serviceMeetings)
        builder.add(MeetingRecord::fromService(service));
    for (auto it = drafts.cbegin(); it != drafts.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap) {
            TLOG_DEBUG(QStringLiteral("Skipping draft %1: no record").arg(it.key()));
            continue;
        }
        QVariantMap draft = it.value().toMap();
        draft.insert(kEntryType, kVelora);
        if (!draft.contains(kDraftGuid))
            draft.insert(kDraftGuid, it.key()); // placed as a draft whatever it holds
        builder.add(std::move(draft));
    }
    return builder.finish();
}

bool MeetingAggregator::listedByNextOccurrence(const MeetingRecord& record) {
    // Drafts go by "start" whatever they hold.
    return !record.contains(kDraftGuid) && record.isRecurring() &&
           record.time(kNextStart).has_value();
}

std::optional<double> MeetingAggregator::listedStart(const MeetingRecord& record) {
    return record.time(listedByNextOccurrence(record) ? kNextStart : kStart);
}

std::optional<double> MeetingAggregator::listedEnd(const MeetingRecord& record) {
    if (!listedByNextOccurrence(record))
        return record.time(kEnd);
    if (const auto nextEnd = record.time(QStringLiteral("nextEnd")))
        return nextEnd;
    const auto start = record.time(kStart);
    const auto end = record.time(kEnd);
    if (!start || !end)
        return std::nullopt;
    return *record.time(kNextStart) + (*end - *start);
}

std::optional<double> MeetingAggregator::placementTime(const MeetingRecord& record) {
    return listedStart(record);
}

QDate MeetingAggregator::localDay(double placementMs) {
    return QDateTime::fromSecsSinceEpoch(wholeSeconds(placementMs), Qt::LocalTime).date();
}

QString MeetingAggregator::dayDescription(const QDate& day) {
    return QLocale().toString(day.startOfDay(Qt::LocalTime), QLocale::ShortFormat);
}

int MeetingAggregator::rowCount(const QList<DayBucket>& days) {
    qsizetype rows = days.size();
    for (const DayBucket& day : days)
        rows += day.meetings.size();
    return int(rows);
}
