#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The addresses a calendar feed may have: https, webcal (read as https) or a local file.
namespace CalendarFeedAddress {

// The address to read for what the user typed, or nothing with `error` saying why not.
std::optional<QUrl> fromUserText(const QString& text, QString* error);

// What the log shows of a feed: its host (or file name), never the path of a private address.
QString loggable(const QUrl& url);

} // namespace CalendarFeedAddress
