#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// Reads an update feed in the appcast form: an RSS channel whose items carry a version (the
// "sparkle:shortVersionString" or "sparkle:version" of the item or of its enclosure) and a
// download page (the item's link, else the enclosure's url).
class AppcastReader {
public:
    struct Item {
        QString version;
        QUrl downloadPage;
    };

    // The usable items (with a version and an http(s) address); nothing when the text is not
    // well-formed XML or holds no rss element.
    static std::optional<QList<Item>> read(const QByteArray& xml);
    // The item with the highest version; nothing for an empty list.
    static std::optional<Item> newest(const QList<Item>& items);
    // Compares dotted versions part by part, numerically ("1.10" > "1.9", "2.0" == "2").
    static int compareVersions(const QString& a, const QString& b);
};
