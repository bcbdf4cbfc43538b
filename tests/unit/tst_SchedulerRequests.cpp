#include "Models/TamberDataModel.h"
#include "Scheduler/AdvancedMeetingOptions.h"
#include "Scheduler/CustomTokenField.h"
#include "Scheduler/MeetingRequestBuilder.h"
#include "Scheduler/SchedulerTimes.h"
#include "Scheduler/SchedulerValidation.h"
#include "Scheduler/TimeZoneItems.h"

#include <QJsonArray>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

QDateTime wall(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    t.setTimeZone(QTimeZone::utc());
    return t;
}

QStringList addresses(int count, const QString& domain = u"example.com"_s) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << u"person%1@%2"_s.arg(i).arg(domain);
    return list;
}

} // namespace

class tst_SchedulerRequests : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestBody_data() {
        QTest::addColumn<int>("repetition");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("publish");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("attendeeText");
        QTest::addColumn<QStringList>("patternKeys");
        QTest::addColumn<QString>("expectedTitle");

        const QStringList none{"daysOfWeekMask",  "frequency",      "monthOfYear",
                               "recurrenceCount", "recurrenceType", "weekOfMonth"};
        const QStringList series{"daysOfWeekMask", "frequency", "recurrenceType"};
        QTest::newRow("one-off, options never loaded") << 0 << 0 << -1 << "Budget"
                                                       << "" << none << "Budget";
        QTest::newRow("weekly Monday+Wednesday, options loaded")
            << 2 << 10 << 1 << "Budget"
            << " a@example.com,\tb@example.org " << series << "Budget";
        QTest::newRow("daily, empty title uses the placeholder")
            << 1 << 0 << 0 << ""
            << "a@example.com" << series << "Ada's meeting";
    }

    void requestBody() {
        QFETCH(int, repetition);
        QFETCH(int, mask);
        QFETCH(int, publish);
        QFETCH(QString, title);
        QFETCH(QString, attendeeText);
        QFETCH(QStringList, patternKeys);
        QFETCH(QString, expectedTitle);

        SchedulerForm form;
        form.title = title;
        form.titlePlaceholder = u"Ada's meeting"_s;
        form.timeZone = u"Europe/Berlin"_s;
        form.startMs = 1790000000123; // the fraction of a second is dropped
        form.endMs = form.startMs + 3600000;
        form.repetition = repetition;
        form.repetitionType = QStringList{"DOES NOT REPEAT", "DAILY", "WEEKLY"}[repetition];
        form.daysOfWeekMask = mask;
        form.attendees = SchedulerValidation::checkAttendees(attendeeText).emails;
        form.intermediatePublishMeeting = publish;
        form.options.isLargeMeeting = true;
        form.options.encrypt = true;
        form.options.telephoneColumn = 0;

        const QJsonObject body = MeetingRequestBuilder::body(form, u"2.3.0"_s);
        QCOMPARE(body["start"].toString(), u"1790000000000"_s);
        QCOMPARE(body["end"].toString(), u"1790003600000"_s);
        QCOMPARE(body["title"].toString(), expectedTitle);
        QCOMPARE(body["endPointVersion"].toString(), u"2.3.0"_s);
        QCOMPARE(body["endPointType"].toString(), u"Tamber"_s);
        QCOMPARE(body["isLargeMeeting"], QJsonValue(true));

        const QJsonObject pattern = body["recurrencePattern"].toObject();
        QCOMPARE(pattern.keys(), patternKeys);
        if (repetition == 0) {
            QCOMPARE(pattern["recurrenceType"].toString(), u"NONE"_s);
        } else {
            QCOMPARE(pattern["recurrenceType"].toString(), form.repetitionType);
            QCOMPARE(pattern["daysOfWeekMask"].toInt(), mask);
            QCOMPARE(pattern["frequency"].toInt(), 1);
        }

        QCOMPARE(body.contains("advancedMeetingOptions"), publish != -1);
        if (publish != -1) {
            const QJsonObject options = body["advancedMeetingOptions"].toObject();
            QCOMPARE(options["publishMeeting"], QJsonValue(publish));
            QCOMPARE(options["encryptionType"].toString(), u"ENCRYPTED_OR_PSTN_ONLY"_s);
            QVERIFY(!options.contains("isLargeMeeting"));
        }

        QCOMPARE(body.contains("attendees"), !attendeeText.isEmpty());
        QStringList sent;
        for (const QJsonValue& a : body["attendees"].toArray())
            sent << a["email"].toString();
        QCOMPARE(sent, form.attendees);
        for (const QString& address : sent)
            QCOMPARE(address, address.trimmed());
    }

    void saveChecks_data() {
        QTest::addColumn<QString>("attendees");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("error");

        const QString tooMany = u"Maximum 100 attendees are allowed per meeting."_s;
        const QString invalid = u"Invalid email address found"_s;
        const auto row = [](const char* name, const QString& attendees, const QString& notes,
                            const QString& error) {
            QTest::newRow(name) << attendees << notes << error;
        };
        row("100 attendees", addresses(100).join(','), {}, {});
        // Refused before any address is looked at.
        row("101 attendees", (addresses(100) << u"nonsense"_s).join(','), {}, tooMany);
        row("two-letter TLD", u"a@example.de"_s, {}, {});
        row("long TLDs", u"a@art.museum, b@x.company"_s, {}, {});
        row("one-letter TLD", u"a@example.c"_s, {}, invalid);
        row("trailing comma", u"a@example.com,"_s, {}, invalid);
        row("empty part", u"a@example.com,,b@example.com"_s, {}, invalid);
        row("blank inside", u"a b@example.com"_s, {}, invalid);
        row("notes 1000", {}, QString(1000, QChar(u'n')), {});
        row("notes 1001 counted in UTF-16", {}, QString(999, QChar(u'n')) + u"\U0001F600"_s,
            u"Notes can be at most 1000 characters (has 1001)."_s);
    }

    void saveChecks() {
        QFETCH(QString, attendees);
        QFETCH(QString, notes);
        QFETCH(QString, error);
        const auto checked = SchedulerValidation::checkAttendees(attendees);
        const QString found = !checked.error.isEmpty()
                                  ? checked.error
                                  : SchedulerValidation::checkNotes(notes).value_or(QString());
        QCOMPARE(found, error);
        if (error.isEmpty() && !attendees.isEmpty())
            QCOMPARE(checked.emails.size(), attendees.count(',') + 1);
    }

    void wallClocksAcrossDaylightSaving_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("wallText");
        QTest::addColumn<QString>("utcText");
        QTest::addColumn<bool>("inGap");
        QTest::addColumn<QString>("shownAs");

        // Summer and winter meetings of zones with and without daylight saving; the instant does
        // not depend on the offset in effect today.
        const auto row = [](const char* name, const char* zone, const char* wall, const char* utc,
                            bool inGap, const char* shownAs) {
            QTest::newRow(name) << QByteArray(zone) << QString::fromLatin1(wall)
                                << QString::fromLatin1(utc) << inGap
                                << QString::fromLatin1(shownAs);
        };
        const char* berlin = "Europe/Berlin";
        const char* newYork = "America/New_York";
        row("Berlin summer", berlin, "2026-07-01T10:00", "2026-07-01T08:00", false,
            "2026-07-01T10:00");
        row("Berlin winter", berlin, "2026-12-01T10:00", "2026-12-01T09:00", false,
            "2026-12-01T10:00");
        row("New York summer", newYork, "2026-07-01T10:00", "2026-07-01T14:00", false,
            "2026-07-01T10:00");
        row("Kolkata half hour", "Asia/Kolkata", "2026-07-01T10:00", "2026-07-01T04:30", false,
            "2026-07-01T10:00");
        row("Berlin spring-forward gap", berlin, "2026-03-29T02:30", "2026-03-29T01:30", true,
            "2026-03-29T03:30");
        row("Berlin repeated hour: first", berlin, "2026-10-25T02:30", "2026-10-25T00:30", false,
            "2026-10-25T02:30");
        row("New York repeated hour: first", newYork, "2026-11-01T01:30", "2026-11-01T05:30", false,
            "2026-11-01T01:30");
    }

    void wallClocksAcrossDaylightSaving() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, wallText);
        QFETCH(QString, utcText);
        QFETCH(bool, inGap);
        QFETCH(QString, shownAs);
        const auto result = SchedulerTimes::instantOf(wall(wallText), QTimeZone(zone));
        QCOMPARE(result.ms, wall(utcText).toMSecsSinceEpoch());
        QCOMPARE(result.inGap, inGap);
        QCOMPARE(result.shownAs, wall(shownAs));
        if (!inGap)
            QCOMPARE(SchedulerTimes::wallClock(result.ms, QTimeZone(zone)), wall(wallText));
        // An hour-long meeting stays an hour long across the change.
        const QDateTime end = SchedulerTimes::addSeconds(wall(wallText), 3600, QTimeZone(zone));
        QCOMPARE(SchedulerTimes::instantOf(end, QTimeZone(zone), result.ms).ms - result.ms,
                 3600000);
    }

    void defaultStartIsNextQuarterAfterRounding_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("start");
        const auto row = [](const char* now, const char* start) {
            QTest::newRow(now) << QString::fromLatin1(now) << QString::fromLatin1(start);
        };
        row("2026-05-04T10:07:00", "2026-05-04T10:15:00");
        row("2026-05-04T10:07:29", "2026-05-04T10:15:00");
        row("2026-05-04T10:07:30", "2026-05-04T10:30:00"); // rounds up
        row("2026-05-04T10:08:00", "2026-05-04T10:30:00");
        row("2026-05-04T23:55:00", "2026-05-05T00:15:00"); // next day
    }

    void defaultStartIsNextQuarterAfterRounding() {
        QFETCH(QString, now);
        QFETCH(QString, start);
        QCOMPARE(SchedulerTimes::defaultStart(wall(now)), wall(start));
        QCOMPARE(SchedulerTimes::millisText(wall(start).toMSecsSinceEpoch()).right(3), "000");
    }

    void encryptionBothWays_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("written");
        QTest::newRow("none") << "NO_ENCRYPTION" << false << -1 << "NO_ENCRYPTION";
        QTest::newRow("or telephone")
            << "ENCRYPTED_OR_PSTN_ONLY" << true << 0 << "ENCRYPTED_OR_PSTN_ONLY";
        QTest::newRow("only") << "ENCRYPTED_ONLY" << true << 1 << "ENCRYPTED_ONLY";
        QTest::newRow("unknown reads as only") << "SOMETHING_NEW" << true << 1 << "ENCRYPTED_ONLY";
    }

    void encryptionBothWays() {
        QFETCH(QString, type);
        QFETCH(bool, encrypt);
        QFETCH(int, column);
        QFETCH(QString, written);
        AdvancedMeetingOptions::States states;
        AdvancedMeetingOptions::readEncryption(type, &states.encrypt, &states.telephoneColumn);
        QCOMPARE(states.encrypt, encrypt);
        QCOMPARE(states.telephoneColumn, column);
        QCOMPARE(states.encryptionType(), written);
    }

    void optionsFromMeetingAndAccount() {
        // The large-meeting flag: top level first, the options when the top level lacks it.
        QVariantMap meeting{
            {"isLargeMeeting", false},
            {"advancedMeetingOptions", QVariantMap{{"isLargeMeeting", true},
                                                   {"encryptionType", "ENCRYPTED_OR_PSTN_ONLY"},
                                                   {"autoRecord", true}}}};
        AdvancedMeetingOptions loaded = AdvancedMeetingOptions::fromMeeting(meeting);
        QCOMPARE(loaded.isLargeMeeting, 0);
        QCOMPARE(loaded.allowTelephone, 0);
        QCOMPARE(loaded.enableAutoRecording, 1);
        meeting.remove("isLargeMeeting");
        QCOMPARE(AdvancedMeetingOptions::fromMeeting(meeting).isLargeMeeting, 1);

        // Account defaults kept as text after a restart count with the record's boolean reading.
        TamberDataModel::resetForTesting();
        TamberDataModel* account = TamberDataModel::sharedData();
        account->isLargeMeeting = u"1"_s;
        account->videoBestFit = u"true"_s;
        account->disallowChat = u"false"_s;
        account->encryptionType = u"NO_ENCRYPTION"_s;
        const auto defaults = AdvancedMeetingOptions().states(*account);
        QVERIFY(defaults.isLargeMeeting);
        QVERIFY(defaults.videoBestFit);
        QVERIFY(!defaults.disallowChat);
        QVERIFY(!defaults.encrypt);
        QCOMPARE(defaults.telephoneColumn, -1);
        // A kept value wins over the default.
        loaded.isLargeMeeting = 0;
        QVERIFY(!loaded.states(*account).isLargeMeeting);
        TamberDataModel::resetForTesting();
    }

    void draftRecordKeepsStoredKeys() {
        SchedulerForm form;
        form.titlePlaceholder = u"Ada's meeting"_s;
        form.timeZone = u"Asia/Kolkata"_s;
        form.startMs = 1790000000000;
        form.endMs = 1790003600000;
        form.repetition = SchedulerForm::kWeekly; // no day ticked: kept as no repetition
        form.repetitionType = u"WEEKLY"_s;
        form.attendeesText = u"a@example.com, not an address ,"_s;
        form.notes = u"\u05e9\u05dc\u05d5\u05dd \"quoted\""_s;
        const QVariantMap stored{
            {"meetingDraftGuid", "G"}, {"custom", 7}, {"attendees", QVariantList{}}};
        const QVariantMap meeting{{"id", 42}, {"numericMeetingId", "831000042"}};

        const QVariantMap draft = MeetingRequestBuilder::draft(form, stored, meeting, "G", false);
        QCOMPARE(draft["custom"], QVariant(7));
        QCOMPARE(draft["id"], QVariant(42));
        QCOMPARE(draft["numericMeetingId"], QVariant("831000042"));
        QCOMPARE(draft["title"].toString(), u"Ada's meeting"_s);
        QCOMPARE(draft["start"].toString(), u"1790000000000"_s);
        QCOMPARE(draft["recurrencePattern"].toMap()["recurrenceType"].toString(), "NONE");
        QCOMPARE(draft["attendees"].toList().size(), 2); // unchecked, trimmed, empty part dropped
        QCOMPARE(draft["attendees"].toList()[1].toMap()["email"].toString(), "not an address");
        QVERIFY(!draft.contains("advancedMeetingOptions"));
        // A record that exists nowhere on the service carries no id.
        const QVariantMap fresh =
            MeetingRequestBuilder::draft(form, {}, {{"numericMeetingId", 5}}, "H", true);
        QVERIFY(!fresh.contains("numericMeetingId"));
        QCOMPARE(fresh["advancedMeetingOptions"].toMap().size(), 9);
    }

    void zoneItemsAndCompletions() {
        const QList<TimeZoneItems::Item> items = TimeZoneItems::build(wall("2026-01-15T12:00:00"));
        const int berlin = TimeZoneItems::indexOf(items, u"Europe/Berlin"_s);
        QVERIFY(berlin >= 0);
        QCOMPARE(items[berlin].title, u"(UTC+01:00) Europe/Berlin"_s);
        QCOMPARE(TimeZoneItems::zoneName(items[berlin].title), u"Europe/Berlin"_s);
        const int kolkata = TimeZoneItems::indexOf(items, u"Asia/Kolkata"_s);
        QCOMPARE(items[kolkata].title, u"(UTC+05:30) Asia/Kolkata"_s);
        for (int i = 1; i < items.size(); ++i) {
            QVERIFY(items[i - 1].offsetSeconds < items[i].offsetSeconds ||
                    (items[i - 1].offsetSeconds == items[i].offsetSeconds &&
                     items[i - 1].id < items[i].id));
        }
        for (const TimeZoneItems::Item& item : items)
            QVERIFY2(!item.id.startsWith("UTC") || item.id == "UTC", item.id.constData());
        // "UTC" names one zone, not every title that holds the letters.
        QCOMPARE(items.value(TimeZoneItems::indexOf(items, u"UTC"_s)).id, "UTC");

        const QStringList contacts{"Bob@x.org", "ann@x.org", "bea@y.org", "ANNA@z.org"};
        QCOMPARE(CustomTokenField::completions(contacts, "an"),
                 QStringList({"ann@x.org", "ANNA@z.org"}));
        QCOMPARE(CustomTokenField::completions(contacts, "B"),
                 QStringList({"Bob@x.org", "bea@y.org"}));
    }
};

QTEST_GUILESS_MAIN(tst_SchedulerRequests)
#include "tst_SchedulerRequests.moc"
