#include "CalendarFeedAddress.h"

#include <QDir>
#include <QFileInfo>

namespace CalendarFeedAddress {

std::optional<QUrl> fromUserText(const QString& text, QString* error) {
    QString address = text.trimmed();
    auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (address.isEmpty())
        return refuse(QStringLiteral("Enter the address of a calendar feed."));
    if (address.startsWith(QLatin1String("~/")))
        address = QDir::homePath() + address.mid(1);
    if (address.startsWith(u'/'))
        return QUrl::fromLocalFile(QDir::cleanPath(address));
    for (const char* webcal : {"webcal://", "webcals://"}) {
        if (address.startsWith(QLatin1String(webcal), Qt::CaseInsensitive))
            address = QStringLiteral("https://") + address.mid(int(qstrlen(webcal)));
    }
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && scheme == QLatin1String("file") && url.isLocalFile())
        return url;
    if (url.isValid() && scheme == QLatin1String("https") && !url.host().isEmpty())
        return url;
    if (scheme == QLatin1String("http"))
        return refuse(QStringLiteral("Only secure (https) feed addresses are read."));
    return refuse(QStringLiteral("Enter an https or webcal address, or the path of an .ics file."));
}

QString loggable(const QUrl& url) {
    if (url.isLocalFile())
        return QStringLiteral("file %1").arg(QFileInfo(url.toLocalFile()).fileName());
    return QStringLiteral("%1://%2/…").arg(url.scheme(), url.host());
}

} // namespace CalendarFeedAddress
