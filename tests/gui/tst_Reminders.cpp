#include "AbstractTamberWindowController/TrayContextMenu.h"
#include "Models/MeetingListFeed.h"
#include "Models/TamberDataModel.h"
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
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

// Reminders through the real notification daemon of the test environment (dunst on the private
// session bus), read back and acted on with its own dunstctl; "join the next meeting" from the
// command line and from the icon's menu.
namespace {

QByteArray dunstctl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("dunstctl"), arguments);
    process.waitForFinished(5000);
    return process.readAllStandardOutput().trimmed();
}

int displayed() {
    return dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}).toInt();
}

// Summaries of what the daemon has shown and closed, newest first.
QStringList history() {
    QStringList summaries;
    const QJsonArray entries = QJsonDocument::fromJson(dunstctl({QStringLiteral("history")}))
                                   .object()[QStringLiteral("data")]
                                   .toArray()
                                   .at(0)
                                   .toArray();
    for (const QJsonValue& entry : entries)
        summaries << entry[QStringLiteral("summary")][QStringLiteral("data")].toString() +
                         QStringLiteral(" | ") +
                         entry[QStringLiteral("body")][QStringLiteral("data")].toString();
    return summaries;
}

QVariantMap meeting(const QString& title, int id, qint64 startMs) {
    return {{QStringLiteral("title"), title},
            {QStringLiteral("id"), id},
            {QStringLiteral("numericMeetingId"), QString::number(730000000 + id)},
            {QStringLiteral("calendar_entry_type"), QStringLiteral("velora")},
            {QStringLiteral("start"), startMs},
            {QStringLiteral("end"), startMs + 30 * 60000}};
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
        .save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

qint64 inMinutes(double minutes) {
    return QDateTime::currentMSecsSinceEpoch() + qint64(minutes * 60000);
}

} // namespace

class tst_Reminders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void reminderThroughTheDesktop();
    void joinNextMeeting_data();
    void joinNextMeeting();

private:
    std::unique_ptr<ReminderController> m_reminders;
};

void tst_Reminders::init() {
    TamberDataModel* model = TamberDataModel::sharedData();
    model->apiHost = QStringLiteral("api.velora.example");
    model->moderatorPasscode = QStringLiteral("2468");
    model->access_token = QStringLiteral("token-not-checked-here");
    ReminderSettings::setLeadMinutes(1);
    m_reminders =
        std::make_unique<ReminderController>(Notifier::createDefault(), ReminderClock::system());
    m_reminders->scheduler().setReminded({});
}

void tst_Reminders::reminderThroughTheDesktop() {
    if (QStandardPaths::findExecutable(QStringLiteral("dunstctl")).isEmpty() ||
        dunstctl({QStringLiteral("is-paused")}).isEmpty())
        QSKIP("needs the notification daemon of scripts/with-test-env");
    // No background fetch here: the list comes from the feed, as after any fetch.
    TamberDataModel::sharedData()->access_token = QVariant();
    RecordingUrlOpener opener;
    m_reminders->start();
    QTRY_VERIFY(m_reminders->notificationsAvailable());
    TamberDataModel::sharedData()->access_token = QStringLiteral("token");
    dunstctl({QStringLiteral("history-clear")});

    // One due meeting; a draft and a meeting without an id are never reminded of.
    const qint64 start = inMinutes(0.5);
    QVariantMap draft = meeting(QStringLiteral("Draft"), 2, start);
    draft.insert(QStringLiteral("meetingDraftGuid"), QStringLiteral("g-1"));
    QVariantMap noId = meeting(QStringLiteral("No id"), 3, start);
    noId.remove(QStringLiteral("numericMeetingId"));
    publish({meeting(QStringLiteral("Design sync"), 1, start), draft, noId});
    QTRY_COMPARE(displayed(), 1);
    saveScreen(QStringLiteral("reminder-notification"));
    // A refresh of the same list shows nothing new.
    publish({meeting(QStringLiteral("Design sync (renamed)"), 1, start)});
    QTest::qWait(1000);
    QCOMPARE(displayed(), 1);

    // The daemon's action (a click on it) joins as the row's Join does.
    dunstctl({QStringLiteral("action"), QStringLiteral("0")});
    QTRY_COMPARE(opener.urls(),
                 QList<QUrl>{QUrl(QStringLiteral("https://velora.example/730000001/2468"))});
    dunstctl({QStringLiteral("close-all")});
    QTRY_COMPARE(displayed(), 0);
    QVERIFY2(history().value(0).startsWith(QStringLiteral("Design sync | ")),
             qPrintable(history().join(u'\n')));
    QVERIFY(history().value(0).contains(QStringLiteral(" - ")));

    // Twelve at once share one notification; cancelling them takes it away.
    QList<QVariantMap> crowd;
    for (int i = 0; i < 12; ++i)
        crowd.append(meeting(QStringLiteral("Crowd %1").arg(i), 100 + i, inMinutes(0.5)));
    publish(crowd);
    QTRY_COMPARE(displayed(), 1);
    saveScreen(QStringLiteral("reminder-grouped"));
    publish({});
    QTRY_COMPARE(displayed(), 0);
    QVERIFY(history().value(0).startsWith(QStringLiteral("12 meetings are starting | Crowd 0")));
    QCOMPARE(opener.urls().size(), 1);
}

void tst_Reminders::joinNextMeeting_data() {
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<double>("startsIn"); // minutes; no meeting when NaN
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>(
        "menuItem"); // the icon menu's first item; starts with "!" when disabled

    QTest::newRow("not signed in") << false << 10.0 << 1 << QStringLiteral("not signed in")
                                   << QStringLiteral("!No meeting to join");
    QTest::newRow("nothing within the hour")
        << true << 61.0 << 1 << QStringLiteral("no meeting to join in the next hour")
        << QStringLiteral("!No meeting to join");
    QTest::newRow("one in ten minutes")
        << true << 10.0 << 0 << QString() << QStringLiteral("Join next meeting: Plan & review (");
    QTest::newRow("running") << true << -5.0 << 0 << QString()
                             << QStringLiteral("Join next meeting: Plan & review (");
}

void tst_Reminders::joinNextMeeting() {
    QFETCH(bool, signedIn);
    QFETCH(double, startsIn);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, menuItem);
    RecordingUrlOpener opener;
    publish({meeting(QStringLiteral("Plan & review"), 7, inMinutes(startsIn))});
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
    cli.start(QStringLiteral(TAMBER_BIN), {QStringLiteral("--join-next")});
    QTRY_COMPARE_WITH_TIMEOUT(cli.state(), QProcess::NotRunning, 15000);
    QCOMPARE(cli.exitCode(), exitCode);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardError().trimmed()), output);
    QCOMPARE(opener.urls().size(), exitCode == 0 ? 1 : 0);

    TrayContextMenu menu(*m_reminders);
    menu.refresh();
    const QString shown =
        (menu.joinNextAction()->isEnabled() ? QString() : QStringLiteral("!")) +
        menu.joinNextAction()->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
    QVERIFY2(shown.startsWith(menuItem), qPrintable(shown));
    QCOMPARE(menu.openAction()->text(), QStringLiteral("Open Tamber"));
    QCOMPARE(menu.quitAction()->text(), QStringLiteral("Quit"));
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    if (!dir.isEmpty() && exitCode == 0 && startsIn > 0) {
        menu.popup(QPoint(900, 30));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        menu.grab().save(dir + QStringLiteral("/tray-context-menu.png"));
        menu.close();
    }
}

TAMBER_TEST_MAIN_GUI(tst_Reminders)
#include "tst_Reminders.moc"
