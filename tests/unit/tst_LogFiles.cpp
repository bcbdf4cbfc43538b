#include "Logging/FileLogger.h"
#include "Logging/Logging.h"
#include "Logging/TamberDDLogFileManagerDefault.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kDay = 24 * 60 * kMinute;

qint64 utcMsecs(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toMSecsSinceEpoch();
}

// A log folder with a clock the test moves by hand.
struct Fixture {
    QTemporaryDir dir;
    std::shared_ptr<qint64> now = std::make_shared<qint64>(utcMsecs(2015, 3, 9, 17, 5, 30));

    std::shared_ptr<TamberDDLogFileManagerDefault> manager(const QString& app = "com.velora.tamber",
                                                           int maxFiles = 2) {
        auto m = std::make_shared<TamberDDLogFileManagerDefault>(dir.path(), app);
        m->setMaximumNumberOfLogFiles(maxFiles);
        m->setClock([clock = now] { return *clock; });
        return m;
    }
    std::unique_ptr<FileLogger> logger(std::shared_ptr<TamberDDLogFileManagerDefault> m,
                                       qint64 maxSize = 1024 * 1024) {
        auto l = std::make_unique<FileLogger>(std::move(m));
        l->setMaximumFileSize(maxSize);
        l->setRollingFrequency(24 * 60 * 60);
        return l;
    }
    // One launch of the application that logs `line` and quits.
    void launchAndLog(const QByteArray& line) { logger(manager())->logMessage(LogMessage{}, line); }
    QStringList names() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
};

void writeLine(FileLogger& logger, const QByteArray& line) {
    logger.logMessage(LogMessage{}, line);
    logger.flush();
}

QByteArrayList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray all = file.readAll();
    if (all.endsWith('\n'))
        all.chop(1);
    return all.isEmpty() ? QByteArrayList{} : all.split('\n');
}

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

class tst_LogFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fileNamesAndRecognition();
    void sortingCollisionsAndRetention();
    void continueOrStartNewFileAtLaunch();
    void rollsBySizeAndByAge();
    void unusableFolderAndFullDiskDropLines();
    void logFolderAndFallback();
};

void tst_LogFiles::fileNamesAndRecognition() {
    Fixture f;
    auto m = f.manager();
    QCOMPARE(m->newLogFileName(), QStringLiteral("com.velora.tamber_2015-03-09_17-05.log"));
    QCOMPARE(f.manager("My App")->newLogFileName(), QStringLiteral("My_App_2015-03-09_17-05.log"));

    QCOMPARE(TamberDDLogFileManagerDefault::applicationNameFor("", "tst_LogFiles"),
             QStringLiteral("tst_LogFiles"));
    QCOMPARE(TamberDDLogFileManagerDefault::applicationNameFor("com.velora.tamber", "p"),
             QStringLiteral("com.velora.tamber"));
    auto byProcess = f.manager(TamberDDLogFileManagerDefault::applicationNameFor("", "tamber"));
    QVERIFY(byProcess->newLogFileName().startsWith(QStringLiteral("tamber_2015-03-09")));
    auto nameless = f.manager("");
    QCOMPARE(nameless->newLogFileName(), QStringLiteral("_2015-03-09_17-05.log"));
    QVERIFY(nameless->isLogFile(QStringLiteral("_2015-03-09_17-05 2.log")));

    const QList<QPair<const char*, bool>> names{
        {"com.velora.tamber_2015-03-09_17-05.log", true},
        {"com.velora.tamber_2015-03-09_17-05 2.log", true},
        {"com.velora.tamber_2015-03-09_17-05 12.log", true},
        {"com.velora.tamber 2015-03-09 17-05.log", false}, // the stock spelling, not ours
        {"other_2015-03-09_17-05.log", false},
        {"com.velora.tamber_2015-13-09_17-05.log", false},
        {"com.velora.tamber_2015-03-09_17-05.log.bak", false},
        {"com.velora.tamber_2015-03-09_17-05 x.log", false},
        {"com.velora.tamber_2015-03-09_17-05_2.log", false},
        {"notes.txt", false}};
    for (const auto& [name, ours] : names)
        QVERIFY2(m->isLogFile(QString::fromLatin1(name)) == ours, name);

    LogFileManagerDefault stock(f.dir.path(), "com.velora.tamber");
    stock.setClock([] { return utcMsecs(2015, 3, 9, 17, 5); });
    QCOMPARE(stock.newLogFileName(), QStringLiteral("com.velora.tamber 2015-03-09 17-05.log"));
    QVERIFY(stock.isLogFile(stock.newLogFileName()));
    QVERIFY(!stock.isLogFile(m->newLogFileName()));
}

void tst_LogFiles::sortingCollisionsAndRetention() {
    Fixture f;
    for (const char* name : {"notes.txt", "other_2015-03-09_17-05.log"}) {
        QFile file(f.dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto m = f.manager("com.velora.tamber", 10);
    const QString first = m->createNewLogFile();
    const QString second = m->createNewLogFile(); // same minute
    *f.now += 3 * kMinute;
    const QString third = m->createNewLogFile();
    QCOMPARE(fileName(first), QStringLiteral("com.velora.tamber_2015-03-09_17-05.log"));
    QCOMPARE(fileName(second), QStringLiteral("com.velora.tamber_2015-03-09_17-05 2.log"));
    QCOMPARE(fileName(third), QStringLiteral("com.velora.tamber_2015-03-09_17-08.log"));
    QCOMPARE(m->sortedLogFilePaths(), (QStringList{third, second, first}));
    QCOMPARE(QFileInfo(first).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());

    // A newer file of the same minute never takes a lower number than an existing one.
    *f.now -= 3 * kMinute;
    QVERIFY(QFile::remove(first));
    const QString fourth = m->createNewLogFile();
    QCOMPARE(fileName(fourth), QStringLiteral("com.velora.tamber_2015-03-09_17-05 3.log"));

    // Retention keeps the newest files and leaves foreign files alone.
    m->setMaximumNumberOfLogFiles(2);
    *f.now += 10 * kMinute;
    const QString fifth = m->createNewLogFile();
    QCOMPARE(m->sortedLogFilePaths(), (QStringList{fifth, third}));
    QVERIFY(f.names().contains(QStringLiteral("notes.txt")));
    QVERIFY(f.names().contains(QStringLiteral("other_2015-03-09_17-05.log")));

    // The disk quota removes older files even below the count.
    m->setMaximumNumberOfLogFiles(5);
    m->setLogFilesDiskQuota(1500);
    for (const QString& path : m->sortedLogFilePaths()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(1000, 'x'));
    }
    *f.now += kMinute;
    const QString sixth = m->createNewLogFile();
    QCOMPARE(m->sortedLogFilePaths(), (QStringList{sixth, fifth}));
}

void tst_LogFiles::continueOrStartNewFileAtLaunch() {
    Fixture f;
    f.launchAndLog("first run");
    const QString firstPath = f.manager()->newestLogFilePath();
    // Unfinished, small and young: the next launch continues it.
    *f.now += 10 * 1000;
    f.launchAndLog("second run");
    QCOMPARE(f.manager()->sortedLogFilePaths(), QStringList{firstPath});
    QCOMPARE(linesOf(firstPath), (QByteArrayList{"first run", "second run"}));

    // Finished: a new file in the same minute differs only by " 2".
    LogFileManagerDefault::markLogFileFinished(firstPath);
    f.launchAndLog("third run");
    const QString second = f.manager()->newestLogFilePath();
    QCOMPARE(fileName(second), QStringLiteral("com.velora.tamber_2015-03-09_17-05 2.log"));
    QCOMPARE(linesOf(second), QByteArrayList{"third run"});

    // Grown to the limit: finished and replaced.
    {
        QFile file(second);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(1024 * 1024, '\n'));
    }
    f.launchAndLog("fourth run");
    QVERIFY(LogFileManagerDefault::isLogFileFinished(second));
    const QString third = f.manager()->newestLogFilePath();
    QCOMPARE(fileName(third), QStringLiteral("com.velora.tamber_2015-03-09_17-05 3.log"));
    QCOMPARE(linesOf(third), QByteArrayList{"fourth run"});

    // A day old: finished and replaced; only two files are kept.
    *f.now += kDay;
    f.launchAndLog("next day");
    QVERIFY(LogFileManagerDefault::isLogFileFinished(third));
    const QStringList files = f.manager()->sortedLogFilePaths();
    QCOMPARE(files.size(), 2);
    QCOMPARE(fileName(files[0]), QStringLiteral("com.velora.tamber_2015-03-10_17-05.log"));
    QCOMPARE(files[1], third);
    QCOMPARE(linesOf(files[0]), QByteArrayList{"next day"});
}

void tst_LogFiles::rollsBySizeAndByAge() {
    Fixture f;
    auto m = f.manager("com.velora.tamber", 100);
    auto logger = f.logger(m, 1000);
    const QByteArray payload(89, 'p'); // 100 bytes with the number and newline
    int next = 0;
    const auto lineNumber = [&] {
        return QByteArray::number(next++).rightJustified(10, '0') + payload;
    };
    for (int i = 0; i < 25; ++i)
        logger->logMessage(LogMessage{}, lineNumber());
    logger->flush();

    QStringList files = m->sortedLogFilePaths();
    QCOMPARE(files.size(), 3);
    QByteArrayList all;
    for (auto it = files.crbegin(); it != files.crend(); ++it)
        all += linesOf(*it);
    QCOMPARE(all.size(), 25);
    for (int i = 0; i < 25; ++i)
        QCOMPARE(all[i].left(10).toInt(), i);
    // The older files stopped at the line that reached the limit and are finished.
    QCOMPARE(QFileInfo(files[2]).size(), 1000);
    QCOMPARE(QFileInfo(files[1]).size(), 1000);
    QVERIFY(LogFileManagerDefault::isLogFileFinished(files[1]));
    QVERIFY(!LogFileManagerDefault::isLogFileFinished(files[0]));

    // Age: 23 hours keep the file, 24 hours roll it.
    *f.now += 23 * 60 * kMinute;
    writeLine(*logger, lineNumber());
    QCOMPARE(m->sortedLogFilePaths().size(), 3);
    *f.now += 60 * kMinute;
    writeLine(*logger, lineNumber());
    files = m->sortedLogFilePaths();
    QCOMPARE(files.size(), 4);
    QCOMPARE(linesOf(files[0]).size(), 1);
    QVERIFY(LogFileManagerDefault::isLogFileFinished(files[1]));

    // With two files kept, rolling deletes the oldest as it goes.
    m->setMaximumNumberOfLogFiles(2);
    for (int i = 0; i < 30; ++i)
        logger->logMessage(LogMessage{}, lineNumber());
    logger->flush();
    files = m->sortedLogFilePaths();
    QCOMPARE(files.size(), 2);
    QCOMPARE(linesOf(files[0]).constLast().left(10).toInt(), next - 1);
    QCOMPARE(logger->droppedLineCount(), quint64(0));
}

void tst_LogFiles::unusableFolderAndFullDiskDropLines() {
    Fixture f;
    // The folder's place is taken by a file: nothing can be created, lines are dropped.
    const QString blocked = f.dir.filePath("blocked");
    {
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto m = std::make_shared<TamberDDLogFileManagerDefault>(blocked + "/logs", "app");
    m->setClock([clock = f.now] { return *clock; });
    FileLogger logger(m);
    writeLine(logger, "lost 1");
    writeLine(logger, "lost 2");
    QCOMPARE(logger.droppedLineCount(), quint64(2));

    // Once the folder can be made, the logger comes back after its retry delay.
    QVERIFY(QFile::remove(blocked));
    writeLine(logger, "still waiting");
    QCOMPARE(logger.droppedLineCount(), quint64(3));
    *f.now += 11 * 1000;
    writeLine(logger, "back");
    QCOMPARE(linesOf(m->newestLogFilePath()), QByteArrayList{"back"});

    // A full disk (here: the file size limit) drops the batch without leaving half a line.
    struct rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const qint64 sizeBefore = QFileInfo(m->newestLogFilePath()).size();
    struct rlimit tight = old;
    tight.rlim_cur = rlim_t(sizeBefore + 40);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    logger.logMessage(LogMessage{}, QByteArray(30, 'a'));
    logger.logMessage(LogMessage{}, QByteArray(30, 'b'));
    logger.flush();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(logger.droppedLineCount(), quint64(5));
    QCOMPARE(QFileInfo(m->newestLogFilePath()).size(), sizeBefore);
    writeLine(logger, "after the disk has room");
    QCOMPARE(linesOf(m->newestLogFilePath()), (QByteArrayList{"back", "after the disk has room"}));
}

void tst_LogFiles::logFolderAndFallback() {
    QTemporaryDir root;
    qputenv("XDG_STATE_HOME", QFile::encodeName(root.filePath("state")));
    QCOMPARE(Logging::processName(), QStringLiteral("tst_LogFiles"));
    QCOMPARE(Logging::preferredLogsDirectory(), root.filePath("state/tst_LogFiles"));
    qputenv("XDG_STATE_HOME", "relative/state");
    QCOMPARE(Logging::preferredLogsDirectory(), QDir::homePath() + "/.local/state/tst_LogFiles");
    // Each platform's own place: macOS ignores the XDG variables.
    const struct {
        bool macOS;
        const char* stateHome;
        const char* expected;
    } places[] = {{true, "/h/state", "/h/Library/Logs/tamber"},
                  {true, "", "/h/Library/Logs/tamber"},
                  {false, "/h/state", "/h/state/tamber"},
                  {false, "", "/h/.local/state/tamber"}};
    for (const auto& p : places)
        QCOMPARE(Logging::preferredLogsDirectoryFor(p.macOS, "/h", p.stateHome, "tamber"),
                 QString::fromLatin1(p.expected));
    QVERIFY(Logging::fallbackLogsDirectory().startsWith(QDir::tempPath() + "/tst_LogFiles-logs-"));

    const QString preferred = root.filePath("state/tst_LogFiles");
    const QString fallback = root.filePath("tmp/tst_LogFiles-logs-0");
    QCOMPARE(Logging::resolveLogsDirectory(preferred, fallback), preferred);
    QVERIFY(QFileInfo(preferred).isDir());
    QCOMPARE(QFileInfo(preferred).permissions() & (QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    QCOMPARE(QDir(preferred).entryList(QDir::Files | QDir::Hidden), QStringList()); // no probe left

    // A folder that cannot be created (its parent is a file) falls back to the temporary one.
    {
        QFile file(root.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString impossible = root.filePath("file/state/tst_LogFiles");
    QCOMPARE(Logging::resolveLogsDirectory(impossible, fallback), fallback);
    QVERIFY(QFileInfo(fallback).isDir());

    // A link planted in the temporary folder is not followed; with no usable folder at all the
    // answer is empty and file lines are dropped.
    const QString planted = root.filePath("tmp/planted");
    QVERIFY(QFile::link(preferred, planted));
    QCOMPARE(Logging::resolveLogsDirectory(impossible, planted), QString());
}

TAMBER_TEST_MAIN_CORE(tst_LogFiles)
#include "tst_LogFiles.moc"
