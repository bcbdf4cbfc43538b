#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The items of the time-zone menu: "(UTC+01:00) Europe/Berlin" for every zone the system knows,
// ordered by the offset in effect at `now`, then by name. The zone name is the title's second
// space-separated word.
class TimeZoneItems {
public:
    struct Item {
        QString title;
        QByteArray id;
        int offsetSeconds = 0;
    };

    static QList<Item> build(const QDateTime& now);
    // Built once per process (at most a day old): every scheduler opens with the same list.
    static const QList<Item>& shared();

    static QString title(const QByteArray& id, int offsetSeconds);
    // The zone name of an item title: its second space-separated word.
    static QString zoneName(const QString& title);
    // The index of the item of that zone, or -1.
    static int indexOf(const QList<Item>& items, const QString& zoneName);
};
