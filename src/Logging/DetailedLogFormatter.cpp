#include "DetailedLogFormatter.h"

#include <cstring>

using namespace Qt::StringLiterals;

DetailedLogFormatter::DetailedLogFormatter() = default;
DetailedLogFormatter::~DetailedLogFormatter() = default;

void DetailedLogFormatter::didAddToLogger() {
    m_atomicLoggerCount.fetch_add(1);
}

void DetailedLogFormatter::willRemoveFromLogger() {
    m_atomicLoggerCount.fetch_sub(1);
}

QLatin1StringView DetailedLogFormatter::levelWord(int flag) {
    switch (flag) {
    case 1:
        return "error"_L1;
    case 2:
        return "warn"_L1;
    case 4:
        return "info"_L1;
    case 8:
        return "debug"_L1;
    default:
        return "verbose"_L1;
    }
}

QString DetailedLogFormatter::fileNameWithoutExtension(const char* path) {
    if (!path)
        return QString();
    const char* start = std::strrchr(path, '/');
    start = start ? start + 1 : path;
    const char* dot = std::strrchr(start, '.');
    const qsizetype length = dot && dot != start ? dot - start : qsizetype(std::strlen(start));
    return QString::fromUtf8(start, length);
}

void DetailedLogFormatter::formatTimestamp(qint64 msecsSinceEpoch, char* out) const {
    if (m_atomicLoggerCount.load() <= 1) {
        std::lock_guard lock(m_threadUnsafeMutex);
        if (!m_threadUnsafeDateFormatter)
            m_threadUnsafeDateFormatter = std::make_unique<LogDateFormatter>();
        m_threadUnsafeDateFormatter->format(msecsSinceEpoch, out);
        return;
    }
    // Several loggers may format at the same time: each thread keeps its own formatter,
    // created on first use.
    thread_local LogDateFormatter MyCustomFormatter_NSDateFormatter;
    MyCustomFormatter_NSDateFormatter.format(msecsSinceEpoch, out);
}

QString DetailedLogFormatter::stringFromMsecs(qint64 msecsSinceEpoch) const {
    char buffer[LogDateFormatter::kLength];
    formatTimestamp(msecsSinceEpoch, buffer);
    return QString::fromLatin1(buffer, LogDateFormatter::kLength);
}

QString DetailedLogFormatter::stringFromDate(const QDateTime& date) const {
    return stringFromMsecs(date.toMSecsSinceEpoch());
}

QString DetailedLogFormatter::formatLogMessage(const LogMessage& message) const {
    char timestamp[LogDateFormatter::kLength];
    formatTimestamp(message.timestampMsecs, timestamp);
    const QString file = fileNameWithoutExtension(message.file);
    const QString function = QString::fromUtf8(message.function ? message.function : "");
    const QLatin1StringView level = levelWord(message.flag);

    QString line;
    line.reserve(LogDateFormatter::kLength + file.size() + function.size() + level.size() +
                 message.message.size() + 48);
    line += QLatin1StringView(timestamp, LogDateFormatter::kLength);
    line += " ["_L1;
    line += QString::number(message.threadId, 16);
    line += "] -["_L1;
    line += file;
    line += u' ';
    line += function;
    line += "][Line "_L1;
    line += QString::number(message.line);
    line += "] ["_L1;
    line += level;
    line += "] "_L1;
    line += message.message;
    return line;
}
