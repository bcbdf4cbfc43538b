// Calendar scripts and readers: inserted values stay inside their string literal whatever they
// hold, the scripts carry their deciding lines, Outlook results and calendar events become
// meeting records, and creation fails through its error path where no script host exists.
#include "Calendars/CalendarScripts.h"
#include "Calendars/CalendarStore.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/TamberDataModel.h"
#include "Platform/MainQueue.h"
#include "ScriptLiterals.h"
#include "TestEnvironment.h"
#include "UnitTimeZone.h"

#include <QObject>
#include <QSignalSpy>
#include <QTimeZone>
#include <algorithm>

namespace {

const bool kZoneSet = (useZone("Europe/Berlin"), true);

// The script with every string literal emptied: what the script does, apart from its data.
// Written independently of CalendarScripts: a literal runs from '"' to the next '"' that no
// backslash escapes.
QString skeleton(const QString& script) {
    QString out;
    bool inside = false;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script[i];
        if (inside) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inside = false, out += c;
            continue;
        }
        out += c;
        inside = c == u'"';
    }
    return out;
}

const QStringList kHostile{
    QStringLiteral("\""),
    QStringLiteral("\\"),
    QStringLiteral("trailing backslash \\"),
    QStringLiteral("\\\" & (do shell script \"touch /tmp/pwned\") & \""),
    QStringLiteral("\" & (do shell script \"touch /tmp/pwned\") & \""),
    QStringLiteral(
        "line one\nend tell\ntell application \"Finder\" to delete every item of home\n--"),
    QStringLiteral("crlf\r\n\"\r\n(* open comment"),
    QStringLiteral("*) -- # « raw » \t tab"),
    QStringLiteral("nul") + QChar(0) + QStringLiteral("inside"),
    QStringLiteral("rtl \u05e9\u05dc\u05d5\u05dd \u2028 ls \u2029 ps \U0001F600"),
    QStringLiteral("https://velora.example/7305551001/1357?a=\"b\"&c=\\d"),
    QString(),
};

// The value as it lands in the script (NUL characters cannot be carried).
QString carried(QString value) {
    return value.remove(QChar(0));
}

class FakeScriptHost : public ScriptHost {
public:
    QStringList scripts;
    ScriptResult next;
    void run(const QString& script, Completion done) override {
        scripts << script;
        const ScriptResult result = next;
        MainQueue::async([done, result] { done(result); });
    }
    ScriptResult runSynchronously(const QString& script, int) override {
        scripts << script;
        return next;
    }
};

double localMs(int y, int mo, int d, int h, int mi) {
    return double(QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime).toMSecsSinceEpoch());
}

// Checks that `lines` appear in `script`, each as a whole line and in this order.
void verifyLinesInOrder(const QString& script, const QStringList& lines) {
    const QStringList actual = script.split(u'\n');
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < actual.size() && actual[at].trimmed() != line)
            ++at;
        QVERIFY2(at < actual.size(),
                 qPrintable("missing or out of order: " + line + "\n" + script));
        ++at;
    }
}

} // namespace

class tst_CalendarScripts : public QObject {
    Q_OBJECT

private slots:
    void hostileValuesStayInsideOneLiteral() {
        const QString plainOutlook = skeleton(CalendarScripts::outlookCreateScript("x", "y"));
        const QString plainById =
            skeleton(CalendarScripts::calendarCreateScript("x", "y", QString("id"), "e"));
        const QString plainByTitle =
            skeleton(CalendarScripts::calendarCreateScript("x", "y", std::nullopt, "e"));
        for (const QString& v : kHostile) {
            const QString c = carried(v);
            const QString desc = carried(QString(v).replace("\n\n", "\n"));

            const QString outlook = CalendarScripts::outlookCreateScript(v, v);
            QCOMPARE(skeleton(outlook), plainOutlook);
            QCOMPARE(ScriptLiterals::stringLiterals(outlook),
                     QStringList({"Microsoft Outlook", "Velora Meeting",
                                  "Velora Video Conference - " + c, desc}));

            const QString byId = CalendarScripts::calendarCreateScript(v, v, v, v);
            QCOMPARE(skeleton(byId), plainById);
            QCOMPARE(
                ScriptLiterals::stringLiterals(byId),
                QStringList({"Calendar", c, desc, "Velora Meeting", c, c, "System Events", "e"}));

            const QString byTitle = CalendarScripts::calendarCreateScript(v, v, std::nullopt, v);
            QCOMPARE(skeleton(byTitle), plainByTitle);
            QCOMPARE(ScriptLiterals::stringLiterals(byTitle),
                     QStringList({"Calendar", c, c, "Work", "Work", desc, "Velora Meeting", c, c,
                                  "System Events", "e"}));

            // A literal reads back as exactly the value, on its own.
            QCOMPARE(CalendarScripts::parseValue(CalendarScripts::quoted(v)), QVariant(c));
            QVERIFY(!CalendarScripts::quoted(v).contains(u'\n'));
        }
        // The checker itself sees through comments and notices an unclosed literal.
        QCOMPARE(ScriptLiterals::stringLiterals(
                     "set a to \"x\" -- \"comment\"\n(* \"(* nested *)\" *) \"y\""),
                 QStringList({"x", "y"}));
        QCOMPARE(ScriptLiterals::stringLiterals("set a to \"open"), std::nullopt);
    }

    void scriptsCarryTheirDecidingLines() {
        verifyLinesInOrder(
            CalendarScripts::outlookReadScript(),
            {"set curdate to current date", "set minutes of curdate to 0",
             "set seconds of curdate to 0", "set hours of curdate to 0",
             "set outsidedate to (curdate + (86400 * 2))", "tell application \"Microsoft Outlook\"",
             "tell calendar \"Calendar\"",
             "set theEvents to every calendar event whose (start time > (curdate - 300)) and "
             "(start time < (outsidedate))",
             "set smon to month of st as integer", "set emon to month of et as integer",
             "set end of myevents to {title:MeetingTitle, location:MeetingLocation, sday:sday, "
             "smonth:smon, syear:syear, sminutes:sm, shours:sh, eday:eday, emonth:emon, "
             "eyear:eyear, eminutes:em, ehours:eh, timezone:Ztimezone, "
             "description:MeetingDescription}",
             "return myevents"});
        const QStringList times{
            "set currentTime to (current date)",       "set startHours to startHours + 1",
            "if startMinutes is greater than 45 then", "set startHours to startHours + 1",
            "set minutes of startTime to 0",           "set endTime to startTime + 60 * 60"};
        const QString outlook =
            CalendarScripts::outlookCreateScript("https://velora.example/1", "a\n\nb\n\n\nc");
        verifyLinesInOrder(outlook,
                           QStringList{"tell application \"Microsoft Outlook\""} + times +
                               QStringList{"open newEvent", "activate newEvent", "end tell"});
        QVERIFY(
            outlook.contains("{subject:\"Velora Meeting\", location:\"Velora Video Conference - "
                             "https://velora.example/1\", plain text content:\"a\\nb\\n\\nc\", "
                             "start time:startTime, end time:endTime}"));
        QVERIFY(!outlook.contains("seconds of startTime")); // seconds stay as they are

        const QString byId =
            CalendarScripts::calendarCreateScript("L", "D", QString("UID-1"), "me@x");
        verifyLinesInOrder(
            byId,
            QStringList{"tell application \"Calendar\"", "switch view to day view",
                        "set ac to title of first calendar whose uid is \"UID-1\"",
                        "tell calendar ac"} +
                times +
                QStringList{"set newEvent to make new event with properties {description:\"D\", "
                            "summary:\"Velora Meeting\", url:\"L\", location:\"L\", start "
                            "date:startTime, end date:endTime}",
                            "show newEvent", "tell application \"System Events\"",
                            "keystroke \"e\" using {command down}"});
        QVERIFY(!byId.contains("allCalendarNames"));
        const QString byTitle =
            CalendarScripts::calendarCreateScript("L", "D", std::nullopt, "me@x");
        verifyLinesInOrder(
            byTitle, {"set allCalendarNames to title of every calendar",
                      "if allCalendarNames contains \"me@x\" then", "set ac to \"me@x\"",
                      "else if allCalendarNames contains \"Work\" then", "set ac to \"Work\"",
                      "else", "set ac to title of first calendar", "end if", "tell calendar ac"});

        // Which default calendar selects by id.
        QCOMPARE(CalendarScripts::calendarIdFrom(QString("ABC-123")), QString("ABC-123"));
        QCOMPARE(CalendarScripts::calendarIdFrom(QString("UseLastSelectedAsDefaultCalendar")),
                 std::nullopt);
        QCOMPARE(CalendarScripts::calendarIdFrom(QString("")), std::nullopt);
        QCOMPARE(CalendarScripts::calendarIdFrom(QVariant()), std::nullopt);
        QCOMPARE(CalendarScripts::calendarIdFrom(42), std::nullopt);
    }

    void readsScriptResults() {
        using CalendarScripts::parseValue;
        QCOMPARE(parseValue("{}"), QVariant(QVariantList{}));
        QCOMPARE(parseValue(" {1, -2.5, \"a\\\"b\", {}} "),
                 QVariant(QVariantList{1.0, -2.5, "a\"b", QVariantList{}}));
        QCOMPARE(
            parseValue("{name:\"x\", |odd key|:3, tz:time zone id 7 of application \"Microsoft "
                       "Outlook\"}"),
            QVariant(QVariantMap{{"name", "x"},
                                 {"odd key", 3.0},
                                 {"tz", "time zone id 7 of application \"Microsoft Outlook\""}}));
        QCOMPARE(parseValue("missing value"), QVariant("missing value"));
        for (const char* broken : {"", "{", "{1,", "{a:1, 2}", "\"open", "{1} 2", "{a:}"})
            QVERIFY2(!parseValue(broken), broken);
        QString deep(200, u'{');
        deep += QString(200, u'}');
        QVERIFY(!parseValue(deep)); // nesting is bounded
    }

    void outlookResultsBecomeMeetingRecords() {
        const QString output = QStringLiteral(
            "{{title:\"Standup\", location:\"https://velora.example/555\", sday:5, smonth:3, "
            "syear:2024, "
            "sminutes:30, shours:9, eday:5, emonth:3, eyear:2024, eminutes:0, ehours:10, "
            "timezone:time zone id 7 "
            "of application \"Microsoft Outlook\", description:\"Agenda \\\"Q1\\\"\\nJoin "
            "https://acme.velora.example/4242/99\"}, "
            "{title:\"Lunch\", location:\"\", sday:5, smonth:3, syear:2024, sminutes:0, shours:12, "
            "eday:5, "
            "emonth:3, eyear:2024, eminutes:0, ehours:13, timezone:\"W. Europe\", "
            "description:\"\"}, "
            "{title:\"Call https://velora.example/77\", location:\"\", sday:31, smonth:2, "
            "syear:2024, sminutes:0, "
            "shours:8, eday:6, emonth:3, eyear:2024, eminutes:0, ehours:9, timezone:\"\", "
            "description:\"\"}}");
        auto host = std::make_unique<FakeScriptHost>();
        FakeScriptHost* fake = host.get();
        fake->next.output = output;
        CalendarStore store(std::move(host));
        QSignalSpy started(&store, &CalendarStore::outlookReadStarted);
        QSignalSpy finished(&store, &CalendarStore::outlookReadFinished);

        const auto records = store.fetchOutlookMeetings();
        QVERIFY(records);
        QCOMPARE(fake->scripts, QStringList{CalendarScripts::outlookReadScript()});
        QCOMPARE(started.size(), 1);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(records->size(), 2); // "Lunch" has no link
        const QVariantMap standup = records->at(0).toMap();
        QCOMPARE(standup.value("start").toDouble(), localMs(2024, 3, 5, 9, 30));
        QCOMPARE(standup.value("end").toDouble(), localMs(2024, 3, 5, 10, 0));
        QCOMPARE(standup.value("title"), "Standup");
        QCOMPARE(standup.value("timezone"), "time zone id 7 of application \"Microsoft Outlook\"");
        QCOMPARE(standup.value("calendar_entry_type"), "outlook");
        // The description's link (with passcode) wins over the location's.
        QCOMPARE(standup.value("numericMeetingId"), "4242");
        QCOMPARE(standup.value("meetingDomain"), "acme.velora.example");
        QCOMPARE(standup.value("attendeePasscode"), "99");
        QCOMPARE(standup.value("addAttendeePasscode"), true);
        // A link in the title alone still counts; an impossible start date leaves "start" out.
        const QVariantMap call = records->at(1).toMap();
        QCOMPARE(call.value("numericMeetingId"), "77");
        QVERIFY(!call.contains("start"));
        QVERIFY(call.contains("end"));
        QVERIFY(!call.contains("attendeePasscode"));
        QVERIFY(!call.contains("addAttendeePasscode"));

        // A failing script: nothing, with the debug lines, and the warning hidden again.
        LogSpy spy;
        fake->next = {QString(), ScriptHost::errorDictionary("Outlook got an error", -1728)};
        QCOMPARE(store.fetchOutlookMeetings(), std::nullopt);
        QVERIFY(spy.contains(Log::Debug, "Error while retrieving outlook events"));
        QVERIFY(spy.contains(Log::Debug, CalendarScripts::outlookReadScript()));
        QCOMPARE(finished.size(), 2);
        fake->next = {QStringLiteral("{{title:"), {}}; // unreadable result
        QCOMPARE(store.fetchOutlookMeetings(), std::nullopt);
    }

    void calendarEventsBecomeMeetingRecords() {
        CalendarEvent e;
        e.start = QDateTime(QDate(2024, 3, 5), QTime(9, 0), QTimeZone("America/New_York"));
        e.end = e.start.addSecs(3600);
        e.title = "Sync https://velora.example/1";
        e.timeZoneName = "America/New_York";
        e.notes = "Notes https://velora.example/2/3";
        e.location = "https://velora.example/4";
        const auto r = CalendarStore::iCalRecord(e);
        QVERIFY(r);
        QCOMPARE(r->value("numericMeetingId"), "2"); // notes, then location, then title
        QCOMPARE(r->value("attendeePasscode"), "3");
        QCOMPARE(r->value("start").toDouble(), double(e.start.toMSecsSinceEpoch()));
        QCOMPARE(r->value("timezone"), "America/New_York");
        QCOMPARE(r->value("calendar_entry_type"), "ical");
        QVERIFY(!r->contains("description"));
        QVERIFY(!r->contains("location"));

        CalendarEvent floating = e;
        floating.timeZoneName.clear();
        QVERIFY(!CalendarStore::iCalRecord(floating));
        CalendarEvent noEnd = e;
        noEnd.end = {};
        QVERIFY(!CalendarStore::iCalRecord(noEnd));
        CalendarEvent noLink = e;
        noLink.title = "Sync";
        noLink.notes.clear();
        noLink.location = "Room 4";
        QVERIFY(!CalendarStore::iCalRecord(noLink));
        CalendarEvent titleOnly = noLink;
        titleOnly.title = "https://velora.example/9";
        QCOMPARE(CalendarStore::iCalRecord(titleOnly)->value("numericMeetingId"), "9");
    }

    void creatorsReportFailureAndSuccess() {
        TamberDataModel* model = TamberDataModel::sharedData();
        model->personalMeetingDescription = "Join \"now\"\n\nhttps://velora.example/7";
        model->email = "me@example.com";
        model->numericId = "7305551001";

        // This platform has no script host: the creators fail through their error path.
        CalendarStore store;
        QSignalSpy started(&store, &CalendarStore::scriptStarted);
        QSignalSpy finished(&store, &CalendarStore::scriptFinished);
        int errors = 0;
        LogSpy spy;
        store.scheduleCalendarMeeting([&] { ++errors; });
        store.scheduleOutlookMeeting([&] { ++errors; });
        QCOMPARE(started.size(), 2);
        QTRY_COMPARE(finished.size(), 2);
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(errors, 2);
        QVERIFY(spy.contains(Log::Error, "Error while scheduling calendar meeting."));
        QVERIFY(spy.contains(Log::Error, "Error while scheduling outlook meetings."));
        QVERIFY(spy.contains(Log::Debug,
                             "Apple script being executed is tell application \"Calendar\"", true));
        // Each failure logs its error dictionary before and after the error line.
        const QStringList debug = spy.messages(Log::Debug);
        const auto dictionaries = std::count_if(debug.begin(), debug.end(), [](const QString& l) {
            return l.contains(QString::number(ScriptHost::kUnavailableError));
        });
        QCOMPARE(dictionaries, 4);
        QVERIFY(!CalendarStore::calendarFailureHint().isEmpty());

        // A host that runs it: the exact script, success reported, no error callback.
        auto host = std::make_unique<FakeScriptHost>();
        FakeScriptHost* fake = host.get();
        CalendarStore running(std::move(host));
        QSignalSpy done(&running, &CalendarStore::scriptFinished);
        running.scheduleCalendarMeeting([&] { ++errors; });
        QVERIFY(fake->scripts.isEmpty()); // deferred until after the spinner shows
        QTRY_COMPARE(done.size(), 1);
        QCOMPARE(done[0][0].toBool(), true);
        QCOMPARE(errors, 2);
        QCOMPARE(fake->scripts,
                 QStringList{CalendarScripts::calendarCreateScript(
                     TamberDataModel::personalMeetingLocation(),
                     "Join \"now\"\nhttps://velora.example/7", std::nullopt, "me@example.com")});

        // A store destroyed while its script is pending calls nothing back.
        {
            CalendarStore gone(std::make_unique<FakeScriptHost>());
            gone.executeAppleScript("return 1", "return 1", [&] { ++errors; });
        }
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(errors, 2);
    }
};

TAMBER_TEST_MAIN_CORE(tst_CalendarScripts)
#include "tst_CalendarScripts.moc"
