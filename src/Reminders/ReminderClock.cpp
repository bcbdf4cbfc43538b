#include "ReminderClock.h"

#include <QDateTime>

namespace {

class SystemReminderClock final : public ReminderClock {
public:
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

} // namespace

const ReminderClock& ReminderClock::system() {
    static const SystemReminderClock clock;
    return clock;
}
