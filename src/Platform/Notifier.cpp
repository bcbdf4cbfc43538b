#include "Notifier.h"

#include "FreedesktopNotifier.h"

std::unique_ptr<Notifier> Notifier::createDefault() {
    // macOS would return its notification-centre notifier here; the freedesktop one answers
    // "unavailable" where no session bus exists.
    return std::make_unique<FreedesktopNotifier>();
}
