#include "ReminderScheduler.h"

#include "ReminderClock.h"
#include "ReminderPlan.h"

#include <QSet>

namespace {

// A timer interval fits an int; the wall clock is looked at again after this at the latest.
constexpr qint64 kLongestWaitMs = 6 * 60 * 60 * 1000;

} // namespace

ReminderScheduler::ReminderScheduler(const ReminderClock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReminderScheduler::evaluate);
}

void ReminderScheduler::setLeadMinutes(std::optional<int> minutes) {
    m_leadMinutes = minutes;
    evaluate();
}

void ReminderScheduler::setOccurrences(QList<MeetingOccurrence> occurrences) {
    m_occurrences = std::move(occurrences);
    const qint64 now = m_clock.nowMs();
    QSet<QString> listed;
    for (const MeetingOccurrence& occurrence : std::as_const(m_occurrences))
        listed.insert(occurrence.key);
    QStringList gone;
    for (auto it = m_reminded.cbegin(); it != m_reminded.cend(); ++it) {
        if (!listed.contains(it.key()) && it.value() > now)
            gone.append(it.key());
    }
    for (const QString& key : std::as_const(gone))
        m_reminded.remove(key);
    if (!gone.isEmpty()) {
        emit withdrawn(gone);
        emit remindedChanged();
    }
    evaluate();
}

void ReminderScheduler::setReminded(QHash<QString, qint64> keyToEndMs) {
    m_reminded = std::move(keyToEndMs);
}

void ReminderScheduler::evaluate() {
    const qint64 now = m_clock.nowMs();
    forgetEnded(now);
    if (m_leadMinutes) {
        const QList<MeetingOccurrence> dueNow =
            ReminderPlan::due(m_occurrences, now, *m_leadMinutes * 60000LL, m_reminded);
        if (!dueNow.isEmpty()) {
            for (const MeetingOccurrence& occurrence : dueNow)
                m_reminded.insert(occurrence.key, qMax(occurrence.endMs, occurrence.startMs));
            emit remindedChanged();
            emit due(dueNow);
        }
    }
    arm(now);
}

void ReminderScheduler::forgetEnded(qint64 nowMs) {
    bool changed = false;
    for (auto it = m_reminded.begin(); it != m_reminded.end();) {
        if (it.value() < nowMs) {
            it = m_reminded.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed)
        emit remindedChanged();
}

void ReminderScheduler::arm(qint64 nowMs) {
    m_nextDue.reset();
    m_timer.stop();
    if (!m_leadMinutes)
        return;
    m_nextDue = ReminderPlan::nextDue(m_occurrences, nowMs, *m_leadMinutes * 60000LL, m_reminded);
    if (!m_nextDue)
        return;
    m_timer.start(int(qMin(*m_nextDue - nowMs, kLongestWaitMs)));
}
