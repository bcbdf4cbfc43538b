#include "TestEnvironment.h"

#include <QObject>
#include <QProcess>

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
};

TAMBER_TEST_MAIN_CORE(TestCommandLine)
#include "tst_CommandLine.moc"
