#pragma once

#include "CalendarFeedCache.h"

#include <QDateTime>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QThreadPool>
#include <QUrl>
#include <QVariantList>

class QNetworkReply;

// The calendar source of subscribed iCalendar feeds: the addresses kept in the account record
// ("calendarFeeds"), the meetings of each feed's last good copy, and their reading. A feed is
// read over https (ETag / Last-Modified, so an unchanged feed is not downloaded again) or from
// a file; the copy is kept on disk, so meetings show at once after a restart and while offline.
// Feeds are read again with every list fetch (the menu's, and the background one of reminders).
// Reading and parsing run on a worker thread; the main thread only starts them and takes the
// results. Main thread only.
class CalendarFeeds : public QObject {
    Q_OBJECT
public:
    struct Status {
        QString address;
        QDateTime lastRead; // invalid: never read
        QString error;      // of the last attempt
        bool reading = false;
    };

    // The application's feeds (the list and the preferences page share them).
    static CalendarFeeds& shared();
    explicit CalendarFeeds(const QString& cacheFolder = CalendarFeedCache::defaultFolder(),
                           QObject* parent = nullptr);
    ~CalendarFeeds() override;

    static constexpr qint64 kMaxFeedBytes = 16 * 1024 * 1024;
    static constexpr int kMinRefreshGapMs = 60 * 1000;
    static constexpr int kWindowDays = 14;

    QStringList addresses() const;
    // Adds what the user typed and reads it at once; an error text when it cannot be a feed.
    QString addFeed(const QString& text);
    void removeFeed(const QString& address);
    QList<Status> statuses();

    // The meetings of every feed's last good copy, ordered by feed.
    QVariantList meetings();
    // Reads the feeds again; without `force`, those read in the last minute are left alone.
    void refresh(bool force = false);

    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }
    bool isBusy() const;

signals:
    void meetingsChanged();
    void statusChanged();

private:
    struct Feed {
        QString address;
        QUrl url;
        CalendarFeedCache::Meta meta;
        QVariantList records;
        QStringList warned;
        QNetworkReply* reply = nullptr;
        int jobs = 0;
    };
    struct Parsed;

    void sync();
    Feed* find(const QString& address);
    void read(Feed& feed);
    void fetch(Feed& feed);
    void replyFinished(const QString& address, QNetworkReply* reply, const QString& refusal);
    // Parses `bytes` (null: the kept copy, or the file for a file feed) on the worker thread.
    void parse(Feed& feed, const QByteArray& bytes, bool answered,
               const CalendarFeedCache::Meta& meta);
    void parsed(const QString& address, const Parsed& outcome);
    void saveMeta(const Feed& feed);

    CalendarFeedCache m_cache;
    QNetworkAccessManager m_network;
    QList<Feed> m_feeds;
    int m_transferTimeoutMs = 60000;
    QThreadPool m_worker; // last: its destruction waits for running jobs
};
