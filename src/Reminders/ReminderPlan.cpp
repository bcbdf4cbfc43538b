#include "ReminderPlan.h"

#include <QDateTime>
#include <QLocale>

namespace {

bool remindable(const MeetingOccurrence& occurrence, qint64 nowMs,
                const QHash<QString, qint64>& reminded) {
    return occurrence.joinable() && !reminded.contains(occurrence.key) &&
           !occurrence.hasEnded(nowMs);
}

// Nearest start to now among the occurrences that `accept` takes and that have not ended.
template <typename Accept>
const MeetingOccurrence* nearest(const QList<MeetingOccurrence>& occurrences, qint64 nowMs,
                                 Accept accept) {
    const MeetingOccurrence* best = nullptr;
    qint64 bestDistance = 0;
    for (const MeetingOccurrence& occurrence : occurrences) {
        if (occurrence.hasEnded(nowMs) || !accept(occurrence))
            continue;
        const qint64 distance = qAbs(occurrence.startMs - nowMs);
        if (!best || distance < bestDistance) {
            best = &occurrence;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

QList<MeetingOccurrence> ReminderPlan::due(const QList<MeetingOccurrence>& occurrences,
                                           qint64 nowMs, qint64 leadMs,
                                           const QHash<QString, qint64>& reminded) {
    QList<MeetingOccurrence> result;
    for (const MeetingOccurrence& occurrence : occurrences) {
        if (occurrence.startMs - leadMs > nowMs)
            break; // ordered by start: the rest are later
        if (remindable(occurrence, nowMs, reminded) && nowMs <= occurrence.startMs + kStaleAfterMs)
            result.append(occurrence);
    }
    return result;
}

std::optional<qint64> ReminderPlan::nextDue(const QList<MeetingOccurrence>& occurrences,
                                            qint64 nowMs, qint64 leadMs,
                                            const QHash<QString, qint64>& reminded) {
    for (const MeetingOccurrence& occurrence : occurrences) {
        const qint64 at = occurrence.startMs - leadMs;
        if (at > nowMs && remindable(occurrence, nowMs, reminded))
            return at; // ordered by start, so by due time too
    }
    return std::nullopt;
}

std::optional<MeetingOccurrence>
ReminderPlan::nextToJoin(const QList<MeetingOccurrence>& occurrences, qint64 nowMs) {
    const MeetingOccurrence* best = nearest(occurrences, nowMs, [nowMs](const auto& o) {
        return o.joinable() && o.startMs <= nowMs + kJoinWindowMs;
    });
    if (!best)
        return std::nullopt;
    return *best;
}

QString ReminderPlan::timeText(qint64 ms, qint64 nowMs, const QTimeZone& zone) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, zone);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs, zone);
    const QLocale locale;
    if (at.date() == now.date())
        return locale.toString(at, QStringLiteral("h:mm AP"));
    return locale.toString(at, QStringLiteral("ddd MMM d, h:mm AP"));
}

QString ReminderPlan::toolTip(const QList<MeetingOccurrence>& occurrences, qint64 nowMs,
                              const QTimeZone& zone) {
    const MeetingOccurrence* shown =
        nearest(occurrences, nowMs, [](const MeetingOccurrence&) { return true; });
    if (!shown)
        return QStringLiteral("No upcoming meetings");
    if (shown->isRunning(nowMs))
        return QStringLiteral("In progress: %1 (until %2)")
            .arg(shown->title, timeText(shown->endMs, nowMs, zone));
    return QStringLiteral("Next: %1 at %2")
        .arg(shown->title, timeText(shown->startMs, nowMs, zone));
}
