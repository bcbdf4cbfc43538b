#include "Menu/UpcomingMeetings/MeetingRowPresentation.h"
#include "Models/TamberDataModel.h"
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

qint64 ms(int y, int mo, int d, int h, int mi, const QTimeZone& zone = QTimeZone::utc()) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), zone).toMSecsSinceEpoch();
}

QVariantMap meeting(qint64 start, qint64 end, const QString& type = u"velora"_s) {
    return {{u"title"_s, u"Design review"_s},
            {u"start"_s, double(start)},
            {u"end"_s, double(end)},
            {u"calendar_entry_type"_s, type}};
}

QVariantMap weekly(QVariantMap record) {
    record.insert(u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"WEEKLY"_s}});
    return record;
}

} // namespace

// What a meeting row shows and does, worked out from the record alone.
class tst_MeetingRowPresentation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void timesInLocalZoneWithAbbreviation();
    void timesSurviveOddValues();
    void seriesShowTheirNextOccurrence_data();
    void seriesShowTheirNextOccurrence();
    void completionOfSingleMeetingsAndSeries();
    void clickPerSourceAndState();
    void labelsBarsAndRecurrenceMark();
    void serviceRecordsShowLikeTheirMaps();
    void titlesStayOneBoundedLine();
    void joinAddresses();
    void dayHeaderAndEventIdentifier();
};

void tst_MeetingRowPresentation::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TamberDataModel::resetForTesting();
    TamberDataModel* m = TamberDataModel::sharedData();
    m->apiHost = u"api.velora.example"_s;
    m->moderatorPasscode = u"2468"_s;
}

void tst_MeetingRowPresentation::timesInLocalZoneWithAbbreviation() {
    // 13:00-14:00 UTC in July is 3:00-4:00 PM in Berlin (summer time).
    const QVariantMap summer = meeting(ms(2026, 7, 1, 13, 0), ms(2026, 7, 1, 14, 0));
    QCOMPARE(MeetingRowPresentation::timeSpanText(summer, kBerlin), u"3:00 PM - 4:00 PM CEST"_s);
    // The record's own zone does not move the times: the user's zone does.
    QVariantMap inNewYork = summer;
    inNewYork.insert(u"timezone"_s, u"America/New_York"_s);
    QCOMPARE(MeetingRowPresentation::timeSpanText(inNewYork, kBerlin), u"3:00 PM - 4:00 PM CEST"_s);
    QCOMPARE(MeetingRowPresentation::timeSpanText(inNewYork, QTimeZone("America/New_York")),
             u"9:00 AM - 10:00 AM EDT"_s);
    // Winter time and a span over midnight.
    const QVariantMap late = meeting(ms(2026, 1, 10, 22, 30), ms(2026, 1, 11, 0, 15));
    QCOMPARE(MeetingRowPresentation::timeSpanText(late, kBerlin), u"11:30 PM - 1:15 AM CET"_s);
    // Seconds are cut, not rounded: 59.999 s past 3:00 is still 3:00.
    QVariantMap cut = meeting(ms(2026, 7, 1, 13, 0) + 59999, ms(2026, 7, 1, 13, 59) + 59999);
    QCOMPARE(MeetingRowPresentation::timeSpanText(cut, kBerlin), u"3:00 PM - 3:59 PM CEST"_s);
    // Drafts carry their times as text.
    QVariantMap draft = summer;
    draft.insert(u"start"_s, QString::number(ms(2026, 7, 1, 13, 0)));
    draft.insert(u"end"_s, QString::number(ms(2026, 7, 1, 14, 0)));
    QCOMPARE(MeetingRowPresentation::timeSpanText(draft, kBerlin), u"3:00 PM - 4:00 PM CEST"_s);
}

void tst_MeetingRowPresentation::timesSurviveOddValues() {
    // Before 1970, after 2100, far out of range, no end, nonsense zones: text or nothing, and
    // never a crash.
    const QVariantMap old = meeting(ms(1901, 3, 4, 12, 0), ms(1901, 3, 4, 13, 0));
    QVERIFY(MeetingRowPresentation::timeSpanText(old, kBerlin).startsWith(QLatin1String("1:")));
    const QVariantMap future = meeting(ms(2150, 3, 4, 12, 0), ms(2150, 3, 4, 13, 0));
    QVERIFY(MeetingRowPresentation::timeSpanText(future, kBerlin).contains(QLatin1String(" - ")));
    QVariantMap absurd = meeting(0, 0);
    absurd.insert(u"start"_s, 1e300);
    QVERIFY(MeetingRowPresentation::timeSpanText(absurd, kBerlin).isEmpty());
    absurd.insert(u"start"_s, u"soon"_s);
    QVERIFY(MeetingRowPresentation::timeSpanText(absurd, kBerlin).isEmpty());
    QVariantMap open = meeting(ms(2026, 7, 1, 13, 0), 0);
    open.remove(u"end"_s);
    QCOMPARE(MeetingRowPresentation::timeSpanText(open, kBerlin), u"3:00 PM CEST"_s);
    QVariantMap badZone = meeting(ms(2026, 7, 1, 13, 0), ms(2026, 7, 1, 14, 0));
    for (const QVariant& zone : {QVariant(u"Mars/Olympus_Mons"_s), QVariant(u"../../etc/passwd"_s),
                                 QVariant(42), QVariant(QVariantMap{{u"x"_s, 1}})}) {
        badZone.insert(u"timezone"_s, zone);
        QCOMPARE(MeetingRowPresentation::timeSpanText(badZone, kBerlin),
                 u"3:00 PM - 4:00 PM CEST"_s);
    }
}

void tst_MeetingRowPresentation::seriesShowTheirNextOccurrence_data() {
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("span");
    // A weekly series at 9:00 New York time, first held in January (3:00 PM in Berlin); its
    // next occurrence falls between the American and the European clock change, so it is at
    // 2:00 PM in Berlin.
    QVariantMap january = weekly(meeting(ms(2026, 1, 5, 14, 0), ms(2026, 1, 5, 15, 0)));
    january.insert(u"timezone"_s, u"America/New_York"_s);
    QVariantMap next = january;
    next.insert(u"nextStart"_s, double(ms(2026, 3, 16, 13, 0)));
    next.insert(u"nextEnd"_s, double(ms(2026, 3, 16, 14, 0)));
    QTest::newRow("next occurrence") << next << "2:00 PM - 3:00 PM CET";
    QVariantMap noNextEnd = next;
    noNextEnd.remove(u"nextEnd"_s);
    QTest::newRow("next start, series' length") << noNextEnd << "2:00 PM - 3:00 PM CET";
    QTest::newRow("no next start: first one") << january << "3:00 PM - 4:00 PM CET";
    QVariantMap once = next;
    once.insert(u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"NONE"_s}});
    QTest::newRow("does not repeat") << once << "3:00 PM - 4:00 PM CET";
}

void tst_MeetingRowPresentation::seriesShowTheirNextOccurrence() {
    QFETCH(QVariantMap, record);
    QFETCH(QString, span);
    QCOMPARE(MeetingRowPresentation::timeSpanText(record, kBerlin), span);
    // A service record (JSON) shows the same.
    const MeetingRecord service = MeetingRecord::fromService(QJsonObject::fromVariantMap(record));
    QCOMPARE(MeetingRowPresentation::timeSpanText(service, kBerlin), span);
}

void tst_MeetingRowPresentation::completionOfSingleMeetingsAndSeries() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    const qint64 minute = 60 * 1000;
    // A single meeting that ended five minutes ago is complete; one ending now is not.
    QVERIFY(MeetingRowPresentation::isMeetingComplete(meeting(now - 65 * minute, now - 5 * minute),
                                                      now));
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(meeting(now - 60 * minute, now), now));
    // "now" keeps its milliseconds: 400 ms after the end the meeting is over.
    QVERIFY(MeetingRowPresentation::isMeetingComplete(meeting(now - minute, now), now + 400));
    QVERIFY(
        !MeetingRowPresentation::isMeetingComplete(meeting(now - minute, now + 401), now + 400));
    // A series is judged by its last occurrence, not by its first one's end.
    QVariantMap series = weekly(meeting(now - 30 * 24 * 60 * minute, now - 30 * 24 * 60 * minute));
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(series, now));
    series.insert(u"last"_s, QVariantMap{{u"end"_s, double(now - 24 * 60 * minute)}});
    QVERIFY(MeetingRowPresentation::isMeetingComplete(series, now));
    series.insert(u"last"_s, QVariantMap{{u"end"_s, double(now + 24 * 60 * minute)}});
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(series, now));
    // "last" that is not a dictionary never completes a series.
    series.insert(u"last"_s, u"yesterday"_s);
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(series, now));
    // recurrenceType "NONE" is a single meeting.
    QVariantMap none = meeting(now - 65 * minute, now - 5 * minute);
    none.insert(u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"NONE"_s}});
    QVERIFY(MeetingRowPresentation::isMeetingComplete(none, now));
}

void tst_MeetingRowPresentation::clickPerSourceAndState() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    const qint64 hour = 3600 * 1000;
    const QVariantMap coming = meeting(now + hour, now + 2 * hour);
    const QVariantMap past = meeting(now - 2 * hour, now - hour);
    auto typed = [](QVariantMap r, const QString& type) {
        r.insert(u"calendar_entry_type"_s, type);
        return r;
    };
    QCOMPARE(MeetingRowPresentation::clickAction(coming, now), RowClick::ToggleStrip);
    QCOMPARE(MeetingRowPresentation::clickAction(past, now), RowClick::None);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, u"outlook"_s), now),
             RowClick::JoinNow);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, u"ical"_s), now), RowClick::JoinNow);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(past, u"ical"_s), now), RowClick::None);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, u"exchange"_s), now),
             RowClick::None);
    QVariantMap noEnd = coming;
    noEnd.remove(u"end"_s);
    QCOMPARE(MeetingRowPresentation::clickAction(noEnd, now), RowClick::None);
    // A draft opens its strip whatever else it lacks or says.
    QVariantMap draft = past;
    draft.remove(u"end"_s);
    draft.insert(u"meetingDraftGuid"_s, u"d-1"_s);
    QCOMPARE(MeetingRowPresentation::clickAction(draft, now), RowClick::ToggleStrip);
}

void tst_MeetingRowPresentation::labelsBarsAndRecurrenceMark() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    const qint64 hour = 3600 * 1000;
    QVariantMap service = meeting(now - 2 * hour, now - hour);
    service.insert(u"id"_s, 77);
    MeetingRowPresentation row = MeetingRowPresentation::present(service, now, kBerlin);
    QCOMPARE(row.status, u"Completed"_s);
    QVERIFY(row.serviceMeeting);
    QVERIFY(!row.draft);
    QVERIFY(!row.recurring);
    QCOMPARE(row.click, RowClick::None);

    // A draft says "Draft" even when its end has passed, and has no orange bar.
    QVariantMap draft = meeting(now - 2 * hour, now - hour);
    draft.insert(u"meetingDraftGuid"_s, u"d-1"_s);
    row = MeetingRowPresentation::present(draft, now, kBerlin);
    QCOMPARE(row.status, u"Draft"_s);
    QVERIFY(row.draft);
    QVERIFY(!row.serviceMeeting);

    // Recurrence mark for any type but "NONE"; no label for a meeting still to come.
    row =
        MeetingRowPresentation::present(weekly(meeting(now + hour, now + 2 * hour)), now, kBerlin);
    QVERIFY(row.recurring);
    QVERIFY(row.status.isEmpty());
    QVariantMap none = meeting(now + hour, now + 2 * hour);
    none.insert(u"recurrencePattern"_s, QVariantMap{{u"recurrenceType"_s, u"NONE"_s}});
    QVERIFY(!MeetingRowPresentation::present(none, now, kBerlin).recurring);
    // No "end": no "Completed", however old.
    QVariantMap noEnd = meeting(ms(2001, 1, 1, 0, 0), 0);
    noEnd.remove(u"end"_s);
    QVERIFY(MeetingRowPresentation::present(noEnd, now, kBerlin).status.isEmpty());
}

void tst_MeetingRowPresentation::serviceRecordsShowLikeTheirMaps() {
    // Rows of the service list read the reply's objects; they must show and act exactly as the
    // maps those objects stand for (whole numbers parsed as integers, times as text, a null or
    // finished series, an "end" that is no time).
    const qint64 now = ms(2026, 5, 20, 12, 0);
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
                                  .arg(now + 3600000)
                                  .arg(now + 7200000)
                                  .arg(now - 3600000);
    const QJsonArray reply = QJsonDocument::fromJson(replyText.toUtf8()).array();
    QCOMPARE(reply.size(), 6);
    for (const QJsonValue& element : reply) {
        const MeetingRecord service = MeetingRecord::fromService(element.toObject());
        const MeetingRecord map(service.toVariantMap());
        const MeetingRowPresentation a = MeetingRowPresentation::present(service, now, kBerlin);
        const MeetingRowPresentation b = MeetingRowPresentation::present(map, now, kBerlin);
        const QByteArray title = a.title.toUtf8();
        QCOMPARE(a.title, b.title);
        QCOMPARE(a.toolTip, b.toolTip);
        QCOMPARE(a.timeSpan, b.timeSpan);
        QCOMPARE(a.status, b.status);
        QVERIFY2(a.recurring == b.recurring, title);
        QVERIFY2(a.serviceMeeting == b.serviceMeeting, title);
        QVERIFY2(a.draft == b.draft, title);
        QVERIFY2(a.click == b.click, title);
        QCOMPARE(MeetingRowPresentation::stripJoinAddress(service),
                 MeetingRowPresentation::stripJoinAddress(map));
    }
    // Spot checks that the comparison above is about something.
    const auto shown = [&](int i) {
        return MeetingRowPresentation::present(MeetingRecord::fromService(reply[i].toObject()), now,
                                               kBerlin);
    };
    QCOMPARE(shown(1).timeSpan, u"3:00 PM - 4:00 PM CEST"_s);
    QCOMPARE(shown(2).status, u"Completed"_s);
    QCOMPARE(shown(2).click, RowClick::None);
    QVERIFY(shown(4).status.isEmpty());
    QCOMPARE(shown(5).status, u"Draft"_s);
    QCOMPARE(shown(0).click, RowClick::ToggleStrip);
}

void tst_MeetingRowPresentation::titlesStayOneBoundedLine() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    QVariantMap record = meeting(now, now);
    record.insert(u"title"_s, u"Line one\nline two\r\n\tend"_s);
    MeetingRowPresentation row = MeetingRowPresentation::present(record, now, kBerlin);
    QCOMPARE(row.title, u"Line one line two   end"_s);

    // 10,000 characters: the row keeps a bounded prefix, the tooltip a longer one.
    const QString huge(10000, QLatin1Char('x'));
    record.insert(u"title"_s, huge);
    row = MeetingRowPresentation::present(record, now, kBerlin);
    QCOMPARE(row.title.size(), MeetingRowPresentation::kTitleLength + 1);
    QVERIFY(row.title.endsWith(QChar(0x2026)));
    QCOMPARE(row.toolTip.size(), MeetingRowPresentation::kToolTipLength + 1);

    // An emoji (two UTF-16 units) across the cut is dropped whole, never halved.
    QString emoji = QString(MeetingRowPresentation::kTitleLength - 1, QLatin1Char('a'));
    emoji += QString::fromUtf8("\xF0\x9F\x98\x80") + u"tail"_s;
    record.insert(u"title"_s, emoji);
    row = MeetingRowPresentation::present(record, now, kBerlin);
    QVERIFY(!row.title.at(row.title.size() - 2).isHighSurrogate());
    QVERIFY(row.title.isValidUtf16());

    // Right-to-left text passes untouched; a title that is no text shows as its value.
    const QString hebrew =
        QString::fromUtf8("\xD7\xA4\xD7\x92\xD7\x99\xD7\xA9\xD7\x94 \xF0\x9F\x8E\x89");
    record.insert(u"title"_s, hebrew);
    QCOMPARE(MeetingRowPresentation::present(record, now, kBerlin).title, hebrew);
    record.insert(u"title"_s, QVariantList{1, 2});
    QVERIFY(MeetingRowPresentation::present(record, now, kBerlin).title.isEmpty());
}

void tst_MeetingRowPresentation::joinAddresses() {
    QVariantMap outlook{{u"numericMeetingId"_s, u"123456789"_s},
                        {u"meetingDomain"_s, u"eu.velora.example"_s},
                        {u"addAttendeePasscode"_s, true},
                        {u"attendeePasscode"_s, u"4321"_s}};
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).toString(),
             u"https://eu.velora.example/123456789/4321"_s);
    // Without the passcode flag the address ends with a slash.
    outlook.insert(u"addAttendeePasscode"_s, false);
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).toString(),
             u"https://eu.velora.example/123456789/"_s);
    // No domain, or one that is not a host name: the web domain.
    outlook.remove(u"meetingDomain"_s);
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).host(), u"velora.example"_s);
    for (const QString& hostile : {u"evil.example/velora.example"_s, u"evil.example?x="_s,
                                   u"user@evil.example"_s, u"evil.example#"_s}) {
        outlook.insert(u"meetingDomain"_s, hostile);
        QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).host(), u"velora.example"_s);
    }
    // An id cannot add path steps or a query.
    outlook.insert(u"numericMeetingId"_s, u"1/../x?y"_s);
    const QUrl odd = MeetingRowPresentation::calendarJoinAddress(outlook);
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

void tst_MeetingRowPresentation::dayHeaderAndEventIdentifier() {
    QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(2026, 12, 5)), u"Sat Dec 05, 2026"_s);
    QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(1969, 7, 20)), u"Sun Jul 20, 1969"_s);
    QVariantMap record{{u"numericMeetingId"_s, u"555"_s}, {u"meetingDraftGuid"_s, u"d-9"_s}};
    QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(u"555"_s));
    record.remove(u"numericMeetingId"_s);
    QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(u"d-9"_s));
}

TAMBER_TEST_MAIN_CORE(tst_MeetingRowPresentation)
#include "tst_MeetingRowPresentation.moc"
