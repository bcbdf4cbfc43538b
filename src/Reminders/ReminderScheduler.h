#pragma once

#include "MeetingOccurrence.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <optional>

class ReminderClock;

// Decides when each listed meeting is reminded of, once per occurrence. One timer, armed for
// the next reminder only. The occurrences reminded of (with their end) are kept by the owner
// across restarts, so a restart within the lead time does not remind again.
class ReminderScheduler : public QObject {
    Q_OBJECT
public:
    explicit ReminderScheduler(const ReminderClock& clock, QObject* parent = nullptr);

    // Minutes before the start; nothing turns reminders off.
    void setLeadMinutes(std::optional<int> minutes);
    std::optional<int> leadMinutes() const { return m_leadMinutes; }

    // A new list. A reminded meeting that is no longer listed at its time (cancelled or moved)
    // and has not ended is withdrawn.
    void setOccurrences(QList<MeetingOccurrence> occurrences);
    const QList<MeetingOccurrence>& occurrences() const { return m_occurrences; }

    void setReminded(QHash<QString, qint64> keyToEndMs);
    const QHash<QString, qint64>& reminded() const { return m_reminded; }

    // Reminds of what is due now and arms the timer for the next one. Also the answer to a
    // clock that changed (the timer counts elapsed time, not the wall clock).
    void evaluate();
    // When the timer fires next (wall clock, ms); nothing when it is idle.
    std::optional<qint64> nextDueMs() const { return m_nextDue; }

signals:
    void due(const QList<MeetingOccurrence>& occurrences);
    void withdrawn(const QStringList& keys);
    // reminded() changed: worth keeping.
    void remindedChanged();

private:
    void forgetEnded(qint64 nowMs);
    void arm(qint64 nowMs);

    const ReminderClock& m_clock;
    std::optional<int> m_leadMinutes; // off until told
    QList<MeetingOccurrence> m_occurrences;
    QHash<QString, qint64> m_reminded;
    std::optional<qint64> m_nextDue;
    QTimer m_timer;
};
