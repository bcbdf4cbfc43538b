#include "TimeZoneItems.h"

#include <QTimeZone>
#include <algorithm>

QList<TimeZoneItems::Item> TimeZoneItems::build(const QDateTime& now) {
    QList<Item> items;
    const QList<QByteArray> ids = QTimeZone::availableTimeZoneIds();
    items.reserve(ids.size());
    for (const QByteArray& id : ids) {
        // Names with spaces could not be read back from the title; "UTC+05:30" style ids are
        // bare offsets, not places.
        if (id.contains(' ') || (id.size() > 3 && id.startsWith("UTC"))) {
            continue;
        }
        const QTimeZone zone(id);
        if (!zone.isValid()) {
            continue;
        }
        const int offset = zone.offsetFromUtc(now);
        items.append({title(id, offset), id, offset});
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.offsetSeconds != b.offsetSeconds ? a.offsetSeconds < b.offsetSeconds : a.id < b.id;
    });
    return items;
}

const QList<TimeZoneItems::Item>& TimeZoneItems::shared() {
    static QList<Item> items;
    static QDateTime builtAt;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (items.isEmpty() || builtAt.secsTo(now) > 86400) {
        items = build(now);
        builtAt = now;
    }
    return items;
}

QString TimeZoneItems::title(const QByteArray& id, int offsetSeconds) {
    const int minutes = qAbs(offsetSeconds) / 60;
    return QStringLiteral("(UTC%1%2:%3) %4")
        .arg(offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(id));
}

QString TimeZoneItems::zoneName(const QString& title) {
    return title.section(QLatin1Char(' '), 1, 1);
}

int TimeZoneItems::indexOf(const QList<Item>& items, const QString& zoneName) {
    if (zoneName.isEmpty()) {
        return -1;
    }
    const QByteArray id = zoneName.toLatin1();
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].id == id) {
            return i;
        }
    }
    return -1;
}
