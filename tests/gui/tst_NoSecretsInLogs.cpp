// The log files go to support: a session against the simulator (sign-in, join, personal
// meeting, scheduling, calendar invitations, the list) leaves no passcode and no invitation
// text in any of them, at any level.
#include "AbstractTamberWindowController/CustomTextField.h"
#include "Analytics/AnalyticsController.h"
#include "Calendars/CalendarStore.h"
#include "GuiSuite.h"
#include "Logging/Logging.h"
#include "Menu/AttendMeeting/AttendMeetingViewController.h"
#include "Menu/InstantMeeting/InstantMeetingViewController.h"
#include "Models/CalendarMeetingService.h"
#include "Models/UpcomingMeetingsFetcher.h"

#include <QDir>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

TamberDataModel& rec() {
    return *TamberDataModel::sharedData();
}

template <typename Call> bool finishes(Call call) {
    bool done = false;
    call([&done] { done = true; });
    return QTest::qWaitFor([&] { return done; }, 20000);
}

QString allLogText() {
    Logging::flush();
    QString text;
    const QDir dir(Logging::logsDirectory());
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

} // namespace

class tst_NoSecretsInLogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aSessionLeavesNoSecretInTheLogFiles() {
        SignedInSimulator env;
        QVERIFY(env.start());
        VeloraSimulator& sim = env.sim();
        env.resetRecord();
        Logging::start();
        RecordingUrlOpener browser;

        // Sign in with the password, then the profile, room, personal meeting and invitation.
        const QString user = QString::fromLatin1(VeloraSimulator::PasswordUser);
        rec().username = user;
        QVERIFY(finishes([&](auto done) {
            TamberDataModel::fetchSecurityProfileDetails(user, done, done, done,
                                                         [done](const auto&) { done(); });
        }));
        rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
        QVERIFY(finishes([&](auto done) {
            TamberDataModel::refreshAccessToken(done, [done](const auto&) { done(); });
        }));
        QVERIFY(TamberDataModel::isPresent(rec().access_token));
        QVERIFY(finishes([&](auto done) {
            TamberDataModel::fetchAggregatedUserDetails(done, [done](const auto&) { done(); });
        }));
        QVERIFY(TamberDataModel::isPresent(rec().personalMeetingDescription));

        // The list, then joining one of its meetings with its passcode.
        UpcomingMeetingsFetcher fetcher;
        QSignalSpy listed(&fetcher, &UpcomingMeetingsFetcher::meetingsReady);
        fetcher.refreshUpcomingMeetings();
        QTRY_COMPARE_WITH_TIMEOUT(listed.size(), 1, 20000);
        const QJsonArray meetings = sim.meetings(sim.userIdOf(user));
        QVERIFY(!meetings.isEmpty());
        const QJsonObject joined = meetings.first().toObject();
        AttendMeetingViewController join;
        join.show();
        join.meetingIdField()->setText(joined.value("numericMeetingId").toString());
        join.passcodeField()->setText(joined.value("attendeePasscode").toString());
        QTest::mouseClick(join.joinMeetingButton(), Qt::LeftButton);

        // The personal meeting, from both of its buttons.
        InstantMeetingViewController personal;
        personal.show();
        personal.updateInstantMeetingDetails();
        QTest::mouseClick(personal.startButton(), Qt::LeftButton);
        join.startInstantMeeting();
        QCOMPARE(browser.urls().size(), 3);

        // Scheduling: a meeting on the service, and the invitation in both calendar programs (which
        // fail here and log their scripts).
        QVERIFY(finishes([&](auto done) {
            CalendarMeetingService::createMeeting(
                {{"title", "Secret review"},
                 {"start", QString::number(QDateTime::currentMSecsSinceEpoch() + 86400000)},
                 {"end", QString::number(QDateTime::currentMSecsSinceEpoch() + 90000000)},
                 {"timezone", "Europe/London"}},
                done, [done](const auto&) { done(); });
        }));
        CalendarStore calendars;
        QVERIFY(finishes([&](auto done) { calendars.scheduleOutlookMeeting(done); }));
        QVERIFY(finishes([&](auto done) { calendars.scheduleCalendarMeeting(done); }));
        QTRY_COMPARE_WITH_TIMEOUT(AnalyticsController::pendingEvents(), 0, 20000);

        const QString logs = allLogText();
        QVERIFY(logs.contains(u"Apple script being executed is"_s) &&
                logs.contains(u"/<passcode>"_s));
        // Every passcode of the session, as a whole number, and every line of the invitation.
        QStringList passcodes{rec().moderatorPasscode.toString(),
                              rec().participantPasscode.toString(),
                              joined.value("attendeePasscode").toString()};
        for (const QJsonValue& m : meetings) {
            passcodes << m.toObject().value("attendeePasscode").toString()
                      << m.toObject().value("moderatorPasscode").toString();
        }
        for (const QString& passcode : passcodes) {
            QVERIFY(!passcode.isEmpty());
            const QRegularExpression whole(u"(?<![0-9A-Fa-f])%1(?![0-9])"_s.arg(passcode));
            const QRegularExpressionMatch found = whole.match(logs);
            QVERIFY2(
                !found.hasMatch(),
                qPrintable(passcode + ": " + logs.mid(qMax(0, found.capturedStart() - 200), 260)));
        }
        const QString invitation = sim.account(user).value("invitation").toString();
        for (const QString& line : invitation.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.size() > 12)
                QVERIFY2(!logs.contains(line), qPrintable(line));
        }
    }
};

TAMBER_TEST_MAIN_GUI(tst_NoSecretsInLogs)
#include "tst_NoSecretsInLogs.moc"
