#pragma once

#include "MeetingAggregator.h"

#include <QList>
#include <QObject>

// Where every finished meeting-list fetch is announced, whoever started it (the menu's list or
// the background fetch of reminders), so that reminders always follow the last fetched list.
// Main thread only.
class MeetingListFeed : public QObject {
    Q_OBJECT
public:
    static MeetingListFeed& shared();

    void publish(const QList<DayBucket>& days) { emit listFetched(days); }

signals:
    void listFetched(const QList<DayBucket>& days);
};
