#include "Menu/UpcomingMeetings/MeetingRowPresentation.h"
#include "Models/TamberDataModel.h"
#include "RecordEdit.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QObject>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QTimeZone kBerlin("Europe/Berlin");
constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kHour = 60 * kMinute;

qint64 ms(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc()).toMSecsSinceEpoch();
}
const qint64 kNow = ms(2026, 5, 20, 12, 0);

QVariantMap meeting(qint64 start, qint64 end, const QString& type = u"velora"_s) {
    return {{u"title"_s, u"Design review"_s},
            {u"start"_s, double(start)},
            {u"end"_s, double(end)},
            {u"calendar_entry_type"_s, type}};
}

QVariantMap repeating(const QVariantMap& record, const QString& type = u"WEEKLY"_s) {
    return with(record, u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, type}});
}

} // namespace

// What a meeting row shows and does, worked out from the record alone.
class tst_MeetingRowPresentation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TamberDataModel::resetForTesting();
        TamberDataModel::sharedData()->apiHost = u"api.velora.example"_s;
        TamberDataModel::sharedData()->moderatorPasscode = u"2468"_s;
    }

    void timeSpan_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("span");
        const auto row = [](const char* name, const QVariantMap& r, const QString& span,
                            const QByteArray& zone = "Europe/Berlin") {
            QTest::newRow(name) << r << zone << span;
        };
        // 13:00-14:00 UTC in July is 3:00-4:00 PM in Berlin (summer time).
        const QVariantMap summer = meeting(ms(2026, 7, 1, 13, 0), ms(2026, 7, 1, 14, 0));
        const QString summerSpan = u"3:00 PM - 4:00 PM CEST"_s;
        row("summer", summer, summerSpan);
        // The record's own zone does not move the times: the user's zone does.
        const QVariantMap inNewYork = with(summer, u"timezone"_s, u"America/New_York"_s);
        row("record's zone", inNewYork, summerSpan);
        row("user's zone", inNewYork, u"9:00 AM - 10:00 AM EDT"_s, "America/New_York");
        row("winter, over midnight", meeting(ms(2026, 1, 10, 22, 30), ms(2026, 1, 11, 0, 15)),
            u"11:30 PM - 1:15 AM CET"_s);
        // Seconds are cut, not rounded: 59.999 s past 3:00 is still 3:00.
        row("seconds cut", meeting(ms(2026, 7, 1, 13, 0) + 59999, ms(2026, 7, 1, 13, 59) + 59999),
            u"3:00 PM - 3:59 PM CEST"_s);
        // Drafts carry their times as text.
        row("times as text",
            with(with(summer, u"start"_s, QString::number(ms(2026, 7, 1, 13, 0))), u"end"_s,
                 QString::number(ms(2026, 7, 1, 14, 0))),
            summerSpan);
        row("long ago", meeting(ms(1901, 3, 4, 12, 0), ms(1901, 3, 4, 13, 0)),
            u"1:00 PM - 2:00 PM CET"_s);
        row("far ahead", meeting(ms(2150, 3, 4, 12, 0), ms(2150, 3, 4, 13, 0)),
            u"1:00 PM - 2:00 PM CET"_s);
        row("start out of range", with(summer, u"start"_s, 1e300), QString());
        row("start no time", with(summer, u"start"_s, u"soon"_s), QString());
        row("no end", with(summer, u"end"_s, QVariant()), u"3:00 PM CEST"_s);
        for (const QVariant& zone :
             {QVariant(u"Mars/Olympus_Mons"_s), QVariant(u"../../etc/passwd"_s), QVariant(42),
              QVariant(QVariantMap{{u"x"_s, 1}})})
            row(qPrintable(u"record zone "_s + zone.toString()), with(summer, u"timezone"_s, zone),
                summerSpan);

        // A weekly series at 9:00 New York time, first held in January (3:00 PM in Berlin); its
        // next occurrence falls between the American and the European clock change, so it is at
        // 2:00 PM in Berlin.
        const QVariantMap january =
            with(repeating(meeting(ms(2026, 1, 5, 14, 0), ms(2026, 1, 5, 15, 0))), u"timezone"_s,
                 u"America/New_York"_s);
        const QVariantMap next = with(with(january, u"nextStart"_s, double(ms(2026, 3, 16, 13, 0))),
                                      u"nextEnd"_s, double(ms(2026, 3, 16, 14, 0)));
        row("next occurrence", next, u"2:00 PM - 3:00 PM CET"_s);
        row("next start, series' length", with(next, u"nextEnd"_s, QVariant()),
            u"2:00 PM - 3:00 PM CET"_s);
        row("no next start: first one", january, u"3:00 PM - 4:00 PM CET"_s);
        row("does not repeat", repeating(next, u"NONE"_s), u"3:00 PM - 4:00 PM CET"_s);
    }

    void timeSpan() {
        QFETCH(QVariantMap, record);
        QFETCH(QByteArray, zone);
        QFETCH(QString, span);
        QCOMPARE(MeetingRowPresentation::timeSpanText(record, QTimeZone(zone)), span);
        // A service record (JSON) shows the same.
        const MeetingRecord service =
            MeetingRecord::fromService(QJsonObject::fromVariantMap(record));
        QCOMPARE(MeetingRowPresentation::timeSpanText(service, QTimeZone(zone)), span);
    }

    void completion_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<bool>("complete");
        const auto row = [](const char* name, const QVariantMap& r, bool complete,
                            qint64 now = kNow) { QTest::newRow(name) << r << now << complete; };
        row("ended five minutes ago", meeting(kNow - 65 * kMinute, kNow - 5 * kMinute), true);
        row("ends now", meeting(kNow - kHour, kNow), false);
        // "now" keeps its milliseconds: 400 ms after the end the meeting is over.
        row("ended 400 ms ago", meeting(kNow - kMinute, kNow), true, kNow + 400);
        row("ends in 1 ms", meeting(kNow - kMinute, kNow + 401), false, kNow + 400);
        // A series is judged by its last occurrence, not by its first one's end.
        const QVariantMap series = repeating(meeting(kNow - 720 * kHour, kNow - 720 * kHour));
        row("series without last", series, false);
        row("series ended",
            with(series, u"last"_s, QVariantMap{{u"end"_s, double(kNow - 24 * kHour)}}), true);
        row("series goes on",
            with(series, u"last"_s, QVariantMap{{u"end"_s, double(kNow + 24 * kHour)}}), false);
        row("last is no record", with(series, u"last"_s, u"yesterday"_s), false);
        row("type NONE is single",
            repeating(meeting(kNow - 65 * kMinute, kNow - 5 * kMinute), u"NONE"_s), true);
    }

    void completion() {
        QFETCH(QVariantMap, record);
        QFETCH(qint64, now);
        QFETCH(bool, complete);
        QCOMPARE(MeetingRowPresentation::isMeetingComplete(record, now), complete);
    }

    void click_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<RowClick>("click");
        const QVariantMap coming = meeting(kNow + kHour, kNow + 2 * kHour);
        const QVariantMap past = meeting(kNow - 2 * kHour, kNow - kHour);
        const QString type = u"calendar_entry_type"_s;
        QTest::newRow("velora coming") << coming << RowClick::ToggleStrip;
        QTest::newRow("velora past") << past << RowClick::None;
        QTest::newRow("outlook coming") << with(coming, type, u"outlook"_s) << RowClick::JoinNow;
        QTest::newRow("ical coming") << with(coming, type, u"ical"_s) << RowClick::JoinNow;
        QTest::newRow("ical past") << with(past, type, u"ical"_s) << RowClick::None;
        QTest::newRow("unknown source") << with(coming, type, u"exchange"_s) << RowClick::None;
        QTest::newRow("no end") << with(coming, u"end"_s, QVariant()) << RowClick::None;
        // A draft opens its strip whatever else it lacks or says.
        QTest::newRow("draft") << with(with(past, u"end"_s, QVariant()), u"meetingDraftGuid"_s,
                                       u"d-1"_s)
                               << RowClick::ToggleStrip;
    }

    void click() {
        QFETCH(QVariantMap, record);
        QFETCH(RowClick, click);
        QCOMPARE(MeetingRowPresentation::clickAction(record, kNow), click);
    }

    void labelsBarsAndRecurrenceMark() {
        const auto present = [](const QVariantMap& r) {
            return MeetingRowPresentation::present(r, kNow, kBerlin);
        };
        const QVariantMap past = meeting(kNow - 2 * kHour, kNow - kHour);
        MeetingRowPresentation row = present(with(past, u"id"_s, 77));
        QCOMPARE(row.status, u"Completed"_s);
        QVERIFY(row.serviceMeeting && !row.draft && !row.recurring);

        // A draft says "Draft" even when its end has passed, and has no orange bar.
        row = present(with(past, u"meetingDraftGuid"_s, u"d-1"_s));
        QCOMPARE(row.status, u"Draft"_s);
        QVERIFY(row.draft && !row.serviceMeeting);

        // Recurrence mark for any type but "NONE"; no label for a meeting still to come.
        row = present(repeating(meeting(kNow + kHour, kNow + 2 * kHour)));
        QVERIFY(row.recurring && row.status.isEmpty());
        QVERIFY(!present(repeating(meeting(kNow + kHour, kNow + 2 * kHour), u"NONE"_s)).recurring);
        // No "end": no "Completed", however old.
        QVERIFY(
            present(with(meeting(ms(2001, 1, 1, 0, 0), 0), u"end"_s, QVariant())).status.isEmpty());
    }

    void serviceRecordsShowLikeTheirMaps() {
        // Rows of the service list read the reply's objects; they must show and act exactly as the
        // maps those objects stand for (whole numbers parsed as integers, times as text, a null or
        // finished series, an "end" that is no time).
        const QString replyText = QStringLiteral(R"([
            {"id": 1, "title": "Plain", "start": %1, "end": %2, "timezone": "Asia/Tokyo"},
            {"id": "2", "title": "Text times", "start": "%1", "end": " %2 "},
            {"id": 3, "title": null, "start": %1, "end": %3,
             "recurrencePattern": {"recurrenceType": "WEEKLY"}, "last": {"end": %3}},
            {"id": 4, "title": ["no", "text"], "start": %1, "end": "later",
             "recurrencePattern": null},
            {"title": "Series without last", "start": %3, "end": %3,
             "recurrencePattern": {"recurrenceType": "DAILY"}},
            {"meetingDraftGuid": "d-1", "start": %1, "end": %3, "calendar_entry_type": "ical"}
        ])")
                                      .arg(kNow + kHour)
                                      .arg(kNow + 2 * kHour)
                                      .arg(kNow - kHour);
        const QJsonArray reply = QJsonDocument::fromJson(replyText.toUtf8()).array();
        QCOMPARE(reply.size(), 6);
        QList<MeetingRowPresentation> shown;
        for (const QJsonValue& element : reply) {
            const MeetingRecord service = MeetingRecord::fromService(element.toObject());
            const MeetingRecord map(service.toVariantMap());
            const auto a = MeetingRowPresentation::present(service, kNow, kBerlin);
            const auto b = MeetingRowPresentation::present(map, kNow, kBerlin);
            const auto facts = [](const MeetingRowPresentation& r) {
                return QStringList{r.title, r.toolTip, r.timeSpan, r.status}.join(u'|') +
                       u"|%1%2%3%4"_s.arg(r.recurring)
                           .arg(r.serviceMeeting)
                           .arg(r.draft)
                           .arg(int(r.click));
            };
            QCOMPARE(facts(a), facts(b));
            QCOMPARE(MeetingRowPresentation::stripJoinAddress(service),
                     MeetingRowPresentation::stripJoinAddress(map));
            shown << a;
        }
        // Spot checks that the comparison above is about something.
        QCOMPARE(shown[1].timeSpan, u"3:00 PM - 4:00 PM CEST"_s);
        QCOMPARE(shown[2].status, u"Completed"_s);
        QCOMPARE(shown[2].click, RowClick::None);
        QVERIFY(shown[4].status.isEmpty());
        QCOMPARE(shown[5].status, u"Draft"_s);
        QCOMPARE(shown[0].click, RowClick::ToggleStrip);
    }

    void titlesStayOneBoundedLine() {
        const auto titled = [](const QVariant& title) {
            return MeetingRowPresentation::present(with(meeting(kNow, kNow), u"title"_s, title),
                                                   kNow, kBerlin);
        };
        QCOMPARE(titled(u"Line one\nline two\r\n\tend"_s).title, u"Line one line two   end"_s);

        // 10,000 characters: the row keeps a bounded prefix, the tooltip a longer one.
        MeetingRowPresentation row = titled(QString(10000, QLatin1Char('x')));
        QCOMPARE(row.title.size(), MeetingRowPresentation::kTitleLength + 1);
        QVERIFY(row.title.endsWith(QChar(0x2026)));
        QCOMPARE(row.toolTip.size(), MeetingRowPresentation::kToolTipLength + 1);

        // An emoji (two UTF-16 units) across the cut is dropped whole, never halved.
        row = titled(QString(MeetingRowPresentation::kTitleLength - 1, QLatin1Char('a')) +
                     u"\U0001F600tail"_s);
        QVERIFY(!row.title.at(row.title.size() - 2).isHighSurrogate());
        QVERIFY(row.title.isValidUtf16());

        // Right-to-left text passes untouched; a title that is no text shows as nothing.
        const QString hebrew = u"\u05E4\u05D2\u05D9\u05E9\u05D4 \U0001F389"_s;
        QCOMPARE(titled(hebrew).title, hebrew);
        QVERIFY(titled(QVariantList{1, 2}).title.isEmpty());
    }

    void joinAddresses() {
        const auto calendar = [](const QVariantMap& r) {
            return MeetingRowPresentation::calendarJoinAddress(r);
        };
        QVariantMap outlook{{u"numericMeetingId"_s, u"123456789"_s},
                            {u"meetingDomain"_s, u"eu.velora.example"_s},
                            {u"addAttendeePasscode"_s, true},
                            {u"attendeePasscode"_s, u"4321"_s}};
        QCOMPARE(calendar(outlook).toString(), u"https://eu.velora.example/123456789/4321"_s);
        // Without the passcode flag the address ends with a slash.
        outlook.insert(u"addAttendeePasscode"_s, false);
        QCOMPARE(calendar(outlook).toString(), u"https://eu.velora.example/123456789/"_s);
        // No domain, or one that is not a host name: the web domain.
        for (const QVariant& hostile :
             {QVariant(), QVariant(u"evil.example/velora.example"_s),
              QVariant(u"evil.example?x="_s), QVariant(u"user@evil.example"_s),
              QVariant(u"evil.example#"_s), QVariant(u"-evil.example"_s),
              QVariant(u"evil.example."_s), QVariant(u"evil.example:"_s),
              QVariant(u"evil.example:123456"_s), QVariant(u"evil.example:80:81"_s),
              QVariant(u"\u00e9vil.example"_s), QVariant(u"evil.example:\u0663"_s)})
            QCOMPARE(calendar(with(outlook, u"meetingDomain"_s, hostile)).host(),
                     u"velora.example"_s);
        // A port, a hyphen and one-letter labels are a host name all the same.
        const QUrl ported = calendar(with(outlook, u"meetingDomain"_s, u"eu-2.v.example:8443"_s));
        QCOMPARE(ported.host() + u':' + QString::number(ported.port()), u"eu-2.v.example:8443"_s);
        QCOMPARE(calendar(with(outlook, u"meetingDomain"_s, u"x"_s)).host(), u"x"_s);
        // An id cannot add path steps or a query.
        const QUrl odd = calendar(with(outlook, u"numericMeetingId"_s, u"1/../x?y"_s));
        QVERIFY(!odd.hasQuery());
        QCOMPARE(odd.path(QUrl::FullyEncoded), u"/1%2F..%2Fx%3Fy/"_s);

        // The strip joins with the web domain and the user's moderator passcode, whatever the
        // record's own domain and passcode say.
        const QVariantMap service{{u"numericMeetingId"_s, 987654321.0},
                                  {u"meetingDomain"_s, u"other.example"_s},
                                  {u"attendeePasscode"_s, u"1111"_s}};
        QCOMPARE(MeetingRowPresentation::stripJoinAddress(service).toString(),
                 u"https://velora.example/987654321/2468"_s);
        TamberDataModel::sharedData()->moderatorPasscode = QVariant();
        QCOMPARE(MeetingRowPresentation::stripJoinAddress(service).toString(),
                 u"https://velora.example/987654321/"_s);
        TamberDataModel::sharedData()->moderatorPasscode = u"2468"_s;
    }

    void dayHeaderAndEventIdentifier() {
        QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(2026, 12, 5)), u"Sat Dec 05, 2026"_s);
        QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(1969, 7, 20)), u"Sun Jul 20, 1969"_s);
        QVariantMap record{{u"numericMeetingId"_s, u"555"_s}, {u"meetingDraftGuid"_s, u"d-9"_s}};
        QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(u"555"_s));
        record.remove(u"numericMeetingId"_s);
        QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(u"d-9"_s));
    }
};

TAMBER_TEST_MAIN_CORE(tst_MeetingRowPresentation)
#include "tst_MeetingRowPresentation.moc"
