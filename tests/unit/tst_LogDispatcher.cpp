#include "Logging/ConsoleLogger.h"
#include "Logging/DetailedLogFormatter.h"
#include "Logging/FileLogger.h"
#include "Logging/Log.h"
#include "Logging/LogDispatcher.h"
#include "Logging/TamberDDLogFileManagerDefault.h"
#include "RecordingLogger.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

LogMessage makeMessage(int flag, const QString& text) {
    LogMessage m;
    m.timestampMsecs = QDateTime::currentMSecsSinceEpoch();
    m.threadId = Log::currentThreadId();
    m.flag = flag;
    m.file = __FILE__;
    m.function = "worker";
    m.line = 42;
    m.message = text;
    return m;
}

QStringList numbered(const QString& pattern, int from, int to) {
    QStringList list;
    for (int i = from; i < to; ++i)
        list << pattern.arg(i);
    return list;
}

QString contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

std::shared_ptr<FileLogger> fileLoggerIn(const QString& dir, const QString& app) {
    auto manager = std::make_shared<TamberDDLogFileManagerDefault>(dir, app);
    auto logger = std::make_shared<FileLogger>(manager);
    logger->setMaximumFileSize(64 * 1024 * 1024);
    logger->setLogFormatter(std::make_shared<DetailedLogFormatter>());
    return logger;
}

} // namespace

class tst_LogDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manyThreadsLogAtOnce() {
        QTemporaryDir dir;
        auto logger = fileLoggerIn(dir.path(), "many");
        LogDispatcher dispatcher;
        dispatcher.addLogger(logger);

        constexpr int kThreads = 8;
        constexpr int kLines = 2000;
        const QString payload(120, u'~');
        std::vector<quint64> threadIds(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                threadIds[t] = Log::currentThreadId();
                for (int i = 0; i < kLines; ++i) {
                    const int flag = i % 97 == 0 ? Log::Error : Log::Info;
                    dispatcher.log(
                        makeMessage(flag, u"thread %1 line %2 %3"_s.arg(t).arg(i).arg(payload)));
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        dispatcher.flush();
        QCOMPARE(dispatcher.droppedMessageCount(), quint64(0));

        const QRegularExpression format(
            QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[([0-9a-f]+)\] )"
                           R"(-\[tst_LogDispatcher worker\]\[Line 42\] \[(info|error)\] )"
                           R"(thread (\d) line (\d+) ~{120}$)"));
        QStringList lines = contentsOf(logger->logFileManager().newestLogFilePath()).split(u'\n');
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.size(), kThreads * kLines);
        std::vector<int> next(kThreads, 0);
        for (const QString& line : std::as_const(lines)) {
            const QRegularExpressionMatch m = format.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line.left(200)));
            const int t = m.captured(3).toInt();
            QCOMPARE(m.captured(1).toULongLong(nullptr, 16), threadIds[t]);
            QCOMPARE(m.captured(2), next[t] % 97 == 0 ? u"error"_s : u"info"_s);
            QCOMPARE(m.captured(4).toInt(), next[t]); // each thread's lines in its own order
            ++next[t];
        }
        QCOMPARE(next, std::vector<int>(kThreads, kLines));
    }

    void errorLinesWaitOthersNeverBlock() {
        LogDispatcher dispatcher(4);
        auto recorder = std::make_shared<RecordingLogger>();
        recorder->setLogFormatter(std::make_shared<DetailedLogFormatter>());
        dispatcher.addLogger(recorder);
        recorder->closeGate();
        dispatcher.log(makeMessage(Log::Info, "blocker"));
        QVERIFY(recorder->waitUntilBlocked());

        // The logger is stuck: ordinary lines still return at once; past the bound they are
        // dropped.
        for (int i = 0; i < 10; ++i)
            dispatcher.log(makeMessage(Log::Debug, u"queued %1"_s.arg(i)));
        QCOMPARE(dispatcher.queuedMessageCount(), std::size_t(4));
        QCOMPARE(dispatcher.droppedMessageCount(), quint64(6));

        // An error line is queued even past the bound, and its caller waits until it is written.
        QStringList seenWhenErrorReturned;
        std::thread caller([&] {
            dispatcher.log(makeMessage(Log::Error, "the error"));
            seenWhenErrorReturned = recorder->messages();
        });
        QTRY_COMPARE(dispatcher.queuedMessageCount(), std::size_t(5));
        QVERIFY(recorder->messages().isEmpty());
        recorder->openGate();
        caller.join();
        QVERIFY(seenWhenErrorReturned.contains(u"the error"_s));

        dispatcher.flush();
        const QStringList expected =
            QStringList{"blocker"} + numbered("queued %1", 0, 4) +
            QStringList{"the error", "6 log lines were dropped: the log queue was full"};
        QCOMPARE(recorder->messages(), expected);
        QVERIFY(recorder->lines().constLast().contains(u"] [warn] 6 log lines"_s));
    }

    void earlyLinesWaitForTheLoggers() {
        LogDispatcher dispatcher(5);
        dispatcher.log(makeMessage(Log::Info, "early 0"));
        dispatcher.log(makeMessage(Log::Error, "early error")); // nobody to wait for: returns
        for (int i = 1; i <= 6; ++i)
            dispatcher.log(makeMessage(Log::Info, u"early %1"_s.arg(i)));
        QCOMPARE(dispatcher.droppedMessageCount(), quint64(3));

        auto recorder = std::make_shared<RecordingLogger>();
        auto second = std::make_shared<RecordingLogger>();
        dispatcher.addLoggers({recorder, second});
        dispatcher.flush(); // the early lines filled the queue
        dispatcher.log(makeMessage(Log::Info, "after"));
        dispatcher.flush();
        const QStringList expected =
            QStringList{"early 0", "early error"} + numbered("early %1", 1, 4) +
            QStringList{"3 log lines were dropped: the log queue was full", "after"};
        QCOMPARE(recorder->messages(), expected);
        QCOMPARE(second->messages(), expected);

        // Lines that never meet a logger still reach standard error when the dispatcher stops.
        QTemporaryFile capture;
        QVERIFY(capture.open());
        const int savedStderr = ::dup(STDERR_FILENO);
        ::dup2(capture.handle(), STDERR_FILENO);
        {
            LogDispatcher orphan;
            orphan.log(makeMessage(Log::Warning, "orphan line"));
        }
        ::dup2(savedStderr, STDERR_FILENO);
        ::close(savedStderr);
        capture.seek(0);
        const QString captured = QString::fromUtf8(capture.readAll());
        QVERIFY2(captured.contains(u"-[tst_LogDispatcher worker][Line 42] [warn] orphan line\n"_s),
                 qPrintable(captured));
    }

    void shutdownDrainsTheQueue() {
        LogDispatcher dispatcher;
        auto recorder = std::make_shared<RecordingLogger>();
        dispatcher.addLogger(recorder);
        recorder->closeGate();
        dispatcher.log(makeMessage(Log::Info, "line 0"));
        QVERIFY(recorder->waitUntilBlocked());
        for (int i = 1; i < 3000; ++i)
            dispatcher.log(makeMessage(Log::Info, u"line %1"_s.arg(i)));
        QVERIFY(dispatcher.queuedMessageCount() > 0);
        recorder->openGate();
        dispatcher.shutdown();
        QCOMPARE(recorder->messages(), numbered("line %1", 0, 3000));

        // After the thread has stopped, lines are written on the caller's thread right away.
        dispatcher.log(makeMessage(Log::Info, "late info"));
        dispatcher.log(makeMessage(Log::Error, "late error"));
        QCOMPARE(recorder->messages().mid(3000), (QStringList{"late info", "late error"}));
        dispatcher.flush(); // nothing to wait for, must not hang
    }

    void stuckConsoleNeverHoldsErrorLines() {
        // A console pipe that nobody reads, already full.
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        const QByteArray chunk(4096, 'x');
        while (::write(fds[1], chunk.constData(), size_t(chunk.size())) > 0) {
        }
        ::fcntl(fds[1], F_SETFL, 0);

        auto console = std::make_shared<ConsoleLogger>(fds[1]);
        auto recorder = std::make_shared<RecordingLogger>();
        LogDispatcher dispatcher;
        dispatcher.addLoggers({console, recorder});
        for (int i = 0; i < 3; ++i)
            dispatcher.log(makeMessage(Log::Error, u"error %1"_s.arg(i)));
        QCOMPARE(recorder->messages(), numbered("error %1", 0, 3));

        // Once the reader catches up, the console gets lines again.
        QByteArray drained(1 << 20, 0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        while (::read(fds[0], drained.data(), size_t(drained.size())) > 0) {
        }
        dispatcher.log(makeMessage(Log::Error, "readable again"));
        const qint64 got = ::read(fds[0], drained.data(), size_t(drained.size()));
        QVERIFY(got > 0);
        QCOMPARE(QByteArray(drained.constData(), got), QByteArray("readable again\n"));
        dispatcher.shutdown();
        ::close(fds[0]);
        ::close(fds[1]);
    }

    void processExitWritesQueuedLines() {
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TAMBER_LOG_CHILD_DIR"_s, dir.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {u"childLogsThenExits"_s});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        const QStringList files = QDir(dir.path()).entryList({u"*.log"_s}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QStringList lines = contentsOf(dir.filePath(files.first())).split(u'\n');
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.size(), 20000);
        for (int i : {0, 1, 9999, 19999})
            QVERIFY2(lines[i].endsWith(u"[info] child line %1"_s.arg(i)), qPrintable(lines[i]));
    }

    void childLogsThenExits() {
        const QString dir = qEnvironmentVariable("TAMBER_LOG_CHILD_DIR");
        if (dir.isEmpty())
            QSKIP("the child process of processExitWritesQueuedLines");
        LogDispatcher::shared()->addLogger(fileLoggerIn(dir, u"child"_s));
        for (int i = 0; i < 20000; ++i)
            TLOG_INFO(u"child line %1"_s.arg(i));
        std::exit(0); // no flush: the exit itself must write what is queued
    }
};

TAMBER_TEST_MAIN_CORE(tst_LogDispatcher)
#include "tst_LogDispatcher.moc"
