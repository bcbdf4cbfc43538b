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

namespace {

const QTimeZone kBerlin("Europe/Berlin");

qint64 ms(int y, int mo, int d, int h, int mi, const QTimeZone& zone = QTimeZone::utc()) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), zone).toMSecsSinceEpoch();
}

QVariantMap meeting(qint64 start, qint64 end, const QString& type = QStringLiteral("velora")) {
    return {{QStringLiteral("title"), QStringLiteral("Design review")},
            {QStringLiteral("start"), double(start)},
            {QStringLiteral("end"), double(end)},
            {QStringLiteral("calendar_entry_type"), type}};
}

QVariantMap weekly(QVariantMap record) {
    record.insert(QStringLiteral("recurrencePattern"),
                  QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("WEEKLY")}});
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
    m->apiHost = QStringLiteral("api.velora.example");
    m->moderatorPasscode = QStringLiteral("2468");
}

void tst_MeetingRowPresentation::timesInLocalZoneWithAbbreviation() {
    // 13:00-14:00 UTC in July is 3:00-4:00 PM in Berlin (summer time).
    const QVariantMap summer = meeting(ms(2026, 7, 1, 13, 0), ms(2026, 7, 1, 14, 0));
    QCOMPARE(MeetingRowPresentation::timeSpanText(summer, kBerlin),
             QStringLiteral("3:00 PM - 4:00 PM CEST"));
    // The record's own zone does not move the times: the user's zone does.
    QVariantMap inNewYork = summer;
    inNewYork.insert(QStringLiteral("timezone"), QStringLiteral("America/New_York"));
    QCOMPARE(MeetingRowPresentation::timeSpanText(inNewYork, kBerlin),
             QStringLiteral("3:00 PM - 4:00 PM CEST"));
    QCOMPARE(MeetingRowPresentation::timeSpanText(inNewYork, QTimeZone("America/New_York")),
             QStringLiteral("9:00 AM - 10:00 AM EDT"));
    // Winter time and a span over midnight.
    const QVariantMap late = meeting(ms(2026, 1, 10, 22, 30), ms(2026, 1, 11, 0, 15));
    QCOMPARE(MeetingRowPresentation::timeSpanText(late, kBerlin),
             QStringLiteral("11:30 PM - 1:15 AM CET"));
    // Seconds are cut, not rounded: 59.999 s past 3:00 is still 3:00.
    QVariantMap cut = meeting(ms(2026, 7, 1, 13, 0) + 59999, ms(2026, 7, 1, 13, 59) + 59999);
    QCOMPARE(MeetingRowPresentation::timeSpanText(cut, kBerlin),
             QStringLiteral("3:00 PM - 3:59 PM CEST"));
    // Drafts carry their times as text.
    QVariantMap draft = summer;
    draft.insert(QStringLiteral("start"), QString::number(ms(2026, 7, 1, 13, 0)));
    draft.insert(QStringLiteral("end"), QString::number(ms(2026, 7, 1, 14, 0)));
    QCOMPARE(MeetingRowPresentation::timeSpanText(draft, kBerlin),
             QStringLiteral("3:00 PM - 4:00 PM CEST"));
}

void tst_MeetingRowPresentation::timesSurviveOddValues() {
    // Before 1970, after 2100, far out of range, no end, nonsense zones: text or nothing, and
    // never a crash.
    const QVariantMap old = meeting(ms(1901, 3, 4, 12, 0), ms(1901, 3, 4, 13, 0));
    QVERIFY(MeetingRowPresentation::timeSpanText(old, kBerlin).startsWith(QLatin1String("1:")));
    const QVariantMap future = meeting(ms(2150, 3, 4, 12, 0), ms(2150, 3, 4, 13, 0));
    QVERIFY(MeetingRowPresentation::timeSpanText(future, kBerlin).contains(QLatin1String(" - ")));
    QVariantMap absurd = meeting(0, 0);
    absurd.insert(QStringLiteral("start"), 1e300);
    QVERIFY(MeetingRowPresentation::timeSpanText(absurd, kBerlin).isEmpty());
    absurd.insert(QStringLiteral("start"), QStringLiteral("soon"));
    QVERIFY(MeetingRowPresentation::timeSpanText(absurd, kBerlin).isEmpty());
    QVariantMap open = meeting(ms(2026, 7, 1, 13, 0), 0);
    open.remove(QStringLiteral("end"));
    QCOMPARE(MeetingRowPresentation::timeSpanText(open, kBerlin), QStringLiteral("3:00 PM CEST"));
    QVariantMap badZone = meeting(ms(2026, 7, 1, 13, 0), ms(2026, 7, 1, 14, 0));
    for (const QVariant& zone : {QVariant(QStringLiteral("Mars/Olympus_Mons")),
                                 QVariant(QStringLiteral("../../etc/passwd")), QVariant(42),
                                 QVariant(QVariantMap{{QStringLiteral("x"), 1}})}) {
        badZone.insert(QStringLiteral("timezone"), zone);
        QCOMPARE(MeetingRowPresentation::timeSpanText(badZone, kBerlin),
                 QStringLiteral("3:00 PM - 4:00 PM CEST"));
    }
}

void tst_MeetingRowPresentation::seriesShowTheirNextOccurrence_data() {
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("span");
    // A weekly series at 9:00 New York time, first held in January (3:00 PM in Berlin); its
    // next occurrence falls between the American and the European clock change, so it is at
    // 2:00 PM in Berlin.
    QVariantMap january = weekly(meeting(ms(2026, 1, 5, 14, 0), ms(2026, 1, 5, 15, 0)));
    january.insert(QStringLiteral("timezone"), QStringLiteral("America/New_York"));
    QVariantMap next = january;
    next.insert(QStringLiteral("nextStart"), double(ms(2026, 3, 16, 13, 0)));
    next.insert(QStringLiteral("nextEnd"), double(ms(2026, 3, 16, 14, 0)));
    QTest::newRow("next occurrence") << next << "2:00 PM - 3:00 PM CET";
    QVariantMap noNextEnd = next;
    noNextEnd.remove(QStringLiteral("nextEnd"));
    QTest::newRow("next start, series' length") << noNextEnd << "2:00 PM - 3:00 PM CET";
    QTest::newRow("no next start: first one") << january << "3:00 PM - 4:00 PM CET";
    QVariantMap once = next;
    once.insert(QStringLiteral("recurrencePattern"),
                QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("NONE")}});
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
    series.insert(QStringLiteral("last"),
                  QVariantMap{{QStringLiteral("end"), double(now - 24 * 60 * minute)}});
    QVERIFY(MeetingRowPresentation::isMeetingComplete(series, now));
    series.insert(QStringLiteral("last"),
                  QVariantMap{{QStringLiteral("end"), double(now + 24 * 60 * minute)}});
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(series, now));
    // "last" that is not a dictionary never completes a series.
    series.insert(QStringLiteral("last"), QStringLiteral("yesterday"));
    QVERIFY(!MeetingRowPresentation::isMeetingComplete(series, now));
    // recurrenceType "NONE" is a single meeting.
    QVariantMap none = meeting(now - 65 * minute, now - 5 * minute);
    none.insert(QStringLiteral("recurrencePattern"),
                QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("NONE")}});
    QVERIFY(MeetingRowPresentation::isMeetingComplete(none, now));
}

void tst_MeetingRowPresentation::clickPerSourceAndState() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    const qint64 hour = 3600 * 1000;
    const QVariantMap coming = meeting(now + hour, now + 2 * hour);
    const QVariantMap past = meeting(now - 2 * hour, now - hour);
    auto typed = [](QVariantMap r, const QString& type) {
        r.insert(QStringLiteral("calendar_entry_type"), type);
        return r;
    };
    QCOMPARE(MeetingRowPresentation::clickAction(coming, now), RowClick::ToggleStrip);
    QCOMPARE(MeetingRowPresentation::clickAction(past, now), RowClick::None);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, QStringLiteral("outlook")), now),
             RowClick::JoinNow);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, QStringLiteral("ical")), now),
             RowClick::JoinNow);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(past, QStringLiteral("ical")), now),
             RowClick::None);
    QCOMPARE(MeetingRowPresentation::clickAction(typed(coming, QStringLiteral("exchange")), now),
             RowClick::None);
    QVariantMap noEnd = coming;
    noEnd.remove(QStringLiteral("end"));
    QCOMPARE(MeetingRowPresentation::clickAction(noEnd, now), RowClick::None);
    // A draft opens its strip whatever else it lacks or says.
    QVariantMap draft = past;
    draft.remove(QStringLiteral("end"));
    draft.insert(QStringLiteral("meetingDraftGuid"), QStringLiteral("d-1"));
    QCOMPARE(MeetingRowPresentation::clickAction(draft, now), RowClick::ToggleStrip);
}

void tst_MeetingRowPresentation::labelsBarsAndRecurrenceMark() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    const qint64 hour = 3600 * 1000;
    QVariantMap service = meeting(now - 2 * hour, now - hour);
    service.insert(QStringLiteral("id"), 77);
    MeetingRowPresentation row = MeetingRowPresentation::present(service, now, kBerlin);
    QCOMPARE(row.status, QStringLiteral("Completed"));
    QVERIFY(row.serviceMeeting);
    QVERIFY(!row.draft);
    QVERIFY(!row.recurring);
    QCOMPARE(row.click, RowClick::None);

    // A draft says "Draft" even when its end has passed, and has no orange bar.
    QVariantMap draft = meeting(now - 2 * hour, now - hour);
    draft.insert(QStringLiteral("meetingDraftGuid"), QStringLiteral("d-1"));
    row = MeetingRowPresentation::present(draft, now, kBerlin);
    QCOMPARE(row.status, QStringLiteral("Draft"));
    QVERIFY(row.draft);
    QVERIFY(!row.serviceMeeting);

    // Recurrence mark for any type but "NONE"; no label for a meeting still to come.
    row =
        MeetingRowPresentation::present(weekly(meeting(now + hour, now + 2 * hour)), now, kBerlin);
    QVERIFY(row.recurring);
    QVERIFY(row.status.isEmpty());
    QVariantMap none = meeting(now + hour, now + 2 * hour);
    none.insert(QStringLiteral("recurrencePattern"),
                QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("NONE")}});
    QVERIFY(!MeetingRowPresentation::present(none, now, kBerlin).recurring);
    // No "end": no "Completed", however old.
    QVariantMap noEnd = meeting(ms(2001, 1, 1, 0, 0), 0);
    noEnd.remove(QStringLiteral("end"));
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
    QCOMPARE(shown(1).timeSpan, QStringLiteral("3:00 PM - 4:00 PM CEST"));
    QCOMPARE(shown(2).status, QStringLiteral("Completed"));
    QCOMPARE(shown(2).click, RowClick::None);
    QVERIFY(shown(4).status.isEmpty());
    QCOMPARE(shown(5).status, QStringLiteral("Draft"));
    QCOMPARE(shown(0).click, RowClick::ToggleStrip);
}

void tst_MeetingRowPresentation::titlesStayOneBoundedLine() {
    const qint64 now = ms(2026, 5, 20, 12, 0);
    QVariantMap record = meeting(now, now);
    record.insert(QStringLiteral("title"), QStringLiteral("Line one\nline two\r\n\tend"));
    MeetingRowPresentation row = MeetingRowPresentation::present(record, now, kBerlin);
    QCOMPARE(row.title, QStringLiteral("Line one line two   end"));

    // 10,000 characters: the row keeps a bounded prefix, the tooltip a longer one.
    const QString huge(10000, QLatin1Char('x'));
    record.insert(QStringLiteral("title"), huge);
    row = MeetingRowPresentation::present(record, now, kBerlin);
    QCOMPARE(row.title.size(), MeetingRowPresentation::kTitleLength + 1);
    QVERIFY(row.title.endsWith(QChar(0x2026)));
    QCOMPARE(row.toolTip.size(), MeetingRowPresentation::kToolTipLength + 1);

    // An emoji (two UTF-16 units) across the cut is dropped whole, never halved.
    QString emoji = QString(MeetingRowPresentation::kTitleLength - 1, QLatin1Char('a'));
    emoji += QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("tail");
    record.insert(QStringLiteral("title"), emoji);
    row = MeetingRowPresentation::present(record, now, kBerlin);
    QVERIFY(!row.title.at(row.title.size() - 2).isHighSurrogate());
    QVERIFY(row.title.isValidUtf16());

    // Right-to-left text passes untouched; a title that is no text shows as its value.
    const QString hebrew =
        QString::fromUtf8("\xD7\xA4\xD7\x92\xD7\x99\xD7\xA9\xD7\x94 \xF0\x9F\x8E\x89");
    record.insert(QStringLiteral("title"), hebrew);
    QCOMPARE(MeetingRowPresentation::present(record, now, kBerlin).title, hebrew);
    record.insert(QStringLiteral("title"), QVariantList{1, 2});
    QVERIFY(MeetingRowPresentation::present(record, now, kBerlin).title.isEmpty());
}

void tst_MeetingRowPresentation::joinAddresses() {
    QVariantMap outlook{{QStringLiteral("numericMeetingId"), QStringLiteral("123456789")},
                        {QStringLiteral("meetingDomain"), QStringLiteral("eu.velora.example")},
                        {QStringLiteral("addAttendeePasscode"), true},
                        {QStringLiteral("attendeePasscode"), QStringLiteral("4321")}};
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).toString(),
             QStringLiteral("https://eu.velora.example/123456789/4321"));
    // Without the passcode flag the address ends with a slash.
    outlook.insert(QStringLiteral("addAttendeePasscode"), false);
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).toString(),
             QStringLiteral("https://eu.velora.example/123456789/"));
    // No domain, or one that is not a host name: the web domain.
    outlook.remove(QStringLiteral("meetingDomain"));
    QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).host(),
             QStringLiteral("velora.example"));
    for (const QString& hostile :
         {QStringLiteral("evil.example/velora.example"), QStringLiteral("evil.example?x="),
          QStringLiteral("user@evil.example"), QStringLiteral("evil.example#")}) {
        outlook.insert(QStringLiteral("meetingDomain"), hostile);
        QCOMPARE(MeetingRowPresentation::calendarJoinAddress(outlook).host(),
                 QStringLiteral("velora.example"));
    }
    // An id cannot add path steps or a query.
    outlook.insert(QStringLiteral("numericMeetingId"), QStringLiteral("1/../x?y"));
    const QUrl odd = MeetingRowPresentation::calendarJoinAddress(outlook);
    QVERIFY(!odd.hasQuery());
    QCOMPARE(odd.path(QUrl::FullyEncoded), QStringLiteral("/1%2F..%2Fx%3Fy/"));

    // The strip joins with the web domain and the user's moderator passcode, whatever the
    // record's own domain and passcode say.
    const QVariantMap service{{QStringLiteral("numericMeetingId"), 987654321.0},
                              {QStringLiteral("meetingDomain"), QStringLiteral("other.example")},
                              {QStringLiteral("attendeePasscode"), QStringLiteral("1111")}};
    QCOMPARE(MeetingRowPresentation::stripJoinAddress(service).toString(),
             QStringLiteral("https://velora.example/987654321/2468"));
    TamberDataModel::sharedData()->moderatorPasscode = QVariant();
    QCOMPARE(MeetingRowPresentation::stripJoinAddress(service).toString(),
             QStringLiteral("https://velora.example/987654321/"));
    TamberDataModel::sharedData()->moderatorPasscode = QStringLiteral("2468");
}

void tst_MeetingRowPresentation::dayHeaderAndEventIdentifier() {
    QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(2026, 12, 5)),
             QStringLiteral("Sat Dec 05, 2026"));
    QCOMPARE(MeetingRowPresentation::dayHeaderText(QDate(1969, 7, 20)),
             QStringLiteral("Sun Jul 20, 1969"));
    QVariantMap record{{QStringLiteral("numericMeetingId"), QStringLiteral("555")},
                       {QStringLiteral("meetingDraftGuid"), QStringLiteral("d-9")}};
    QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(QStringLiteral("555")));
    record.remove(QStringLiteral("numericMeetingId"));
    QCOMPARE(MeetingRowPresentation::eventMeetingId(record), QVariant(QStringLiteral("d-9")));
}

TAMBER_TEST_MAIN_CORE(tst_MeetingRowPresentation)
#include "tst_MeetingRowPresentation.moc"
