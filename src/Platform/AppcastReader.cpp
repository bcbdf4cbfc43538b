#include "AppcastReader.h"

#include <QVersionNumber>
#include <QXmlStreamReader>

namespace {

const QString kSparkleShort = QStringLiteral("shortVersionString");
const QString kSparkleVersion = QStringLiteral("version");

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

// One <item>, read up to its end tag.
std::optional<AppcastReader::Item> readItem(QXmlStreamReader& xml) {
    QString shortVersion, version, link, enclosureUrl, enclosureShort, enclosureVersion;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        const bool sparkle = xml.prefix() == QLatin1String("sparkle");
        if (name == QLatin1String("enclosure")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            enclosureUrl = attributes.value(QLatin1String("url")).toString();
            for (const QXmlStreamAttribute& a : attributes) {
                if (a.prefix() != QLatin1String("sparkle"))
                    continue;
                if (a.name() == kSparkleShort)
                    enclosureShort = a.value().toString();
                else if (a.name() == kSparkleVersion)
                    enclosureVersion = a.value().toString();
            }
            xml.skipCurrentElement();
        } else if (name == QLatin1String("link") && !sparkle) {
            link = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (sparkle && name == kSparkleShort) {
            shortVersion = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (sparkle && name == kSparkleVersion) {
            version = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    AppcastReader::Item item;
    for (const QString& candidate : {shortVersion, enclosureShort, version, enclosureVersion}) {
        if (!candidate.isEmpty()) {
            item.version = candidate;
            break;
        }
    }
    for (const QString& candidate : {link, enclosureUrl}) {
        const QUrl url(candidate);
        if (isWebAddress(url)) {
            item.downloadPage = url;
            break;
        }
    }
    if (item.version.isEmpty() || item.downloadPage.isEmpty())
        return std::nullopt;
    return item;
}

} // namespace

std::optional<QList<AppcastReader::Item>> AppcastReader::read(const QByteArray& text) {
    QXmlStreamReader xml(text);
    QList<Item> items;
    bool sawRss = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("rss"))
            sawRss = true;
        else if (xml.name() == QLatin1String("item") && sawRss) {
            if (auto item = readItem(xml))
                items.append(*item);
        }
    }
    if (xml.hasError() || !sawRss)
        return std::nullopt;
    return items;
}

std::optional<AppcastReader::Item> AppcastReader::newest(const QList<Item>& items) {
    std::optional<Item> best;
    for (const Item& item : items) {
        if (!best || compareVersions(item.version, best->version) > 0)
            best = item;
    }
    return best;
}

int AppcastReader::compareVersions(const QString& a, const QString& b) {
    return QVersionNumber::compare(QVersionNumber::fromString(a).normalized(),
                                   QVersionNumber::fromString(b).normalized());
}
