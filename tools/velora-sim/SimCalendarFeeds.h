#pragma once

#include "SimReply.h"

#include <QDateTime>
#include <QString>

struct RecordedRequest;

// The iCalendar feeds the simulator publishes under /calendars/, dated from `now` so that they
// always fall in the coming days:
//   team.ics      a twice-weekly series in New York time, one occurrence moved, one cancelled
//   personal.ics  an all-day event, a declined invitation, an accepted one, hostile text
//   moved.ics     302 to team.ics;  insecure.ics  302 to an http address;  private.ics  401
// Feeds answer with an ETag and Last-Modified and honour If-None-Match with 304.
class SimCalendarFeeds {
public:
    static SimReply feed(const QString& name, const RecordedRequest& request, const QDateTime& now,
                         const QString& baseUrl);
    static QByteArray team(const QDateTime& now);
    static QByteArray personal(const QDateTime& now);
};
