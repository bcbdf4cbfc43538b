#include "Logging/DetailedLogFormatter.h"
#include "Logging/Log.h"
#include "RecordingLogger.h"
#include "TestEnvironment.h"
#include "UnitTimeZone.h"

#include <QDateTime>
#include <QObject>
#include <QRegularExpression>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

qint64 utcMsecs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

LogMessage message(int flag, const QString& text) {
    LogMessage m;
    m.timestampMsecs = utcMsecs(2015, 3, 9, 17, 5, 0, 7);
    m.threadId = 0xabc12;
    m.flag = flag;
    m.file = "/work/src/Authentication/PasswordLogin/PasswordLoginWindowController.cpp";
    m.function = "loginButtonAction:";
    m.line = 218;
    m.message = text;
    return m;
}

} // namespace

class tst_LogFormatter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineFormatLevelWordsAndFileNames();
    void timestampIsLocalTimeWithMilliseconds();
    void loggerCountAndConcurrentFormatting();
    void threadIdIsTheKernelThreadNumber();
};

void tst_LogFormatter::lineFormatLevelWordsAndFileNames() {
    useZone("UTC0");
    DetailedLogFormatter formatter;
    QCOMPARE(formatter.formatLogMessage(message(8, u"Login button action"_s)),
             u"2015-03-09 17:05:00.007 [abc12] -[PasswordLoginWindowController "
             "loginButtonAction:][Line 218] [debug] Login button action"_s);

    const QList<QPair<int, QString>> words = {{1, "error"},   {2, "warn"},     {4, "info"},
                                              {8, "debug"},   {16, "verbose"}, {32, "verbose"},
                                              {0, "verbose"}, {3, "verbose"}};
    for (const auto& [flag, word] : words) {
        const QString line = formatter.formatLogMessage(message(flag, u"x"_s));
        QVERIFY2(line.endsWith(u"][Line 218] [%1] x"_s.arg(word)), qPrintable(line));
    }

    // The message is kept as it is: non-ASCII text, brackets, a trailing newline.
    const QString odd = u"Grüße [%1] 会議\n"_s;
    QVERIFY(formatter.formatLogMessage(message(4, odd)).endsWith(u"[info] "_s + odd));

    QCOMPARE(DetailedLogFormatter::fileNameWithoutExtension("/a/b.d/Foo.test.cpp"), u"Foo.test"_s);
    QCOMPARE(DetailedLogFormatter::fileNameWithoutExtension("AppController.mm"),
             u"AppController"_s);
    QCOMPARE(DetailedLogFormatter::fileNameWithoutExtension("/dir.v2/Makefile"), u"Makefile"_s);
    QCOMPARE(DetailedLogFormatter::fileNameWithoutExtension("/x/.hidden"), u".hidden"_s);
}

void tst_LogFormatter::timestampIsLocalTimeWithMilliseconds() {
    useZone("IST-5:30");
    DetailedLogFormatter formatter;
    QCOMPARE(formatter.stringFromMsecs(utcMsecs(2015, 3, 9, 17, 5, 0, 7)),
             u"2015-03-09 22:35:00.007"_s);
    // The cached second must not leak into the next one, nor across midnight.
    QCOMPARE(formatter.stringFromMsecs(utcMsecs(2015, 3, 9, 17, 5, 1, 999)),
             u"2015-03-09 22:35:01.999"_s);
    QCOMPARE(formatter.stringFromMsecs(utcMsecs(2015, 3, 9, 18, 29, 59, 0)),
             u"2015-03-09 23:59:59.000"_s);
    QCOMPARE(formatter.stringFromMsecs(utcMsecs(2015, 3, 9, 18, 30, 0, 40)),
             u"2015-03-10 00:00:00.040"_s);
    QCOMPARE(formatter.stringFromMsecs(utcMsecs(2015, 3, 9, 17, 5, 0, 7)),
             u"2015-03-09 22:35:00.007"_s);
    // Before 1970 the milliseconds still count up within their second.
    QCOMPARE(formatter.stringFromMsecs(-1), u"1970-01-01 05:29:59.999"_s);
    QCOMPARE(formatter.stringFromDate(QDateTime(QDate(2016, 2, 29), QTime(12, 0, 0, 5), Qt::UTC)),
             u"2016-02-29 17:30:00.005"_s);
}

void tst_LogFormatter::loggerCountAndConcurrentFormatting() {
    useZone("XYZ+3");
    auto formatter = std::make_shared<DetailedLogFormatter>();
    {
        RecordingLogger a, b, c;
        a.setLogFormatter(formatter);
        b.setLogFormatter(formatter);
        c.setLogFormatter(formatter);
        QCOMPARE(formatter->loggerCount(), 3);
        c.setLogFormatter(nullptr);
        QCOMPARE(formatter->loggerCount(), 2);
    }
    QCOMPARE(formatter->loggerCount(), 0);

    // Every thread formats its own run of seconds; a shared, unguarded cache would hand one
    // thread another's date. Run once through the cached formatter and once per thread.
    const auto expected = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, -3 * 3600)
            .toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s);
    };
    RecordingLogger x, y;
    for (const int loggers : {1, 2}) {
        x.setLogFormatter(formatter);
        if (loggers == 2)
            y.setLogFormatter(formatter);
        QCOMPARE(formatter->loggerCount(), loggers);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                const qint64 base = utcMsecs(2000 + t, 1 + t, 1 + 3 * t, t, 0, 0, 0);
                for (int i = 0; i < 3000; ++i) {
                    const qint64 ms = base + qint64(i) * 86'400'123;
                    if (formatter->stringFromMsecs(ms) != expected(ms))
                        ++wrong;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
    }
}

void tst_LogFormatter::threadIdIsTheKernelThreadNumber() {
    QCOMPARE(Log::currentThreadId(), quint64(::gettid()));
    quint64 other = 0;
    quint64 otherKernel = 0;
    std::thread([&] {
        other = Log::currentThreadId();
        otherKernel = quint64(::gettid());
    }).join();
    QCOMPARE(other, otherKernel);
    QVERIFY(other != Log::currentThreadId());

    DetailedLogFormatter formatter;
    LogMessage m = message(4, u"x"_s);
    m.threadId = 0x1F2E;
    QVERIFY(formatter.formatLogMessage(m).contains(u" [1f2e] -["_s));
}

TAMBER_TEST_MAIN_CORE(tst_LogFormatter)
#include "tst_LogFormatter.moc"
