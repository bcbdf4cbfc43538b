// iCalendar texts -> the meeting records the list shows: zones (also across a daylight-saving
// change), recurrence with overrides and exceptions, all-day, declined and cancelled events, and
// the bounds that keep a hostile feed from stalling or flooding the list.
#include "Calendars/IcsFeedParser.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QObject>
#include <ctime>
#include <libical/ical.h>

namespace {

// 2 to 16 March 2026 (UTC); New York moves to summer time on the 8th.
const qint64 kFrom = QDateTime(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
const qint64 kTo = kFrom + 14 * 86400000LL;

QByteArray calendar(const QByteArray& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tests//EN\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray vevent(const QByteArray& uid, const QByteArray& lines,
                  const QByteArray& link = "DESCRIPTION:Join https://velora.example/111/22\n") {
    return "BEGIN:VEVENT\nUID:" + uid + "\nSUMMARY:" + uid + "\n" + link + lines + "END:VEVENT\n";
}

IcsFeedParser::Options window() {
    IcsFeedParser::Options options;
    options.windowStartMs = kFrom;
    options.windowEndMs = kTo;
    options.ownEmail = QStringLiteral("me@example.com");
    return options;
}

IcsFeedParser::Result parse(const QByteArray& body) {
    return IcsFeedParser::parse(calendar(body), window());
}

// "03-09 13:00Z 60m title zone #id/passcode" per record, in order.
QString describe(const QVariantList& records) {
    QStringList lines;
    for (const QVariant& item : records) {
        const QVariantMap r = item.toMap();
        const auto start = QDateTime::fromMSecsSinceEpoch(qint64(r["start"].toDouble()), Qt::UTC);
        const qint64 minutes = qint64(r["end"].toDouble() - r["start"].toDouble()) / 60000;
        QString link = r["numericMeetingId"].toString();
        if (r.value("addAttendeePasscode").toBool())
            link += "/" + r["attendeePasscode"].toString();
        lines << QStringLiteral("%1 %2m %3 %4 #%5")
                     .arg(start.toString("MM-dd hh:mm'Z'"))
                     .arg(minutes)
                     .arg(r["title"].toString(), r["timezone"].toString(), link);
        if (r["calendar_entry_type"] != QStringLiteral("ical"))
            lines << QStringLiteral("(not tagged ical)");
    }
    return lines.join(" | ");
}

// The rule's occurrences near the window as RDATE lines, from libical's plain walk from DTSTART:
// what a series must list whatever shortcut its reading takes.
QByteArray walkedAsDates(const QByteArray& dtstartLine, const QByteArray& rule) {
    icalproperty* start = icalproperty_new_from_string(dtstartLine.constData());
    icaltimetype first = icalproperty_get_dtstart(start);
    icalproperty_free(start);
    const QByteArray params = dtstartLine.mid(7, dtstartLine.indexOf(':') - 7);
    const QByteArray suffix = icaltime_is_utc(first) ? "Z" : "";
    first.zone = nullptr;
    icalrecur_iterator* it =
        icalrecur_iterator_new(icalrecurrencetype_from_string(rule.constData()), first);
    const icaltimetype from = icaltime_from_string("20260227T000000");
    const icaltimetype to = icaltime_from_string("20260318T000000");
    QByteArray lines;
    for (icaltimetype t = icalrecur_iterator_next(it);
         !icaltime_is_null_time(t) && icaltime_compare(t, to) < 0;
         t = icalrecur_iterator_next(it)) {
        if (icaltime_compare(t, from) >= 0)
            lines += "RDATE" + params + ":" + icaltime_as_ical_string(t) + suffix + "\n";
    }
    icalrecur_iterator_free(it);
    return lines;
}

} // namespace

class TestIcsFeedParser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin"); // all-day and floating times are local
        tzset();
    }

    void records_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("warnings");

        QTest::newRow("weekly across a daylight-saving change")
            << vevent("Sync", "DTSTART;TZID=America/New_York:20260302T090000\n"
                              "DTEND;TZID=America/New_York:20260302T100000\nRRULE:FREQ=WEEKLY\n")
            << "03-02 14:00Z 60m Sync America/New_York #111/22 | "
               "03-09 13:00Z 60m Sync America/New_York #111/22"
            << 0;
        QTest::newRow("override, exception and cancelled occurrence")
            << vevent("Daily",
                      "DTSTART:20260302T090000Z\nDURATION:PT30M\nRRULE:FREQ=DAILY;COUNT=5\n"
                      "EXDATE:20260303T090000Z\n") +
                   vevent("Daily", "RECURRENCE-ID:20260304T090000Z\nDTSTART:20260304T150000Z\n"
                                   "DTEND:20260304T153000Z\n") +
                   vevent("Daily", "RECURRENCE-ID:20260305T090000Z\nDTSTART:20260305T090000Z\n"
                                   "STATUS:CANCELLED\n")
            << "03-02 09:00Z 30m Daily UTC #111/22 | 03-04 15:00Z 30m Daily UTC #111/22 | "
               "03-06 09:00Z 30m Daily UTC #111/22"
            << 0;
        QTest::newRow("extra dates beside the start, one excluded")
            << vevent("Dates", "DTSTART:20260303T090000Z\nDURATION:PT30M\n"
                               "RDATE:20260305T090000Z,20260307T090000Z\n"
                               "EXDATE:20260307T090000Z\n") +
                   vevent("NotFirst", "DTSTART:20260304T100000Z\nRDATE:20260306T100000Z\n"
                                      "EXDATE:20260304T100000Z\n")
            << "03-03 09:00Z 30m Dates UTC #111/22 | 03-05 09:00Z 30m Dates UTC #111/22 | "
               "03-06 10:00Z 0m NotFirst UTC #111/22"
            << 0;
        QTest::newRow("all-day and floating are local")
            << vevent("Offsite", "DTSTART;VALUE=DATE:20260305\nDTEND;VALUE=DATE:20260306\n") +
                   vevent("Floating", "DTSTART:20260310T090000\nDTEND:20260310T091500\n")
            << "03-04 23:00Z 1440m Offsite Europe/Berlin #111/22 | "
               "03-10 08:00Z 15m Floating Europe/Berlin #111/22"
            << 0;
        QTest::newRow("declined, cancelled and outside the window")
            << vevent("Declined", "DTSTART:20260303T090000Z\n"
                                  "ATTENDEE;PARTSTAT=DECLINED:mailto:ME@Example.com\n") +
                   vevent("OthersDeclined", "DTSTART:20260303T100000Z\n"
                                            "ATTENDEE;PARTSTAT=DECLINED:mailto:you@example.com\n"
                                            "ATTENDEE;PARTSTAT=ACCEPTED:mailto:me@example.com\n") +
                   vevent("Cancelled", "DTSTART:20260303T110000Z\nSTATUS:CANCELLED\n") +
                   vevent("Past", "DTSTART:20260301T090000Z\nDTEND:20260301T100000Z\n") +
                   vevent("Later", "DTSTART:20260316T000000Z\n")
            << "03-03 10:00Z 0m OthersDeclined UTC #111/22" << 0;
        QTest::newRow("links: description, then location, URL, title")
            << vevent(
                   "Both", "DTSTART:20260303T090000Z\n",
                   "DESCRIPTION:https://velora.example/1/2\nLOCATION:https://velora.example/3\n") +
                   vevent("UrlOnly", "DTSTART:20260303T100000Z\n",
                          "URL:https://eu.velora.example/44\n") +
                   vevent("NoLink", "DTSTART:20260303T110000Z\n", "LOCATION:Room 4\n")
            << "03-03 09:00Z 0m Both UTC #1/2 | 03-03 10:00Z 0m UrlOnly UTC #44" << 0;
        QTest::newRow("zones: the feed's own, unknown ones as UTC (said once)")
            << "BEGIN:VTIMEZONE\nTZID:Custom Zone\nBEGIN:STANDARD\nDTSTART:19700101T000000\n"
               "TZOFFSETFROM:+0530\nTZOFFSETTO:+0530\nEND:STANDARD\nEND:VTIMEZONE\n" +
                   vevent("Own", "DTSTART;TZID=Custom Zone:20260303T090000\n") +
                   vevent("Mars", "DTSTART;TZID=Mars/Olympus:20260303T090000\n") +
                   vevent("Mars2", "DTSTART;TZID=Mars/Olympus:20260304T090000\n")
            << "03-03 03:30Z 0m Own Custom Zone #111/22 | 03-03 09:00Z 0m Mars UTC #111/22 | "
               "03-04 09:00Z 0m Mars2 UTC #111/22"
            << 1;
        QTest::newRow("hostile text stays text") << vevent("<b>x</b>", "DTSTART:20260303T090000Z\n")
                                                 << "03-03 09:00Z 0m <b>x</b> UTC #111/22" << 0;
    }

    void records() {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        QFETCH(int, warnings);
        const IcsFeedParser::Result result = parse(body);
        QCOMPARE(result.error, QString());
        QCOMPARE(describe(result.records), expected);
        QCOMPARE(result.warnings.size(), warnings);
    }

    // A rule that fires every second, forever or from years back, ends quickly and capped.
    void boundedExpansion_data() {
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<int>("records");
        QTest::newRow("every second, no end") << QByteArray("DTSTART:20260302T000000Z\n"
                                                            "RRULE:FREQ=SECONDLY\n")
                                              << 500;
        QTest::newRow("every second from 2016, counted")
            << QByteArray("DTSTART:20160302T000000Z\nRRULE:FREQ=SECONDLY;COUNT=2000000000\n") << 0;
        QTest::newRow("daily since 2006, no end")
            << QByteArray("DTSTART:20060302T090000Z\nRRULE:FREQ=DAILY\n") << 14;
    }

    void boundedExpansion() {
        QFETCH(QByteArray, rule);
        QFETCH(int, records);
        QElapsedTimer timer;
        timer.start();
        const IcsFeedParser::Result result = parse(vevent("Storm", rule));
        QCOMPARE(result.records.size(), records);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    }

    // Series that began long before the window are not walked from their start; what they
    // list must still equal the plain walk's occurrences, at the window's edges, across the
    // daylight-saving change, with exceptions and moved occurrences.
    void seriesFromLongAgo_data() {
        QTest::addColumn<QByteArray>("start"); // DTSTART line first
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<QByteArray>("more"); // exceptions and overrides
        QTest::addColumn<int>("records");
        QTest::newRow("daily, counted, ends inside the window, zone changes")
            << QByteArray("DTSTART;TZID=America/New_York:20250205T090000\nDURATION:PT30M\n")
            << QByteArray("FREQ=DAILY;COUNT=400")
            << QByteArray("EXDATE;TZID=America/New_York:20260309T090000\n") +
                   vevent("S", "RECURRENCE-ID;TZID=America/New_York:20260310T090000\n"
                               "DTSTART;TZID=America/New_York:20260310T110000\n")
            << 9;
        QTest::newRow("daily, counted, last one ends just inside the window")
            << QByteArray("DTSTART:20250301T233000Z\nDURATION:PT1H\n")
            << QByteArray("FREQ=DAILY;COUNT=366") << QByteArray() << 1;
        QTest::newRow("weekly at the window's first and last instant")
            << QByteArray("DTSTART:20240101T000000Z\nDURATION:PT30M\n")
            << QByteArray("FREQ=WEEKLY;BYDAY=MO;COUNT=500") << QByteArray() << 2;
        QTest::newRow("every other week on three days, exception and moved occurrence")
            << QByteArray("DTSTART;TZID=Europe/Berlin:20200107T170000\nDURATION:PT1H\n")
            << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TU,TH;WKST=SU;COUNT=1000")
            << QByteArray("EXDATE;TZID=Europe/Berlin:20260310T170000\n") +
                   vevent("S", "RECURRENCE-ID;TZID=Europe/Berlin:20260312T170000\n"
                               "DTSTART;TZID=Europe/Berlin:20260313T170000\n")
            << 2;
        QTest::newRow("weekdays of every other day, all-day")
            << QByteArray("DTSTART;VALUE=DATE:20230103\n")
            << QByteArray("FREQ=DAILY;INTERVAL=2;BYDAY=MO,TU,WE,TH,FR;COUNT=600") << QByteArray()
            << 6;
        QTest::newRow("start not on the rule's day")
            << QByteArray("DTSTART:20250305T100000Z\n")
            << QByteArray("FREQ=WEEKLY;BYDAY=MO;COUNT=60") << QByteArray() << 2;
        QTest::newRow("floating, the last counted one in the window")
            << QByteArray("DTSTART:20240304T080000\n") << QByteArray("FREQ=WEEKLY;COUNT=105")
            << QByteArray() << 1;
        QTest::newRow("every third week, no count, the walk from the week's last day")
            << QByteArray("DTSTART;TZID=America/New_York:20260225T070000\nDURATION:PT2653M\n")
            << QByteArray("FREQ=WEEKLY;INTERVAL=3;WKST=FR") << QByteArray() << 0;
        QTest::newRow("daily until an occurrence inside the window")
            << QByteArray("DTSTART:20250302T090000Z\nDURATION:PT30M\n")
            << QByteArray("FREQ=DAILY;UNTIL=20260305T090000Z") << QByteArray() << 4;
        QTest::newRow("two days a week since 2019, no end")
            << QByteArray("DTSTART:20190102T090000Z\nDURATION:PT30M\n")
            << QByteArray("FREQ=WEEKLY;BYDAY=MO,WE") << QByteArray() << 4;
        QTest::newRow("daily since 2006, no end") << QByteArray("DTSTART:20060302T090000Z\n")
                                                  << QByteArray("FREQ=DAILY") << QByteArray() << 14;
    }

    void seriesFromLongAgo() {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, rule);
        QFETCH(QByteArray, more);
        QFETCH(int, records);
        const QByteArray dtstart = start.left(start.indexOf('\n'));
        const QByteArray exdates = more.left(more.indexOf("BEGIN:"));
        const QByteArray overrides = more.mid(exdates.size());
        const IcsFeedParser::Result series =
            parse(vevent("S", start + "RRULE:" + rule + "\n" + exdates) + overrides);
        const IcsFeedParser::Result walked =
            parse(vevent("S", start + walkedAsDates(dtstart, rule) + exdates) + overrides);
        QCOMPARE(describe(series.records), describe(walked.records));
        QCOMPARE(series.records.size(), records);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("html") << QByteArray("<html><body>Sign in</body></html>")
                              << "This is not an iCalendar feed";
        QTest::newRow("empty") << QByteArray() << "This is not an iCalendar feed";
        QTest::newRow("cut off") << calendar(vevent("A", "DTSTART:20260303T090000Z\n")).chopped(20)
                                 << "The feed is incomplete (it was cut off)";
    }

    void refused() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const IcsFeedParser::Result result = IcsFeedParser::parse(bytes, window());
        QCOMPARE(result.error, error);
        QVERIFY(result.records.isEmpty());
    }
};

TAMBER_TEST_MAIN_CORE(TestIcsFeedParser)
#include "tst_IcsFeedParser.moc"
