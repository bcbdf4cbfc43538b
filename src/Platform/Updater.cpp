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
    static FeedUpdater feedUpdater([] { return TamberDataModel::updateFeedURL(); },
                                   [] { return QCoreApplication::applicationVersion(); });
    return feedUpdater;
}

void Updater::setSharedForTesting(Updater* updater) {
    testUpdater() = updater;
}
