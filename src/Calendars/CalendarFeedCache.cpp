#include "CalendarFeedCache.h"

#include "Logging/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

CalendarFeedCache::CalendarFeedCache(QString folder)
    : m_folder(std::move(folder)) {}

QString CalendarFeedCache::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/calendar-feeds");
}

QString CalendarFeedCache::pathOf(const QString& address, const char* suffix) const {
    // Named by a hash: a private feed address is no file name.
    const QByteArray key =
        QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return m_folder + u'/' + QString::fromLatin1(key) + QLatin1String(suffix);
}

bool CalendarFeedCache::write(const QString& path, const QByteArray& bytes) const {
    if (!QDir().mkpath(m_folder))
        return false;
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        TLOG_ERROR(QStringLiteral("Calendar feed copy not saved: %1").arg(file.errorString()));
        return false;
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(bytes);
    if (!file.commit()) {
        TLOG_ERROR(QStringLiteral("Calendar feed copy not saved: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

CalendarFeedCache::Meta CalendarFeedCache::meta(const QString& address) const {
    QFile file(pathOf(address, ".json"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return {};
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    return {o.value(QLatin1String("etag")).toString(),
            o.value(QLatin1String("lastModified")).toString(),
            QDateTime::fromString(o.value(QLatin1String("lastRead")).toString(), Qt::ISODateWithMs),
            o.value(QLatin1String("error")).toString()};
}

bool CalendarFeedCache::storeMeta(const QString& address, const Meta& meta) const {
    const QJsonObject o{{QLatin1String("etag"), meta.etag},
                        {QLatin1String("lastModified"), meta.lastModified},
                        {QLatin1String("lastRead"), meta.lastRead.toString(Qt::ISODateWithMs)},
                        {QLatin1String("error"), meta.error}};
    return write(pathOf(address, ".json"), QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QByteArray CalendarFeedCache::copy(const QString& address) const {
    QFile file(pathOf(address, ".ics"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool CalendarFeedCache::hasCopy(const QString& address) const {
    return QFileInfo(pathOf(address, ".ics")).size() > 0;
}

bool CalendarFeedCache::storeCopy(const QString& address, const QByteArray& bytes) const {
    return write(pathOf(address, ".ics"), bytes);
}

void CalendarFeedCache::forget(const QString& address) const {
    QFile::remove(pathOf(address, ".ics"));
    QFile::remove(pathOf(address, ".json"));
}
