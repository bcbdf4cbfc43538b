#include "Logging/Log.h"
#include "Logging/Logging.h"
#include "Platform/BundleInfo.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>

namespace {

QStringList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// The launch set-up as the application runs it, through the process-wide logging.
class tst_LogSetup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void launchSetUpWritesEveryLineToTheLogFile();
};

void tst_LogSetup::launchSetUpWritesEveryLineToTheLogFile() {
    QVERIFY(Logging::sortedLogFilePaths().isEmpty());
    const int earlyLine = __LINE__ + 1;
    TLOG_INFO(QStringLiteral("record loaded before the loggers"));
    TLOG_ERROR(QStringLiteral("early error")); // no logger yet: must not wait

    Logging::start();
    QCOMPARE(Logging::logsDirectory(), qEnvironmentVariable("XDG_STATE_HOME") + "/tst_LogSetup");
    TLOG_DEBUG(QStringLiteral("GET https://api.velora.example/v1/user/7?access_token=%1&x=1")
                   .arg(QStringLiteral("SECRET123")));
    TLOG_ERROR(QStringLiteral("synchronous error"));

    // Error lines are on disk when the call returns, without a flush.
    const QStringList paths = Logging::sortedLogFilePaths();
    QCOMPARE(paths.size(), 1);
    QCOMPARE(Logging::newestLogFilePath(), paths.first());
    QVERIFY(QFileInfo(paths.first()).fileName().startsWith(BundleInfo::bundleIdentifier() + "_"));
    QStringList lines = linesOf(paths.first());
    QCOMPARE(lines.size(), 4);

    const QRegularExpression format(QStringLiteral(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]+\] )"
        R"(-\[tst_LogSetup launchSetUpWritesEveryLineToTheLogFile\]\[Line (\d+)\] \[(\w+)\] (.*)$)"));
    const QList<QStringList> expected = {
        {QString::number(earlyLine), "info", "record loaded before the loggers"},
        {QString::number(earlyLine + 1), "error", "early error"},
        {"", "debug", "GET https://api.velora.example/v1/user/7?access_token=<redacted>&x=1"},
        {"", "error", "synchronous error"},
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = format.match(lines[i]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
        if (!expected[i][0].isEmpty())
            QCOMPARE(m.captured(1), expected[i][0]);
        QCOMPARE(m.captured(2), expected[i][1]);
        QCOMPARE(m.captured(3), expected[i][2]);
    }

    // A second start changes nothing: one file, every line once.
    Logging::start();
    TLOG_INFO(QStringLiteral("after the second start"));
    Logging::flush();
    QCOMPARE(Logging::sortedLogFilePaths(), paths);
    lines = linesOf(paths.first());
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines.last().endsWith(QStringLiteral("[info] after the second start")));
}

TAMBER_TEST_MAIN_CORE(tst_LogSetup)
#include "tst_LogSetup.moc"
