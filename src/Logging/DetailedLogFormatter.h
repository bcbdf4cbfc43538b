#pragma once

#include "LogDateFormatter.h"
#include "LogMessage.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

// Turns a log message into its line:
//   "<timestamp> [<thread hex>] -[<file> <function>][Line <n>] [<level>] <message>"
// One instance may serve several loggers at once.
class DetailedLogFormatter {
public:
    DetailedLogFormatter();
    ~DetailedLogFormatter();
    DetailedLogFormatter(const DetailedLogFormatter&) = delete;
    DetailedLogFormatter& operator=(const DetailedLogFormatter&) = delete;

    QString formatLogMessage(const LogMessage& message) const;
    QString stringFromDate(const QDateTime& date) const;
    QString stringFromMsecs(qint64 msecsSinceEpoch) const;

    // Called by a logger when it takes or gives up this formatter.
    void didAddToLogger();
    void willRemoveFromLogger();
    qint32 loggerCount() const { return m_atomicLoggerCount.load(); }

    // "error", "warn", "info", "debug", "verbose"; anything else is "verbose".
    static QLatin1StringView levelWord(int flag);
    // "/src/Menu/Foo.cpp" -> "Foo"
    static QString fileNameWithoutExtension(const char* path);

private:
    void formatTimestamp(qint64 msecsSinceEpoch, char* out) const;

    std::atomic<qint32> m_atomicLoggerCount{0};
    // Serves the single-logger case. The mutex is only contended when a logger is detached
    // while another thread still formats through the cached formatter.
    mutable std::unique_ptr<LogDateFormatter> m_threadUnsafeDateFormatter;
    mutable std::mutex m_threadUnsafeMutex;
};
