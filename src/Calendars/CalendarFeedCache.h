#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The last good copy of each feed on disk, with what makes the next read cheap (ETag,
// Last-Modified) and what the preferences list shows (last read, last error). One folder,
// private (0700, files 0600); each file is replaced atomically. Safe to use from any thread
// for different feeds.
class CalendarFeedCache {
public:
    struct Meta {
        QString etag, lastModified;
        QDateTime lastRead; // the last time the feed answered (a copy or "not modified")
        QString error;      // of the last attempt; empty when it went well
    };

    explicit CalendarFeedCache(QString folder);
    // <data dir>/calendar-feeds
    static QString defaultFolder();

    Meta meta(const QString& address) const;
    bool storeMeta(const QString& address, const Meta& meta) const;
    QByteArray copy(const QString& address) const; // empty when there is none
    bool hasCopy(const QString& address) const;
    bool storeCopy(const QString& address, const QByteArray& bytes) const;
    void forget(const QString& address) const;

private:
    QString pathOf(const QString& address, const char* suffix) const;
    bool write(const QString& path, const QByteArray& bytes) const;

    QString m_folder;
};
