// A service meeting kept as its JSON object must read exactly like the map it used to be
// converted to: every key, presence, times, and the map handed on when it leaves the list.
#include "Models/MeetingRecord.h"
#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QObject>

namespace {

// Parsed from text, as the list reply is: whole numbers are JSON integers there.
QJsonObject reply(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

const char* const kService = R"({
    "id": 12, "numericMeetingId": "7305550001", "title": "Sync", "start": 1715245200000,
    "end": " 1715248800000 ", "nextStart": 1.7152452e12, "last": {"end": 1},
    "recurrencePattern": null, "attendees": [{"email": "a@example.com"}],
    "addAttendeePasscode": true, "calendar_entry_type": "outlook", "huge": 1e300,
    "negative": -1500, "fraction": 1.25, "text": "12abc", "empty": "", "bool": false,
    "big": 9007199254740993, "edge": 8640000000000000
})";

double ms(const MeetingRecord& record, const char* key) {
    return record.time(QString::fromLatin1(key)).value_or(qQNaN());
}

} // namespace

class tst_MeetingRecord : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void serviceRecordReadsLikeItsMap();
    void timesFromNumbersAndText();
};

void tst_MeetingRecord::serviceRecordReadsLikeItsMap() {
    const QJsonObject object = reply(kService);
    QVERIFY(!object.isEmpty());
    QVariantMap expected = object.toVariantMap();
    expected.insert(QStringLiteral("calendar_entry_type"), QStringLiteral("velora"));
    const MeetingRecord service = MeetingRecord::fromService(object);
    const MeetingRecord asMap(expected);
    QVERIFY(service.isService());
    QVERIFY(!asMap.isService());
    QCOMPARE(service.toVariantMap(), expected);

    QStringList keys = expected.keys();
    keys << QStringLiteral("meetingDraftGuid") << QStringLiteral("absent") << QString();
    for (const QString& key : std::as_const(keys)) {
        const QByteArray name = key.toUtf8();
        QCOMPARE(service.value(key), asMap.value(key));
        QVERIFY2(service.value(key).typeId() == asMap.value(key).typeId(), name);
        QVERIFY2(service.contains(key) == asMap.contains(key), name);
        QVERIFY2(service.has(key) == asMap.has(key), name);
        QVERIFY2(service.time(key) == asMap.time(key), name);
    }
    // A present null is there, but not usable.
    QVERIFY(service.contains(QStringLiteral("recurrencePattern")));
    QVERIFY(!service.has(QStringLiteral("recurrencePattern")));
    // The source is the list's, whatever the service said.
    QCOMPARE(service.value(QStringLiteral("calendar_entry_type")), QVariant("velora"));
    QVERIFY(MeetingRecord::fromService(QJsonObject()).has(QStringLiteral("calendar_entry_type")));
}

void tst_MeetingRecord::timesFromNumbersAndText() {
    const MeetingRecord r = MeetingRecord::fromService(reply(kService));
    QCOMPARE(ms(r, "start"), 1715245200000.0); // a JSON integer
    QCOMPARE(ms(r, "end"), 1715248800000.0);   // text, blanks trimmed
    QCOMPARE(ms(r, "nextStart"), 1.7152452e12);
    QCOMPARE(ms(r, "negative"), -1500.0);
    QCOMPARE(ms(r, "fraction"), 1.25);
    QCOMPARE(ms(r, "edge"), 8.64e15); // integer, at the end of the range

    for (const char* unusable : {"huge", "big", "text", "empty", "bool", "last", "attendees",
                                 "recurrencePattern", "title", "absent"})
        QVERIFY2(!r.time(QString::fromLatin1(unusable)), unusable);
    // The edge of the range of dates, on both sides.
    const MeetingRecord edge = MeetingRecord::fromService(
        reply(R"({"a": 8.64e15, "b": -8.64e15, "c": 8.640000000000001e15, "d": "-8.64e15"})"));
    QVERIFY(edge.time(QStringLiteral("a")));
    QVERIFY(edge.time(QStringLiteral("b")));
    QVERIFY(!edge.time(QStringLiteral("c")));
    QVERIFY(edge.time(QStringLiteral("d")));
    QVERIFY(!MeetingRecord::numericTime(QVariant(qQNaN())));
    QVERIFY(!MeetingRecord::numericTime(QVariant(qInf())));
}

TAMBER_TEST_MAIN_CORE(tst_MeetingRecord)
#include "tst_MeetingRecord.moc"
