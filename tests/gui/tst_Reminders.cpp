#include "AbstractTamberWindowController/TrayContextMenu.h"
#include "Models/MeetingListFeed.h"
#include "Models/TamberDataModel.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Notifier.h"
#include "Platform/SingleInstance.h"
#include "RecordingUrlOpener.h"
#include "Reminders/ReminderClock.h"
#include "Reminders/ReminderController.h"
#include "Reminders/ReminderSettings.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

// Reminders through the real notification daemon of the test environment (dunst on the private
// session bus), read back and acted on with its own dunstctl; "join the next meeting" from the
// command line and from the icon's menu.
namespace {

QByteArray dunstctl(const QStringList& arguments) {
    QProcess process;
    process.start(u"dunstctl"_s, arguments);
    process.waitForFinished(5000);
    return process.readAllStandardOutput().trimmed();
}

int displayed() {
    return dunstctl({u"count"_s, u"displayed"_s}).toInt();
}

// Summaries of what the daemon has shown and closed, newest first.
QStringList history() {
    QStringList summaries;
    const QJsonArray entries = QJsonDocument::fromJson(dunstctl({u"history"_s}))
                                   .object()[u"data"_s]
                                   .toArray()
                                   .at(0)
                                   .toArray();
    for (const QJsonValue& entry : entries)
        summaries << entry[u"summary"_s][u"data"_s].toString() + u" | "_s +
                         entry[u"body"_s][u"data"_s].toString();
    return summaries;
}

QVariantMap meeting(const QString& title, int id, qint64 startMs) {
    return {{u"title"_s, title},
            {u"id"_s, id},
            {u"numericMeetingId"_s, QString::number(730000000 + id)},
            {u"calendar_entry_type"_s, u"velora"_s},
            {u"start"_s, startMs},
            {u"end"_s, startMs + 30 * 60000}};
}

void publish(const QList<QVariantMap>& meetings) {
    DayBucket day;
    for (const QVariantMap& record : meetings)
        day.meetings.append(MeetingRecord(record));
    MeetingListFeed::shared().publish({day});
}

// With TAMBER_SCREENSHOT_DIR set: the screen's top right, where the daemon draws.
void saveScreen(const QString& name) {
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(500); // the daemon draws after it reports the notification
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->geometry();
    screen->grabWindow(0, area.width() - 420, 0, 420, 200)
        .save(dir + QLatin1Char('/') + name + u".png"_s);
}

qint64 inMinutes(double minutes) {
    return QDateTime::currentMSecsSinceEpoch() + qint64(minutes * 60000);
}

} // namespace

class tst_Reminders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        TamberDataModel* model = TamberDataModel::sharedData();
        model->apiHost = u"api.velora.example"_s;
        model->moderatorPasscode = u"2468"_s;
        model->access_token = u"token-not-checked-here"_s;
        ReminderSettings::setLeadMinutes(1);
        m_reminders = std::make_unique<ReminderController>(Notifier::createDefault(),
                                                           ReminderClock::system());
        m_reminders->scheduler().setReminded({});
    }

    void reminderThroughTheDesktop() {
        if (QStandardPaths::findExecutable(u"dunstctl"_s).isEmpty() ||
            dunstctl({u"is-paused"_s}).isEmpty())
            QSKIP("needs the notification daemon of scripts/with-test-env");
        // No background fetch here: the list comes from the feed, as after any fetch.
        TamberDataModel::sharedData()->access_token = QVariant();
        RecordingUrlOpener opener;
        m_reminders->start();
        QTRY_VERIFY(m_reminders->notificationsAvailable());
        TamberDataModel::sharedData()->access_token = u"token"_s;
        dunstctl({u"history-clear"_s});

        // One due meeting; a draft and a meeting without an id are never reminded of.
        const qint64 start = inMinutes(0.5);
        QVariantMap draft = meeting(u"Draft"_s, 2, start);
        draft.insert(u"meetingDraftGuid"_s, u"g-1"_s);
        QVariantMap noId = meeting(u"No id"_s, 3, start);
        noId.remove(u"numericMeetingId"_s);
        publish({meeting(u"Design sync"_s, 1, start), draft, noId});
        QTRY_COMPARE(displayed(), 1);
        saveScreen(u"reminder-notification"_s);
        // A refresh of the same list shows nothing new.
        publish({meeting(u"Design sync (renamed)"_s, 1, start)});
        QTest::qWait(1000);
        QCOMPARE(displayed(), 1);

        // The daemon's action (a click on it) joins as the row's Join does.
        dunstctl({u"action"_s, u"0"_s});
        QTRY_COMPARE(opener.urls(), QList<QUrl>{QUrl(u"https://velora.example/730000001/2468"_s)});
        dunstctl({u"close-all"_s});
        QTRY_COMPARE(displayed(), 0);
        QVERIFY2(history().value(0).startsWith(u"Design sync | "_s),
                 qPrintable(history().join(u'\n')));
        QVERIFY(history().value(0).contains(u" - "_s));

        // Twelve at once share one notification; cancelling them takes it away.
        QList<QVariantMap> crowd;
        for (int i = 0; i < 12; ++i)
            crowd.append(meeting(u"Crowd %1"_s.arg(i), 100 + i, inMinutes(0.5)));
        publish(crowd);
        QTRY_COMPARE(displayed(), 1);
        saveScreen(u"reminder-grouped"_s);
        publish({});
        QTRY_COMPARE(displayed(), 0);
        QVERIFY(history().value(0).startsWith(u"12 meetings are starting | Crowd 0"_s));
        QCOMPARE(opener.urls().size(), 1);
    }

    // The same list announced again keeps what was built from it, until the account's join
    // details change or a sign-out empties the list.
    void sameListAnnouncedAgain() {
        const QList<QVariantMap> list{meeting(u"Sync"_s, 3, inMinutes(45))};
        const auto joinUrl = [this] {
            const QList<MeetingOccurrence>& all = m_reminders->scheduler().occurrences();
            return all.isEmpty() ? QString() : all.first().joinUrl.toString();
        };
        publish(list);
        QVERIFY(joinUrl().contains(u"2468"_s));
        TamberDataModel::sharedData()->moderatorPasscode = u"1357"_s;
        publish(list);
        QVERIFY2(joinUrl().contains(u"1357"_s), qPrintable(joinUrl()));
        NotificationCenter::defaultCenter().post(u"SIGN_OUT_ACTION"_s);
        QCOMPARE(joinUrl(), QString());
        publish(list);
        QVERIFY(joinUrl().contains(u"1357"_s));
    }

    void joinNextMeeting_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<double>("startsIn"); // minutes; no meeting when NaN
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>(
            "menuItem"); // the icon menu's first item; starts with "!" when disabled

        QTest::newRow("not signed in")
            << false << 10.0 << 1 << u"not signed in"_s << u"!No meeting to join"_s;
        QTest::newRow("nothing within the hour")
            << true << 61.0 << 1 << u"no meeting to join in the next hour"_s
            << u"!No meeting to join"_s;
        QTest::newRow("one in ten minutes")
            << true << 10.0 << 0 << QString() << u"Join next meeting: Plan & review ("_s;
        QTest::newRow("running") << true << -5.0 << 0 << QString()
                                 << u"Join next meeting: Plan & review ("_s;
    }

    void joinNextMeeting() {
        QFETCH(bool, signedIn);
        QFETCH(double, startsIn);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, menuItem);
        RecordingUrlOpener opener;
        publish({meeting(u"Plan & review"_s, 7, inMinutes(startsIn))});
        if (!signedIn)
            TamberDataModel::sharedData()->access_token = QVariant();

        // This process is the running copy; the command line is the real executable.
        SingleInstance instance;
        QCOMPARE(instance.start(), SingleInstance::Role::Primary);
        instance.setRequestHandler(QByteArrayLiteral("join-next"), [this] {
            const auto result = m_reminders->joinNext();
            return result == ReminderController::JoinResult::Joined
                       ? QByteArrayLiteral("ok")
                       : ReminderController::reason(result).toUtf8();
        });
        QProcess cli;
        cli.start(QStringLiteral(TAMBER_BIN), {u"--join-next"_s});
        QTRY_COMPARE_WITH_TIMEOUT(cli.state(), QProcess::NotRunning, 15000);
        QCOMPARE(cli.exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(cli.readAllStandardError().trimmed()), output);
        QCOMPARE(opener.urls().size(), exitCode == 0 ? 1 : 0);

        TrayContextMenu menu(*m_reminders);
        menu.refresh();
        const QString shown = (menu.joinNextAction()->isEnabled() ? QString() : u"!"_s) +
                              menu.joinNextAction()->text().replace(u"&&"_s, u"&"_s);
        QVERIFY2(shown.startsWith(menuItem), qPrintable(shown));
        QCOMPARE(menu.openAction()->text(), u"Open Tamber"_s);
        QCOMPARE(menu.quitAction()->text(), u"Quit"_s);
        const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
        if (!dir.isEmpty() && exitCode == 0 && startsIn > 0) {
            menu.popup(QPoint(900, 30));
            QVERIFY(QTest::qWaitForWindowExposed(&menu));
            menu.grab().save(dir + u"/tray-context-menu.png"_s);
            menu.close();
        }
    }

private:
    std::unique_ptr<ReminderController> m_reminders;
};

TAMBER_TEST_MAIN_GUI(tst_Reminders)
#include "tst_Reminders.moc"
