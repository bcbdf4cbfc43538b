#include "SimCalendarFeeds.h"

#include "VeloraSimulator.h"

#include <QCryptographicHash>
#include <QTimeZone>
#include <QUrl>

namespace {

QByteArray calendar(const QByteArray& name, const QByteArray& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Velora Simulator//Calendar//EN\r\n"
           "X-WR-CALNAME:" +
           name + "\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray local(const QDate& date, int hour) {
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1() + 'T' +
           QByteArray::number(hour).rightJustified(2, '0') + "0000";
}

QByteArray day(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

QByteArray utc(const QDateTime& at) {
    return at.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray lines(std::initializer_list<QByteArray> list) {
    QByteArray out;
    for (const QByteArray& line : list)
        out += line + "\r\n";
    return out;
}

} // namespace

QByteArray SimCalendarFeeds::team(const QDateTime& now) {
    const QTimeZone newYork("America/New_York");
    const QDate today = now.toTimeZone(newYork).date();
    // Mondays and Thursdays at 10:00 New York time, since the Monday two weeks back.
    const QDate first = today.addDays(-14 - (today.dayOfWeek() - 1));
    QList<QDate> coming;
    for (QDate d = today.addDays(1); coming.size() < 2; d = d.addDays(1)) {
        if (d.dayOfWeek() == 1 || d.dayOfWeek() == 4)
            coming.append(d);
    }
    const QByteArray tz = "TZID=America/New_York:";
    const QByteArray uid = "UID:design-review@sim.velora.example";
    const QByteArray link = "LOCATION:https://velora.example/4445556666/1234";
    return calendar(
        "Team",
        lines({"BEGIN:VEVENT", uid, "DTSTAMP:" + utc(now), "DTSTART;" + tz + local(first, 10),
               "DTEND;" + tz + local(first, 11), "RRULE:FREQ=WEEKLY;BYDAY=MO,TH",
               "SUMMARY:Design review", link, "END:VEVENT"}) +
            // The next occurrence moved an hour later, the one after it cancelled.
            lines({"BEGIN:VEVENT", uid, "DTSTAMP:" + utc(now),
                   "RECURRENCE-ID;" + tz + local(coming[0], 10),
                   "DTSTART;" + tz + local(coming[0], 11), "DTEND;" + tz + local(coming[0], 12),
                   "SUMMARY:Design review (moved)", link, "END:VEVENT"}) +
            lines({"BEGIN:VEVENT", uid, "DTSTAMP:" + utc(now),
                   "RECURRENCE-ID;" + tz + local(coming[1], 10),
                   "DTSTART;" + tz + local(coming[1], 10), "DTEND;" + tz + local(coming[1], 11),
                   "STATUS:CANCELLED", "SUMMARY:Design review", link, "END:VEVENT"}));
}

QByteArray SimCalendarFeeds::personal(const QDateTime& now) {
    const QDate tomorrow = now.toLocalTime().date().addDays(1);
    const QDateTime noon(tomorrow.addDays(1), QTime(12, 0), Qt::UTC);
    return calendar(
        "Personal",
        lines({"BEGIN:VEVENT", "UID:offsite@sim.velora.example", "DTSTAMP:" + utc(now),
               "DTSTART;VALUE=DATE:" + day(tomorrow),
               "DTEND;VALUE=DATE:" + day(tomorrow.addDays(1)), "SUMMARY:Company offsite",
               "DESCRIPTION:Dial in: https://velora.example/7778889999", "END:VEVENT"}) +
            lines({"BEGIN:VEVENT", "UID:declined@sim.velora.example", "DTSTAMP:" + utc(now),
                   "DTSTART:" + utc(noon), "DTEND:" + utc(noon.addSecs(1800)),
                   "SUMMARY:Budget call (declined)", "URL:https://velora.example/1112223333",
                   "ATTENDEE;PARTSTAT=DECLINED:mailto:ada@example.com", "END:VEVENT"}) +
            lines({"BEGIN:VEVENT", "UID:one-on-one@sim.velora.example", "DTSTAMP:" + utc(now),
                   "DTSTART:" + utc(noon.addSecs(3600)), "DTEND:" + utc(noon.addSecs(5400)),
                   "SUMMARY:<b>1:1</b> & <script>alert(1)</script>",
                   "URL:https://velora.example/2223334444/55",
                   "ATTENDEE;PARTSTAT=ACCEPTED:mailto:ada@example.com", "END:VEVENT"}));
}

SimReply SimCalendarFeeds::feed(const QString& name, const RecordedRequest& request,
                                const QDateTime& now, const QString& baseUrl) {
    if (name == QLatin1String("moved.ics"))
        return {302, "", {}, {{"Location", (baseUrl + "/calendars/team.ics").toUtf8()}}};
    if (name == QLatin1String("insecure.ics")) {
        QUrl http(baseUrl + QStringLiteral("/calendars/team.ics"));
        http.setScheme(QStringLiteral("http"));
        return {302, "", {}, {{"Location", http.toEncoded()}}};
    }
    if (name == QLatin1String("private.ics"))
        return {401, "text/plain", "Sign in first", {{"WWW-Authenticate", "Basic realm=\"cal\""}}};
    QByteArray body;
    if (name == QLatin1String("team.ics"))
        body = team(now);
    else if (name == QLatin1String("personal.ics"))
        body = personal(now);
    else
        return SimReply::text("No such calendar", 404);
    const QByteArray etag =
        '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(16) + '"';
    const QByteArray modified = QLocale::c()
                                    .toString(now.toUTC().date().startOfDay(Qt::UTC),
                                              QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
                                    .toLatin1();
    const QList<QPair<QByteArray, QByteArray>> headers{{"ETag", etag}, {"Last-Modified", modified}};
    if (request.header("if-none-match") == etag)
        return {304, "", {}, headers};
    return {200, "text/calendar; charset=utf-8", body, headers};
}
