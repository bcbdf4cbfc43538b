#include "TestEnvironment.h"

#include <QObject>
#include <QProcess>
#include <csignal>

// The real binary: the options are read before any window system is needed.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void options_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("standardOutput"); // a regular expression
        QTest::addColumn<QString>("standardError");
        const QString version =
            QStringLiteral("^Tamber %1\\n$")
                .arg(QRegularExpression::escape(QStringLiteral(TAMBER_VERSION)));
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "^$";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << version << "^$";
        QTest::newRow("--help") << QStringList{"--help"} << 0
                                << "^Usage: tamber \\[options\\].*--help.*--version"
                                << "^$";
        QTest::newRow("unknown option") << QStringList{"--join-nxt"} << 2 << "^$"
                                        << "^Unknown option 'join-nxt'.*Usage: ";
        QTest::newRow("stray argument") << QStringList{"meeting"} << 2 << "^$"
                                        << "^Unexpected argument 'meeting'.*Usage: ";
    }
    void options() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, standardOutput);
        QFETCH(QString, standardError);
        QProcess tamber;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        tamber.setProcessEnvironment(env);
        tamber.start(QStringLiteral(TAMBER_BIN), arguments);
        QVERIFY(tamber.waitForFinished(10000));
        QCOMPARE(tamber.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tamber.exitCode(), exitCode);
        const auto matches = [](const QByteArray& bytes, const QString& pattern) {
            return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption)
                .match(QString::fromUtf8(bytes))
                .hasMatch();
        };
        const QByteArray out = tamber.readAllStandardOutput();
        const QByteArray err = tamber.readAllStandardError();
        QVERIFY2(matches(out, standardOutput), out.constData());
        QVERIFY2(matches(err, standardError), err.constData());
    }

    // Logout and shutdown send SIGTERM: the running copy must quit the way its Quit does (the
    // open form kept as a draft, the record saved), not die with its state.
    void sessionEndQuitsNormally() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const auto run = [&env](const QStringList& arguments) {
            QProcess other;
            other.setProcessEnvironment(env);
            other.start(QStringLiteral(TAMBER_BIN), arguments);
            other.waitForFinished(10000);
            return std::pair{other.exitCode(), other.readAllStandardError()};
        };
        QProcess tamber;
        tamber.setProcessEnvironment(env);
        tamber.start(QStringLiteral(TAMBER_BIN), {});
        QVERIFY(tamber.waitForStarted());
        // Up once it answers over the single-instance channel.
        QTRY_VERIFY_WITH_TIMEOUT(run({QStringLiteral("--join-next")}) ==
                                     std::pair(1, QByteArray("not signed in\n")),
                                 30000);
        QCOMPARE(run({}).first, 0); // a second start hands over and leaves

        ::kill(pid_t(tamber.processId()), SIGTERM);
        QVERIFY(tamber.waitForFinished(15000));
        QVERIFY2(tamber.exitStatus() == QProcess::NormalExit,
                 tamber.readAllStandardError().right(2000).constData());
        QCOMPARE(tamber.exitCode(), 0);
    }
};

TAMBER_TEST_MAIN_CORE(TestCommandLine)
#include "tst_CommandLine.moc"
