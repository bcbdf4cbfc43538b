#pragma once

#include "Updater.h"

#include <functional>

// The update check of builds without a platform updater: reads the configured feed and compares
// its newest release with the running version. Without a feed, updates come from the system's
// package manager.
class FeedUpdater : public Updater {
public:
    // `feedAddress` is asked at every check (it follows the API host); empty means no feed.
    FeedUpdater(std::function<QString()> feedAddress, std::function<QString()> runningVersion);
    void checkForUpdates(Answered answered) override;

    // The answer for a feed's reply body.
    static Answer answerFor(const QByteArray& feed, const QString& runningVersion);

private:
    std::function<QString()> m_feedAddress;
    std::function<QString()> m_runningVersion;
};
