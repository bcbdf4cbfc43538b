#include "MeetingAggregator.h"

#include "Logging/Log.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QString kStart = QStringLiteral("start");
const QString kEnd = QStringLiteral("end");
const QString kNextStart = QStringLiteral("nextStart");
const QString kRecurrence = QStringLiteral("recurrencePattern");
const QString kDraftGuid = QStringLiteral("meetingDraftGuid");
const QString kEntryType = QStringLiteral("calendar_entry_type");
const QString kVelora = QStringLiteral("velora");

// Beyond this a date has no calendar day (the range of ECMAScript dates).
constexpr double kMaxAbsMs = 8.64e15;

bool isPresent(const QVariant& value) {
    return value.isValid() && !value.isNull();
}

QString recordName(const QVariantMap& record) {
    for (const QString& key :
         {QStringLiteral("id"), kDraftGuid, QStringLiteral("numericMeetingId")})
        if (isPresent(record.value(key)))
            return QStringLiteral("%1 %2").arg(key, record.value(key).toString());
    return QStringLiteral("without id");
}

// Why a record cannot be listed; empty when it can.
QString defect(const QVariantMap& record, const std::optional<double>& placement) {
    if (!placement) {
        const bool recurring = isPresent(record.value(kRecurrence)) && !record.contains(kDraftGuid);
        return recurring ? QStringLiteral("a recurring meeting without a usable \"nextStart\"")
                         : QStringLiteral("no usable \"start\"");
    }
    if (isPresent(record.value(kEnd)) && !MeetingAggregator::numericTime(record.value(kEnd)))
        return QStringLiteral("an \"end\" that is not a time");
    return {};
}

struct Placed {
    double key;
    quint64 sequence; // order of placement: of two equal keys the later one goes first
    QVariantMap record;
};

struct Day {
    QDate day;
    double start;
    std::vector<Placed> meetings;
};

class Builder {
public:
    void add(const QVariantMap& record) {
        const std::optional<double> key = MeetingAggregator::placementTime(record);
        const QString why = defect(record, key);
        if (!why.isEmpty()) {
            TLOG_DEBUG(
                QStringLiteral("Skipping meeting record (%1): %2").arg(recordName(record), why));
            return;
        }
        const QDate day = dayOf(*key);
        auto found = m_index.constFind(day);
        if (found == m_index.cend()) {
            found = m_index.insert(day, m_days.size());
            m_days.push_back(Day{day, *key, {}});
        }
        m_days[*found].meetings.push_back(Placed{*key, m_sequence++, record});
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
    // The system zone, looked up once per merge rather than by the C library per record.
    QDate dayOf(double placementMs) const {
        if (!m_zone.isValid())
            return MeetingAggregator::localDay(placementMs);
        const auto seconds = static_cast<qint64>(std::trunc(placementMs / 1000.0));
        return QDateTime::fromSecsSinceEpoch(seconds, m_zone).date();
    }

    QTimeZone m_zone = QTimeZone::systemTimeZone();
    std::vector<Day> m_days;
    QHash<QDate, size_t> m_index;
    quint64 m_sequence = 0;
};

QVariantMap asVelora(QVariantMap record) {
    record.insert(kEntryType, kVelora);
    return record;
}

} // namespace

QList<DayBucket> MeetingAggregator::merge(const QVariantList& calendarMeetings,
                                          const QVariantList& serviceMeetings,
                                          const QVariantMap& drafts) {
    Builder builder;
    auto eachMap = [](const QVariantList& list, auto&& take) {
        for (const QVariant& element : list) {
            if (element.typeId() == QMetaType::QVariantMap)
                take(element.toMap());
            else
                TLOG_DEBUG(QStringLiteral("Skipping a meeting list element that is no record"));
        }
    };
    eachMap(calendarMeetings, [&](const QVariantMap& r) { builder.add(r); });
    eachMap(serviceMeetings, [&](const QVariantMap& r) { builder.add(asVelora(r)); });
    for (auto it = drafts.cbegin(); it != drafts.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap) {
            TLOG_DEBUG(QStringLiteral("Skipping draft %1: no record").arg(it.key()));
            continue;
        }
        QVariantMap draft = asVelora(it.value().toMap());
        if (!draft.contains(kDraftGuid))
            draft.insert(kDraftGuid, it.key()); // placed as a draft whatever it holds
        builder.add(draft);
    }
    return builder.finish();
}

bool MeetingAggregator::place(QList<DayBucket>& days, const QVariantMap& record) {
    const QString why = defect(record, placementTime(record));
    if (!why.isEmpty()) {
        TLOG_DEBUG(QStringLiteral("Skipping meeting record (%1): %2").arg(recordName(record), why));
        return false;
    }
    const double key = *placementTime(record);
    const QDate day = localDay(key);
    auto it = std::lower_bound(days.begin(), days.end(), day,
                               [](const DayBucket& b, const QDate& d) { return b.day < d; });
    if (it == days.end() || it->day != day)
        it = days.insert(it, DayBucket{day, key, dayDescription(day), {}});
    // Before the first meeting that starts at the same time or later.
    auto& meetings = it->meetings;
    const auto at = std::find_if(meetings.begin(), meetings.end(), [&](const QVariantMap& m) {
        return placementTime(m).value_or(-kMaxAbsMs) >= key;
    });
    meetings.insert(at, record);
    return true;
}

std::optional<double> MeetingAggregator::placementTime(const QVariantMap& record) {
    const bool draft = record.contains(kDraftGuid);
    if (!draft && isPresent(record.value(kRecurrence)))
        return numericTime(record.value(kNextStart));
    return numericTime(record.value(kStart));
}

std::optional<double> MeetingAggregator::numericTime(const QVariant& value) {
    double ms = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        ms = value.toDouble();
        break;
    case QMetaType::QString: {
        bool ok = false;
        ms = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            return std::nullopt;
        break;
    }
    default:
        return std::nullopt;
    }
    if (!std::isfinite(ms) || std::fabs(ms) > kMaxAbsMs)
        return std::nullopt;
    return ms;
}

QDate MeetingAggregator::localDay(double placementMs) {
    const auto seconds = static_cast<qint64>(std::trunc(placementMs / 1000.0));
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime).date();
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

std::optional<MeetingRow> MeetingAggregator::rowAt(const QList<DayBucket>& days, int row) {
    if (row < 0)
        return std::nullopt;
    qsizetype header = 0;
    for (int b = 0; b < days.size(); ++b) {
        const qsizetype count = days[b].meetings.size();
        if (row == header)
            return MeetingRow{b, -1};
        if (row <= header + count)
            return MeetingRow{b, int(row - header - 1)};
        header += count + 1;
    }
    return std::nullopt;
}
