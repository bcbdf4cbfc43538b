// Day buckets of the upcoming-meetings list: local-day placement in several time zones and
// across time changes, recurring meetings, ordering, drafts, bad records and rows.
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/MeetingAggregator.h"
#include "TestEnvironment.h"
#include "UnitTimeZone.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QTimeZone>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const bool kZoneSet = (useZone("Europe/Berlin"), true);

qint64 utcMs(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

QVariantMap meeting(const QString& id, const QVariant& start) {
    return {{"id", id}, {"title", id}, {"start", start}};
}

QVariantMap recurring(const QString& id, const QVariant& start, const QVariant& nextStart) {
    QVariantMap m = meeting(id, start);
    m.insert("recurrencePattern", QVariantMap{{"recurrenceType", "WEEKLY"}, {"daysOfWeekMask", 2}});
    if (nextStart.isValid())
        m.insert("nextStart", nextStart);
    return m;
}

// "day: id id | day: id" for compact comparisons.
QString layout(const QList<DayBucket>& days) {
    QStringList out;
    for (const DayBucket& d : days) {
        QStringList ids;
        for (const MeetingRecord& m : d.meetings)
            ids << (m.contains("id") ? m.value("id") : m.value("meetingDraftGuid")).toString();
        out << d.day.toString(Qt::ISODate) + ": " + ids.join(' ');
    }
    return out.join(" | ");
}

// Service records as the list reply hands them on.
QList<QJsonObject> asReply(const QVariantList& service) {
    QList<QJsonObject> out;
    for (const QVariant& m : service)
        out << QJsonObject::fromVariantMap(m.toMap());
    return out;
}

QList<DayBucket> serviceOnly(const QVariantList& service) {
    return MeetingAggregator::merge({}, asReply(service), {});
}

} // namespace

class tst_MeetingAggregator : public QObject {
    Q_OBJECT

private slots:
    void init() { useZone("Europe/Berlin"); }

    void placesByLocalDayAcrossMidnightAndZones() {
        // 22:59:59 and 23:00:00 UTC in winter: either side of midnight in Berlin (+01:00).
        const QVariantList service{meeting("late", utcMs("2024-01-15T22:59:59.999Z")),
                                   meeting("early", utcMs("2024-01-15T23:00:00.000Z"))};
        QCOMPARE(layout(serviceOnly(service)), "2024-01-15: late | 2024-01-16: early");

        useZone("America/New_York");
        QCOMPARE(layout(serviceOnly(service)), "2024-01-15: late early");
        useZone("Asia/Kolkata"); // +05:30
        QCOMPARE(layout(serviceOnly({meeting("a", utcMs("2024-01-15T18:29:59Z")),
                                     meeting("b", utcMs("2024-01-15T18:30:00Z"))})),
                 "2024-01-15: a | 2024-01-16: b");
        useZone("Pacific/Kiritimati"); // +14:00
        QCOMPARE(layout(serviceOnly(service)), "2024-01-16: late early");

        // Milliseconds are truncated to whole seconds toward zero, never rounded.
        useZone("UTC");
        QCOMPARE(layout(serviceOnly({meeting("t", 1499999999999.0)})), "2017-07-14: t");
        QCOMPARE(layout(serviceOnly({meeting("m", utcMs("2024-01-16T00:00:00Z") - 1)})),
                 "2024-01-15: m");
        QCOMPARE(layout(serviceOnly({meeting("neg", -1500), meeting("z", -999)})),
                 "1969-12-31: neg | 1970-01-01: z");
        // Far dates keep their day.
        QCOMPARE(layout(serviceOnly({meeting("old", utcMs("1900-03-01T12:00:00Z")),
                                     meeting("far", utcMs("2150-06-30T12:00:00Z"))})),
                 "1900-03-01: old | 2150-06-30: far");
    }

    void placesAcrossTimeChanges() {
        // Berlin, 2024-10-27 has 25 hours: 00:30 (+02:00) and 23:30 (+01:00) share the day.
        QCOMPARE(layout(serviceOnly({meeting("b", utcMs("2024-10-27T22:30:00Z")),
                                     meeting("a", utcMs("2024-10-26T22:30:00Z")),
                                     meeting("c", utcMs("2024-10-27T23:30:00Z"))})),
                 "2024-10-27: a b | 2024-10-28: c");
        // Spring forward (23 hours): 23:30 local on the 31st is 21:30 UTC.
        QCOMPARE(layout(serviceOnly({meeting("a", utcMs("2024-03-30T23:30:00Z")),
                                     meeting("b", utcMs("2024-03-31T21:30:00Z")),
                                     meeting("c", utcMs("2024-03-31T22:00:00Z"))})),
                 "2024-03-31: a b | 2024-04-01: c");
        // Santiago skips midnight on 2024-09-08 (00:00 -> 01:00): the day still exists and
        // gets a header text.
        useZone("America/Santiago");
        const auto days = serviceOnly({meeting("x", utcMs("2024-09-08T04:30:00Z")),   // 01:30 -03
                                       meeting("w", utcMs("2024-09-08T03:59:59Z"))}); // 23:59 -04
        QCOMPARE(layout(days), "2024-09-07: w | 2024-09-08: x");
        QVERIFY(!days[1].description.isEmpty());
        QVERIFY(days[1].description != days[0].description);
    }

    void placesEveryInstantOnTheZonesDay() {
        // Instants every few hours through whole years, and on both sides of every time change,
        // in zones with odd offsets, half-hour summer time and a skipped day (Apia, 2011-12-30):
        // each record's day is the one the zone gives its instant.
        for (const char* zone : {"Europe/Berlin", "America/Santiago", "Australia/Lord_Howe",
                                 "Pacific/Apia", "Pacific/Chatham", "America/St_Johns", "UTC"}) {
            useZone(zone);
            const QTimeZone system = QTimeZone::systemTimeZone();
            QList<qint64> seconds;
            for (const auto& [from, to, step] : {std::tuple{"1893-01-01", "1894-01-01", 20011},
                                                 std::tuple{"1969-06-01", "1970-06-01", 17011},
                                                 std::tuple{"2011-01-01", "2012-07-01", 13907},
                                                 std::tuple{"2150-01-01", "2151-01-01", 25013}}) {
                const QDateTime begin = QDateTime::fromString(from, Qt::ISODate);
                const QDateTime end = QDateTime::fromString(to, Qt::ISODate);
                for (qint64 s = begin.toSecsSinceEpoch(); s < end.toSecsSinceEpoch(); s += step)
                    seconds << s;
                for (const QTimeZone::OffsetData& change : system.transitions(begin, end))
                    for (qint64 d : {-3601, -1, 0, 1, 3599})
                        seconds << change.atUtc.toSecsSinceEpoch() + d;
            }
            QVariantList calendar;
            for (qint64 s : std::as_const(seconds)) {
                // Milliseconds on the far side of the second: truncation must keep the second.
                const double ms = double(s) * 1000 + (s < 0 ? -999 : 999);
                calendar << QVariantMap{{"id", QString::number(s)}, {"start", ms}};
            }
            int placed = 0;
            for (const DayBucket& day : MeetingAggregator::merge(calendar, {}, {})) {
                for (const MeetingRecord& m : day.meetings) {
                    const qint64 s = m.value("id").toLongLong();
                    const QDate expected = QDateTime::fromSecsSinceEpoch(s, system).date();
                    if (day.day != expected)
                        QFAIL(qPrintable(u"%1: second %2 on %3, not %4"_s.arg(zone).arg(s).arg(
                            day.day.toString(Qt::ISODate), expected.toString(Qt::ISODate))));
                    ++placed;
                }
            }
            QCOMPARE(placed, seconds.size());
        }
    }

    void recurringMeetingsPlacedByNextStart() {
        useZone("UTC");
        const qint64 lastWeek = utcMs("2024-05-01T09:00:00Z");
        const qint64 tomorrow9 = utcMs("2024-05-09T09:00:00Z");
        const QVariantList service{
            meeting("single", utcMs("2024-05-09T10:00:00Z")),
            recurring("series", lastWeek, tomorrow9),
            recurring("text", lastWeek, "1715245200000"), // 2024-05-09T09:00:00Z as text
        };
        QCOMPARE(layout(serviceOnly(service)), "2024-05-09: text series single");
        // Never lost: a series without a usable "nextStart", and a pattern that does not
        // repeat, are listed by their "start" (the user can still see and cancel them).
        QVariantMap once = recurring("once", lastWeek, tomorrow9);
        once.insert("recurrencePattern", QVariantMap{{"recurrenceType", "NONE"}});
        const QVariantList odd{recurring("no-next", lastWeek, QVariant()),
                               recurring("bad-next", lastWeek, "soon"), once};
        QCOMPARE(layout(serviceOnly(odd)), "2024-05-01: once bad-next no-next");
        // A null pattern is no pattern: placed by "start".
        QVariantMap plain = meeting("plain", lastWeek);
        plain.insert("recurrencePattern", QVariant::fromValue(nullptr));
        QCOMPARE(layout(serviceOnly({plain})), "2024-05-01: plain");
        // A recurring draft has no "nextStart": drafts go by "start".
        QVariantMap draft = recurring("", "1715245500000", QVariant());
        draft.remove("id");
        draft.insert("meetingDraftGuid", "D1");
        QCOMPARE(layout(MeetingAggregator::merge({}, {}, {{"D1", draft}})), "2024-05-09: D1");
    }

    void ordersDaysAndMeetings() {
        useZone("UTC");
        const double day1 = utcMs("2024-06-03T00:00:00Z"), day2 = utcMs("2024-06-04T00:00:00Z");
        // Service list in descending order; numbers and numeric text mixed.
        const QVariantList service{meeting("s4", day2 + 5000),
                                   meeting("s3", QString::number(day1 + 900, 'f', 0)),
                                   meeting("s2", day1 + 1000), meeting("s1", day1 + 100)};
        QVariantMap cal = meeting("c1", day1 + 1000);
        cal.insert("calendar_entry_type", "outlook");
        const QVariantMap drafts{
            {"G2", QVariantMap{{"meetingDraftGuid", "G2"},
                               {"start", QString::number(day2 + 1000, 'f', 0)}}},
            {"G1", QVariantMap{{"meetingDraftGuid", "G1"},
                               {"start", QString::number(day1 + 950, 'f', 0)}}}};
        const auto days = MeetingAggregator::merge({cal}, asReply(service), drafts);
        // "900" sorts before 1000 by value (not as text); of equal keys the later placed (the
        // service copy s2 after the calendar's c1) comes first.
        QCOMPARE(layout(days), "2024-06-03: s1 s3 G1 s2 c1 | 2024-06-04: G2 s4");
        QCOMPARE(days[0].meetings[0].value("calendar_entry_type"), "velora");
        QCOMPARE(days[0].meetings[2].value("calendar_entry_type"), "velora");
        QCOMPARE(days[0].meetings[4].value("calendar_entry_type"), "outlook");
        QCOMPARE(days[1].meetings[0].value("start"),
                 QString::number(day2 + 1000, 'f', 0)); // kept as given
        QCOMPARE(days[0].start, day1 + 1000);           // the calendar meeting created the day

        // Days ascend even without service meetings (drafts come in key order, not by date), and
        // a draft carries its key as its guid.
        const QVariantMap onlyDrafts{{"A", QVariantMap{{"start", QString::number(day2, 'f', 0)}}},
                                     {"B", QVariantMap{{"start", QString::number(day1, 'f', 0)}}}};
        QCOMPARE(layout(MeetingAggregator::merge({}, {}, onlyDrafts)),
                 "2024-06-03: B | 2024-06-04: A");
    }

    void skipsBadRecordsOnly() {
        useZone("UTC");
        const double t = utcMs("2024-07-01T08:00:00Z");
        QVariantMap badEnd = meeting("badEnd", t);
        badEnd.insert("end", "soon");
        QVariantMap noEnd = meeting("noEnd", t + 2);
        QVariantMap goodEnd = meeting("goodEnd", t + 1);
        goodEnd.insert("end", QString::number(t + 3600000, 'f', 0));
        const QVariantList service{meeting("textStart", "tomorrow"),
                                   meeting("noStart", QVariant()),
                                   meeting("boolStart", true),
                                   meeting("huge", 1e300),
                                   meeting("listStart", QVariantList{t}),
                                   badEnd,
                                   noEnd,
                                   goodEnd,
                                   meeting("ok", t)};
        LogSpy spy;
        // Calendar readers may hand on elements that are no records.
        const auto days = MeetingAggregator::merge({QVariant("not a record"), QVariant(42)},
                                                   asReply(service), {});
        QCOMPARE(layout(days), "2024-07-01: ok goodEnd noEnd");
        const QStringList debug = spy.messages(Log::Debug);
        for (const char* id : {"textStart", "noStart", "boolStart", "huge", "listStart", "badEnd"})
            QVERIFY2(debug.filter(u"(id %1)"_s.arg(id)).size() == 1, id);
        QCOMPARE(debug.filter("no record").size(), 2);
        // A draft that is no record at all is skipped, the others stay.
        const auto withDrafts =
            MeetingAggregator::merge({}, {}, {{"X", "junk"}, {"Y", QVariantMap{{"start", t}}}});
        QCOMPARE(layout(withDrafts), "2024-07-01: Y");
        QVERIFY(MeetingAggregator::merge({}, {}, {}).isEmpty());
    }

    void countsRows() {
        useZone("UTC");
        const auto days = serviceOnly({meeting("a", utcMs("2024-08-01T08:00:00Z")),
                                       meeting("b", utcMs("2024-08-01T09:00:00Z")),
                                       meeting("c", utcMs("2024-08-02T09:00:00Z"))});
        QCOMPARE(MeetingAggregator::rowCount(days), 5); // a header per day, a row per meeting
        QCOMPARE(MeetingAggregator::rowCount({}), 0);
    }
};

TAMBER_TEST_MAIN_CORE(tst_MeetingAggregator)
#include "tst_MeetingAggregator.moc"
