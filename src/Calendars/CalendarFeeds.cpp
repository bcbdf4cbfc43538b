#include "CalendarFeeds.h"

#include "CalendarFeedAddress.h"
#include "IcsFeedParser.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"

#include <QFile>
#include <QNetworkReply>
#include <QtConcurrent>

struct CalendarFeeds::Parsed {
    QVariantList records;
    QString error;
    QStringList warnings;
    bool hadBytes = false;
    bool answered = false; // the feed itself answered (download, "not modified" or file)
    CalendarFeedCache::Meta meta;
};

namespace {

IcsFeedParser::Options windowFromToday() {
    IcsFeedParser::Options options;
    const QDateTime midnight = QDate::currentDate().startOfDay();
    options.windowStartMs = midnight.toMSecsSinceEpoch();
    options.windowEndMs = midnight.addDays(CalendarFeeds::kWindowDays).toMSecsSinceEpoch();
    options.ownEmail = TamberDataModel::sharedData()->email.toString();
    return options;
}

QString tooLarge() {
    return QStringLiteral("The feed is larger than %1 MB and was not read.")
        .arg(CalendarFeeds::kMaxFeedBytes / (1024 * 1024));
}

QByteArray readFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The file could not be read: %1.").arg(file.errorString());
        return {};
    }
    if (file.size() > CalendarFeeds::kMaxFeedBytes) {
        *error = tooLarge();
        return {};
    }
    return file.readAll();
}

QString httpFailure(QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 401 || status == 403 ||
        reply->error() == QNetworkReply::AuthenticationRequiredError)
        return QStringLiteral("The feed asks for a sign-in. Use the calendar's private (secret) "
                              "address, which needs none.");
    if (status >= 400)
        return QStringLiteral("The server answered %1.").arg(status);
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return QStringLiteral("The feed did not answer in time.");
    return QStringLiteral("The feed could not be read: %1.").arg(reply->errorString());
}

} // namespace

CalendarFeeds& CalendarFeeds::shared() {
    static CalendarFeeds* feeds = new CalendarFeeds(CalendarFeedCache::defaultFolder(), qApp);
    return *feeds;
}

CalendarFeeds::CalendarFeeds(const QString& cacheFolder, QObject* parent)
    : QObject(parent)
    , m_cache(cacheFolder) {
    m_worker.setMaxThreadCount(1); // libical's zone cache is process-wide
}

CalendarFeeds::~CalendarFeeds() {
    for (Feed& feed : m_feeds) {
        if (feed.reply)
            feed.reply->abort();
    }
    m_worker.waitForDone();
}

QStringList CalendarFeeds::addresses() const {
    return TamberDataModel::sharedData()->calendarFeeds.toStringList();
}

CalendarFeeds::Feed* CalendarFeeds::find(const QString& address) {
    for (Feed& feed : m_feeds) {
        if (feed.address == address)
            return &feed;
    }
    return nullptr;
}

// Follows the account record: feeds added elsewhere (another sign-in) are read from their kept
// copy, removed ones are dropped.
void CalendarFeeds::sync() {
    const QStringList wanted = addresses();
    bool dropped = false; // meetings of a removed feed leave the list
    m_feeds.removeIf([&](const Feed& feed) {
        if (wanted.contains(feed.address))
            return false;
        if (feed.reply)
            feed.reply->abort();
        dropped = dropped || !feed.records.isEmpty();
        return true;
    });
    for (const QString& address : wanted) {
        if (find(address))
            continue;
        m_feeds.append({address,
                        CalendarFeedAddress::fromUserText(address, nullptr).value_or(QUrl()),
                        m_cache.meta(address),
                        {},
                        {},
                        nullptr,
                        0});
        Feed& feed = m_feeds.last();
        if (!feed.url.isLocalFile())
            parse(feed, QByteArray(), false, feed.meta);
    }
    if (dropped)
        emit meetingsChanged();
}

QString CalendarFeeds::addFeed(const QString& text) {
    QString error;
    const std::optional<QUrl> url = CalendarFeedAddress::fromUserText(text, &error);
    if (!url)
        return error;
    const QString address = url->isLocalFile() ? url->toLocalFile() : url->toString();
    QStringList list = addresses();
    if (list.contains(address))
        return QStringLiteral("This feed is already in the list.");
    list.append(address);
    TamberDataModel::sharedData()->calendarFeeds = list;
    TamberDataModel::saveDataToBundle();
    TLOG_INFO(QStringLiteral("Calendar feed added: %1").arg(CalendarFeedAddress::loggable(*url)));
    sync();
    if (Feed* feed = find(address))
        read(*feed);
    emit statusChanged();
    return {};
}

void CalendarFeeds::removeFeed(const QString& address) {
    QStringList list = addresses();
    if (!list.removeAll(address))
        return;
    TamberDataModel::sharedData()->calendarFeeds = list;
    TamberDataModel::saveDataToBundle();
    m_cache.forget(address);
    sync();
    emit statusChanged();
}

QList<CalendarFeeds::Status> CalendarFeeds::statuses() {
    sync();
    QList<Status> list;
    for (const Feed& feed : m_feeds)
        list.append({feed.address, feed.meta.lastRead, feed.meta.error,
                     feed.reply != nullptr || feed.jobs > 0});
    return list;
}

QVariantList CalendarFeeds::meetings() {
    sync();
    QVariantList all;
    for (const Feed& feed : m_feeds)
        all.append(feed.records);
    return all;
}

bool CalendarFeeds::isBusy() const {
    for (const Feed& feed : m_feeds) {
        if (feed.reply || feed.jobs > 0)
            return true;
    }
    return false;
}

void CalendarFeeds::refresh(bool force) {
    sync();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (Feed& feed : m_feeds) {
        const bool recent =
            feed.meta.lastRead.isValid() && feed.meta.lastRead.msecsTo(now) < kMinRefreshGapMs;
        if (force || !recent)
            read(feed);
    }
}

void CalendarFeeds::read(Feed& feed) {
    if (feed.reply)
        return;
    if (!feed.url.isValid()) {
        feed.meta.error = QStringLiteral("This address cannot be read.");
        emit statusChanged();
        return;
    }
    if (feed.url.isLocalFile())
        parse(feed, QByteArray(), true, feed.meta);
    else
        fetch(feed);
    emit statusChanged();
}

void CalendarFeeds::fetch(Feed& feed) {
    QNetworkRequest request(feed.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setRawHeader("Accept", "text/calendar, */*;q=0.5");
    // Without a kept copy a "not modified" answer would leave nothing to show.
    if (m_cache.hasCopy(feed.address)) {
        if (!feed.meta.etag.isEmpty())
            request.setRawHeader("If-None-Match", feed.meta.etag.toUtf8());
        if (!feed.meta.lastModified.isEmpty())
            request.setRawHeader("If-Modified-Since", feed.meta.lastModified.toUtf8());
    }
    QNetworkReply* reply = m_network.get(request);
    // Servers signed by a CA of SSL_CERT_FILE are trusted here as in service calls.
    ServiceCall::watchCertificateErrors(reply);
    feed.reply = reply;
    const QString address = feed.address;
    auto refusal = std::make_shared<QString>();
    connect(reply, &QNetworkReply::redirected, reply, [reply, refusal](const QUrl& target) {
        if (target.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
            emit reply->redirectAllowed();
            return;
        }
        *refusal = QStringLiteral("The feed redirects to an address that is not https; it was "
                                  "not followed.");
        reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, refusal](qint64 received, qint64 total) {
                if ((received > kMaxFeedBytes || total > kMaxFeedBytes) && refusal->isEmpty()) {
                    *refusal = tooLarge();
                    reply->abort();
                }
            });
    connect(reply, &QNetworkReply::finished, this,
            [this, address, reply, refusal] { replyFinished(address, reply, *refusal); });
}

void CalendarFeeds::replyFinished(const QString& address, QNetworkReply* reply,
                                  const QString& refusal) {
    reply->deleteLater();
    Feed* feed = find(address);
    if (!feed || feed->reply != reply)
        return;
    feed->reply = nullptr;
    const QString where = CalendarFeedAddress::loggable(feed->url);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    CalendarFeedCache::Meta meta = feed->meta;
    if (!refusal.isEmpty() || reply->error() != QNetworkReply::NoError) {
        meta.error = refusal.isEmpty() ? httpFailure(reply) : refusal;
        TLOG_WARN(QStringLiteral("Calendar feed %1 not read: %2").arg(where, meta.error));
        feed->meta = meta;
        saveMeta(*feed);
        emit statusChanged();
        return;
    }
    if (status == 304) {
        TLOG_DEBUG(QStringLiteral("Calendar feed %1 not modified").arg(where));
        parse(*feed, QByteArray(), true, meta);
        return;
    }
    meta.etag = QString::fromUtf8(reply->rawHeader("ETag"));
    meta.lastModified = QString::fromUtf8(reply->rawHeader("Last-Modified"));
    const QByteArray body = reply->readAll();
    TLOG_DEBUG(QStringLiteral("Calendar feed %1 read: %2 bytes").arg(where).arg(body.size()));
    parse(*feed, body.isNull() ? QByteArray("") : body, true, meta);
}

void CalendarFeeds::parse(Feed& feed, const QByteArray& bytes, bool answered,
                          const CalendarFeedCache::Meta& meta) {
    const bool fresh = !bytes.isNull();
    const QString file = feed.url.isLocalFile() ? feed.url.toLocalFile() : QString();
    const CalendarFeedCache cache = m_cache;
    const QString address = feed.address;
    const IcsFeedParser::Options options = windowFromToday();
    ++feed.jobs;
    QtConcurrent::run(&m_worker, [=]() {
        Parsed outcome;
        outcome.answered = answered;
        outcome.meta = meta;
        QByteArray ics = bytes;
        if (!file.isEmpty())
            ics = readFile(file, &outcome.error);
        else if (!fresh)
            ics = cache.copy(address);
        outcome.hadBytes = !ics.isEmpty() || fresh || !file.isEmpty();
        if (!outcome.error.isEmpty() || !outcome.hadBytes)
            return outcome;
        IcsFeedParser::Result result = IcsFeedParser::parse(ics, options);
        outcome.records = std::move(result.records);
        outcome.error = result.error;
        outcome.warnings = result.warnings;
        if (fresh && outcome.error.isEmpty())
            cache.storeCopy(address, ics);
        return outcome;
    }).then(this, [this, address](const Parsed& outcome) { parsed(address, outcome); });
}

void CalendarFeeds::parsed(const QString& address, const Parsed& outcome) {
    Feed* feed = find(address);
    if (!feed)
        return;
    --feed->jobs;
    const QString where = CalendarFeedAddress::loggable(feed->url);
    for (const QString& warning : outcome.warnings) {
        if (!feed->warned.contains(warning)) {
            feed->warned.append(warning);
            TLOG_WARN(QStringLiteral("Calendar feed %1: %2").arg(where, warning));
        }
    }
    if (outcome.hadBytes && outcome.error.isEmpty()) {
        feed->records = outcome.records;
        emit meetingsChanged();
    }
    if (outcome.answered) {
        feed->meta = outcome.meta;
        feed->meta.error = outcome.error;
        if (outcome.error.isEmpty())
            feed->meta.lastRead = QDateTime::currentDateTimeUtc();
        else
            TLOG_WARN(QStringLiteral("Calendar feed %1 not read: %2").arg(where, outcome.error));
        saveMeta(*feed);
    }
    emit statusChanged();
}

void CalendarFeeds::saveMeta(const Feed& feed) {
    const CalendarFeedCache cache = m_cache;
    m_worker.start(
        [cache, address = feed.address, meta = feed.meta] { cache.storeMeta(address, meta); });
}
