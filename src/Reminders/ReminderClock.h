#pragma once

#include <QtGlobal>

// Wall-clock time for reminders; tests move a clock of their own.
class ReminderClock {
public:
    virtual ~ReminderClock() = default;
    // Milliseconds since 1970 UTC.
    virtual qint64 nowMs() const = 0;

    // The system's clock.
    static const ReminderClock& system();
};
