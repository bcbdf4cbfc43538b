#include "Updater.h"

#include "FeedUpdater.h"
#include "Models/TamberDataModel.h"

#include <QCoreApplication>

namespace {

Updater*& testUpdater() {
    static Updater* updater = nullptr;
    return updater;
}

} // namespace

Updater& Updater::shared() {
    if (testUpdater())
        return *testUpdater();
    // TAMBER_UPDATE_FEED names another feed for one run (the demo points it at the simulator).
    static FeedUpdater feedUpdater(
        [] {
            const QString override = qEnvironmentVariable("TAMBER_UPDATE_FEED");
            return override.isEmpty() ? TamberDataModel::updateFeedURL() : override;
        },
        [] { return QCoreApplication::applicationVersion(); });
    return feedUpdater;
}

void Updater::setSharedForTesting(Updater* updater) {
    testUpdater() = updater;
}
