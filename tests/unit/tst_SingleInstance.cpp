#include "Platform/SingleInstance.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <cstdio>

// Cross-process cases run this test binary again as the first copy (see primaryChild).
namespace {

const char* const kChildKey = "TAMBER_SINGLE_INSTANCE_CHILD_KEY";
const char* const kChildFolder = "TAMBER_SINGLE_INSTANCE_CHILD_FOLDER";

QString uniqueKey() {
    return QStringLiteral("tst-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// Starts the first copy in a child process and waits until it is listening.
bool startPrimaryChild(QProcess& child, const QString& key, const QString& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildKey), key);
    env.insert(QString::fromLatin1(kChildFolder), folder);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("primaryChild")});
    while (child.waitForReadyRead(10000)) {
        if (child.readAllStandardOutput().contains("primary ready"))
            return true;
    }
    return false;
}

} // namespace

class tst_SingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondStartActivatesFirst() {
        QTemporaryDir dir;
        const QString key = uniqueKey();
        SingleInstance first(key, dir.path());
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        QCOMPARE(first.start(), SingleInstance::Role::Primary);

        for (int start = 1; start <= 2; ++start) {
            SingleInstance second(key, dir.path());
            QCOMPARE(second.start(), SingleInstance::Role::HandedOff);
            QTRY_COMPARE(activated.count(), start);
        }
        // A guard with another key is independent.
        SingleInstance other(uniqueKey(), dir.path());
        QCOMPARE(other.start(), SingleInstance::Role::Primary);

        // Different homes give different default keys (parallel test processes never meet).
        const QByteArray home = qgetenv("HOME");
        const QString mine = SingleInstance::defaultKey();
        qputenv("HOME", home + "/elsewhere");
        const QString elsewhere = SingleInstance::defaultKey();
        qputenv("HOME", home);
        QVERIFY(mine != elsewhere);
        QCOMPARE(SingleInstance::defaultKey(), mine);
    }

    void strangeMessagesAreIgnored() {
        QTemporaryDir dir;
        SingleInstance first(uniqueKey(), dir.path());
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        QCOMPARE(first.start(), SingleInstance::Role::Primary);

        // Junk is answered by closing the connection, without an activation.
        for (const QByteArray& message : {QByteArray("quit\n"), QByteArray(100000, 'x')}) {
            QLocalSocket socket;
            socket.connectToServer(first.socketPath());
            QVERIFY(socket.waitForConnected(2000));
            socket.write(message);
            QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        }
        QCOMPARE(activated.count(), 0);
        // A request that arrives in pieces still counts, once.
        {
            QLocalSocket socket;
            socket.connectToServer(first.socketPath());
            QVERIFY(socket.waitForConnected(2000));
            socket.write("activ");
            socket.flush();
            QTRY_COMPARE(first.findChildren<QLocalSocket*>().size(), 1);
            socket.write("ate\n");
            QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
            QCOMPARE(activated.count(), 1);
        }
        // The copy still serves a proper request.
        SingleInstance second(first.socketPath().section(u'/', -1).chopped(5), dir.path());
        QCOMPARE(second.start(), SingleInstance::Role::HandedOff);
        QTRY_COMPARE(activated.count(), 2);
    }

    void handOffToAnotherProcess() {
        QTemporaryDir dir;
        const QString key = uniqueKey();
        QProcess child;
        QVERIFY(startPrimaryChild(child, key, dir.path()));

        SingleInstance second(key, dir.path());
        QCOMPARE(second.start(), SingleInstance::Role::HandedOff);
        // The first copy heard it and ends normally.
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(child.readAllStandardOutput().contains("activated"));
    }

    void takesOverAfterCrash() {
        QTemporaryDir dir;
        const QString key = uniqueKey();
        QProcess child;
        QVERIFY(startPrimaryChild(child, key, dir.path()));
        child.kill(); // SIGKILL: no clean-up runs
        QVERIFY(child.waitForFinished(10000));

        SingleInstance next(key, dir.path());
        QVERIFY(QFile::exists(next.lockPath()));   // left behind by the crash
        QVERIFY(QFile::exists(next.socketPath())); // likewise, nobody listening
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(next.start(), SingleInstance::Role::Primary);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));

        // And it really serves the name now.
        QSignalSpy activated(&next, &SingleInstance::activationRequested);
        SingleInstance again(key, dir.path());
        QCOMPARE(again.start(), SingleInstance::Role::HandedOff);
        QTRY_COMPARE(activated.count(), 1);
    }

    void unusableFolderRunsUnguarded() {
        QTemporaryDir dir;
        const QString notAFolder = dir.filePath(QStringLiteral("file"));
        QFile file(notAFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        SingleInstance guard(uniqueKey(), notAFolder);
        QCOMPARE(guard.start(), SingleInstance::Role::Unguarded);
    }

    void primaryChild() {
        if (!qEnvironmentVariableIsSet(kChildKey))
            QSKIP("runs only as the child process of the cross-process cases");
        SingleInstance guard(qEnvironmentVariable(kChildKey), qEnvironmentVariable(kChildFolder));
        QSignalSpy activated(&guard, &SingleInstance::activationRequested);
        QCOMPARE(guard.start(), SingleInstance::Role::Primary);
        std::printf("primary ready\n");
        std::fflush(stdout);
        QVERIFY(activated.wait(20000));
        std::printf("activated\n");
        std::fflush(stdout);
    }
};

TAMBER_TEST_MAIN_CORE(tst_SingleInstance)
#include "tst_SingleInstance.moc"
