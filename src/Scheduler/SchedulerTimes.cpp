#include "SchedulerTimes.h"

#include <cmath>

namespace {

constexpr qint64 kQuarterHour = 900;

QDateTime bare(const QDate& date, const QTime& time) {
    return QDateTime(date, time, QTimeZone::utc());
}

} // namespace

QDateTime SchedulerTimes::defaultStart(const QDateTime& now) {
    // Quarter hours line up with 1970 as they do with 2001 (both whole multiples of 900 s).
    const double seconds = double(now.toMSecsSinceEpoch()) / 1000.0;
    const qint64 rounded = qint64(std::round(seconds / double(kQuarterHour))) * kQuarterHour;
    return QDateTime::fromSecsSinceEpoch(rounded + kQuarterHour, QTimeZone::utc());
}

QDateTime SchedulerTimes::wallClock(qint64 instantMs, const QTimeZone& zone) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(instantMs, zone);
    return bare(local.date(), local.time());
}

SchedulerTimes::Instant SchedulerTimes::instantOf(const QDateTime& wall, const QTimeZone& zone,
                                                  std::optional<qint64> after) {
    const QDate date = wall.date();
    const QTime time = wall.time();
    // Offsets in effect on either side of the wall clock; a gap or an overlap lies between
    // them when they differ.
    const qint64 naive = bare(date, time).toMSecsSinceEpoch();
    const int offsetBefore = zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(naive - 86400000LL));
    const int offsetAfter = zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(naive + 86400000LL));
    Instant result;
    // The readings whose wall clock is the asked one, earliest first (the larger offset): two
    // of them inside a repeated hour.
    QList<qint64> readings;
    for (int offset : {qMax(offsetBefore, offsetAfter), qMin(offsetBefore, offsetAfter)}) {
        const qint64 ms = naive - qint64(offset) * 1000;
        if (wallClock(ms, zone) == bare(date, time) && !readings.contains(ms)) {
            readings.append(ms);
        }
    }
    if (!readings.isEmpty()) {
        result.ms = readings.first();
        for (qint64 ms : readings) {
            if (after && ms > *after) {
                result.ms = ms;
                break;
            }
        }
        result.shownAs = bare(date, time);
        return result;
    }
    // Inside a gap: the wall clock read with the offset from before the change, which lands
    // after the gap (02:30 becomes 03:30 when clocks go forward at 02:00 by an hour).
    result.ms = naive - qint64(offsetBefore) * 1000;
    result.inGap = true;
    result.shownAs = wallClock(result.ms, zone);
    return result;
}

QDateTime SchedulerTimes::addSeconds(const QDateTime& wall, qint64 seconds, const QTimeZone& zone) {
    return wallClock(instantOf(wall, zone).ms + seconds * 1000, zone);
}

QString SchedulerTimes::millisText(qint64 ms) {
    const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return QString::number(seconds) + QStringLiteral("000");
}
