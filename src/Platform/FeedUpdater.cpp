#include "FeedUpdater.h"

#include "AppcastReader.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Platform/MainQueue.h"

#include <QObject>

FeedUpdater::FeedUpdater(std::function<QString()> feedAddress,
                         std::function<QString()> runningVersion)
    : m_feedAddress(std::move(feedAddress))
    , m_runningVersion(std::move(runningVersion)) {}

void FeedUpdater::checkForUpdates(Answered answered) {
    const QString feed = m_feedAddress();
    if (feed.isEmpty()) {
        MainQueue::async([answered = std::move(answered)] {
            answered(Answer{Answer::Kind::PackageManager, {}, {}, {}});
        });
        return;
    }
    TLOG_DEBUG(QStringLiteral("Reading the update feed %1").arg(feed));
    ServiceCall::send(
        ServiceCall::Request{QStringLiteral("GET"), feed, std::nullopt, false, false},
        [running = m_runningVersion(), answered = std::move(answered)](const ServiceReply& reply) {
            if (reply.error || reply.httpStatus >= 400) {
                const QString reason =
                    reply.error
                        ? reply.error->description
                        : QObject::tr("the update server answered HTTP %1").arg(reply.httpStatus);
                TLOG_INFO(QStringLiteral("Update check failed: %1").arg(reason));
                answered(Answer{Answer::Kind::Failed, {}, {}, reason});
                return;
            }
            answered(answerFor(reply.body, running));
        });
}

Updater::Answer FeedUpdater::answerFor(const QByteArray& feed, const QString& runningVersion) {
    const auto items = AppcastReader::read(feed);
    const auto newest = items ? AppcastReader::newest(*items) : std::nullopt;
    if (!newest) {
        TLOG_INFO(QStringLiteral("Update check failed: the feed lists no release"));
        return {Answer::Kind::Failed, {}, {}, QObject::tr("the update feed could not be read")};
    }
    if (AppcastReader::compareVersions(newest->version, runningVersion) > 0)
        return {Answer::Kind::Available, newest->version, newest->downloadPage, {}};
    return {Answer::Kind::UpToDate, runningVersion, {}, {}};
}
