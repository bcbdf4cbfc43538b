#include "Platform/Keychain.h"
#include "TestEnvironment.h"

#include <QAbstractEventDispatcher>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

using namespace Qt::StringLiterals;

// Runs against the secret service of scripts/with-test-env (gnome-keyring, unlocked). The
// failure cases run in a child process of this test with a broken session bus.
namespace {

const QString kService = u"com.velora.tamber.test"_s;
const char* const kChildMarker = "TAMBER_KEYCHAIN_TEST_CHILD";

// Each test process uses its own account so parallel tests never share an item.
QString uniqueAccount() {
    return u"tst_Keychain-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Runs one test function of this binary in a child process; returns its whole output.
QByteArray runChild(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& env, int* exitCode) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, arguments);
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        *exitCode = -1;
    } else {
        *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    }
    const QByteArray output = child.readAll();
    for (const QByteArray& line : output.split('\n')) {
        if (line.contains("keychain failure timing:"))
            qInfo("child: %s", line.mid(line.indexOf("keychain failure timing:")).constData());
    }
    return output;
}

// Runs one test function of this binary on a session bus of its own (after `prelude`, a shell
// command), then ends the secret service that the bus started for it, by its pid.
QByteArray runOnOwnBus(const QString& session, const QString& send, const QString& prelude,
                       const QString& function, const QProcessEnvironment& env, int* exitCode) {
    const QString script =
        prelude + u"\"$1\" "_s + function +
        u"; status=$?; "
        "pid=$(\"$2\" --session --print-reply --dest=org.freedesktop.DBus / "
        "org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets "
        "2>/dev/null | sed -n 's/.*uint32 //p'); "
        "[ -n \"$pid\" ] && kill \"$pid\"; exit $status"_s;
    return runChild(
        session,
        {u"--"_s, u"sh"_s, u"-c"_s, script, u"sh"_s, QCoreApplication::applicationFilePath(), send},
        env, exitCode);
}

QProcessEnvironment childEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildMarker), u"1"_s);
    return env;
}

} // namespace

class tst_Keychain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTripOverwriteAndDelete() {
        const QString account = uniqueAccount();
        QVERIFY(!Keychain::passwordFor(kService, account)); // missing item: absent, no error

        const QString first = u"pässwörd \"1\" ∑ & = ;"_s;
        Keychain::Result r = Keychain::setPassword(first, kService, account);
        QVERIFY2(r.ok, qPrintable(u"%1 %2 (run under scripts/with-test-env)"_s.arg(r.code).arg(
                           r.message)));
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(first));

        // A second write replaces the item; the other account's item is untouched.
        const QString otherAccount = uniqueAccount();
        QVERIFY(Keychain::setPassword(u"other"_s, kService, otherAccount).ok);
        QVERIFY(Keychain::setPassword(u"second"_s, kService, account).ok);
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(u"second"_s));
        QCOMPARE(Keychain::passwordFor(kService, otherAccount), std::optional<QString>(u"other"_s));

        r = Keychain::deletePassword(kService, account);
        QVERIFY2(r.ok, qPrintable(r.message));
        QVERIFY(!Keychain::passwordFor(kService, account));
        r = Keychain::deletePassword(kService, account); // nothing left to delete
        QVERIFY(!r.ok);
        QCOMPARE(r.code, 1); // QKeychain::EntryNotFound

        // An empty password reads back as absent.
        QVERIFY(Keychain::setPassword(QString(), kService, account).ok);
        QVERIFY(!Keychain::passwordFor(kService, account));
        QVERIFY(Keychain::deletePassword(kService, account).ok);

        // An answered call leaves no timer armed to wake the idle application later.
        const auto timers = QAbstractEventDispatcher::instance()->children().size();
        QVERIFY(Keychain::deletePassword(kService, otherAccount).ok);
        QCOMPARE(QAbstractEventDispatcher::instance()->children().size(), timers);
    }

    void badArgumentsAreRefused() {
        const QString account = uniqueAccount();
        for (const auto& [service, acct] :
             {std::pair(QString(), account), std::pair(kService, QString()),
              std::pair(QString(), QString())}) {
            const Keychain::Result set = Keychain::setPassword(u"pw"_s, service, acct);
            QVERIFY(!set.ok);
            QCOMPARE(set.code, -1001);
            QCOMPARE(set.message, u"SSKeychainErrorBadArguments"_s);
            const Keychain::Result del = Keychain::deletePassword(service, acct);
            QCOMPARE(del.code, -1001);
            QCOMPARE(del.message, u"SSKeychainErrorBadArguments"_s);
            QVERIFY(!Keychain::passwordFor(service, acct));
        }
        // Nothing was written under the half-given names.
        QVERIFY(!Keychain::passwordFor(kService, account));
    }

    void noSecretServiceFailsFast() {
        if (qEnvironmentVariableIsSet(kChildMarker))
            return checkCallsFailFast();
        QProcessEnvironment env = childEnvironment();
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/tamber-no-bus"_s);
        int exitCode = 0;
        const QByteArray output = runChild(QCoreApplication::applicationFilePath(),
                                           {u"noSecretServiceFailsFast"_s}, env, &exitCode);
        QVERIFY2(exitCode == 0, output.constData());
        // The failures were logged with a reason, and no password reached the log.
        QVERIFY2(output.contains("Keychain write failed: no secret service running"),
                 output.constData());
        QVERIFY(!output.contains("\"pw\"") && !output.contains(" pw "));
    }

    void keyringWithoutUnlockedCollectionFailsFast() {
        if (qEnvironmentVariableIsSet(kChildMarker))
            return checkCallsFailFast();
        const QString session = QStandardPaths::findExecutable(u"dbus-run-session"_s);
        const QString send = QStandardPaths::findExecutable(u"dbus-send"_s);
        if (session.isEmpty() || send.isEmpty())
            QSKIP("dbus-run-session / dbus-send not installed");
        // A session bus of its own where the secret service starts on demand with a fresh home: no
        // login keyring, nobody to answer the unlock prompt. The daemon is ended by its pid.
        QTemporaryDir home;
        QProcessEnvironment env = childEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"share"_s));
        env.insert(u"XDG_RUNTIME_DIR"_s, home.path());
        int exitCode = 0;
        const QByteArray output =
            runOnOwnBus(session, send, QString(), u"keyringWithoutUnlockedCollectionFailsFast"_s,
                        env, &exitCode);
        QVERIFY2(exitCode == 0, output.constData());
        QVERIFY2(output.contains("Keychain write failed: keyring locked or missing"),
                 output.constData());
    }

    void lockedKeyringAsksThroughItsPrompt() {
        if (qEnvironmentVariableIsSet(kChildMarker))
            return checkPromptAnswers();
        const QString session = QStandardPaths::findExecutable(u"dbus-run-session"_s);
        const QString send = QStandardPaths::findExecutable(u"dbus-send"_s);
        if (session.isEmpty() || send.isEmpty() ||
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty() ||
            qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs dbus-run-session, dbus-send, xdotool and an X display");
        // A keyring of its own on a bus of its own: locking it holds up no other test.
        QTemporaryDir home;
        QProcessEnvironment env = childEnvironment();
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"share"_s));
        env.insert(u"XDG_RUNTIME_DIR"_s, home.path());
        int exitCode = 0;
        const QByteArray output = runOnOwnBus(
            session, send,
            u"printf tamber-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null; "_s,
            u"lockedKeyringAsksThroughItsPrompt"_s, env, &exitCode);
        QVERIFY2(exitCode == 0, output.constData());
        QVERIFY2(output.contains("Keychain write failed: refused by the user (code 3"),
                 output.constData());
    }

private:
    // Child side of the prompt case: a dismissed unlock prompt refuses the write and keeps the
    // earlier item; an answered one lets the read through; one left open runs into the wait.
    void checkPromptAnswers() {
        const QString account = uniqueAccount();
        QVERIFY(Keychain::setPassword(u"first"_s, kService, account).ok);

        QProcess answer;
        lockKeyring();
        // The first prompt starts the prompter program, which a cold machine may load slowly.
        Keychain::setWaitForTests(std::chrono::seconds(60));
        answerPrompt(answer, u"xdotool key Escape"_s);
        const Keychain::Result refused = Keychain::setPassword(u"second"_s, kService, account);
        QVERIFY(answered(answer));
        QCOMPARE(refused.code, 3); // QKeychain::AccessDeniedByUser

        // Unanswered, the wait runs out. The prompt answered afterwards unlocks the keyring but
        // resumes nothing: the abandoned write never happens.
        Keychain::setWaitForTests(std::chrono::seconds(2));
        const Keychain::Result unanswered = Keychain::setPassword(u"third"_s, kService, account);
        QCOMPARE(unanswered.code, 7); // QKeychain::OtherError
        Keychain::setWaitForTests(std::chrono::seconds(60));
        answerPrompt(answer, u"xdotool type tamber-test && xdotool key Return"_s);
        QVERIFY(answered(answer));
        QTest::qWait(300);
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(u"first"_s));

        lockKeyring();
        answerPrompt(answer, u"xdotool type tamber-test && xdotool key Return"_s);
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(u"first"_s));
        QVERIFY(answered(answer));
        QVERIFY(Keychain::deletePassword(kService, account).ok);
    }

    // The keystrokes went out (the call's own event loop may already have seen them finish).
    static bool answered(QProcess& process) {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(5000))
            return false;
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    static void lockKeyring() {
        QDBusMessage alias = QDBusMessage::createMethodCall(
            u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
            u"org.freedesktop.Secret.Service"_s, u"ReadAlias"_s);
        alias << u"default"_s;
        const QDBusMessage found = QDBusConnection::sessionBus().call(alias);
        QDBusMessage lock = QDBusMessage::createMethodCall(
            u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
            u"org.freedesktop.Secret.Service"_s, u"Lock"_s);
        lock << QVariant::fromValue(
            QList<QDBusObjectPath>{found.arguments().value(0).value<QDBusObjectPath>()});
        QCOMPARE(QDBusConnection::sessionBus().call(lock).type(), QDBusMessage::ReplyMessage);
    }

    // Waits for the keyring's prompt window, focuses it, then runs the keystrokes.
    static void answerPrompt(QProcess& process, const QString& keys) {
        process.start(u"sh"_s, {u"-c"_s, u"xdotool search --sync --onlyvisible --class "
                                         "gcr-prompter windowfocus --sync && "_s +
                                             keys});
    }

    // Child side of the failure cases: every call must fail, say so, and return well before the
    // 5 s bound (reaching the bound would mean a hang cut short, not a detected failure).
    void checkCallsFailFast() {
        const QString account = uniqueAccount();
        QElapsedTimer timer;
        timer.start();
        const Keychain::Result set = Keychain::setPassword(u"pw"_s, kService, account);
        const qint64 setMs = timer.restart();
        const std::optional<QString> read = Keychain::passwordFor(kService, account);
        const qint64 readMs = timer.restart();
        const Keychain::Result del = Keychain::deletePassword(kService, account);
        const qint64 delMs = timer.elapsed();
        qInfo("keychain failure timing: set %lld ms, read %lld ms, delete %lld ms", setMs, readMs,
              delMs);
        QVERIFY(!set.ok && set.code > 0 && !set.message.isEmpty());
        QVERIFY(!read);
        QVERIFY(!del.ok && del.code > 0);
        QVERIFY(setMs < 4500 && readMs < 4500 && delMs < 4500);
    }
};

TAMBER_TEST_MAIN_CORE(tst_Keychain)
#include "tst_Keychain.moc"
