#include "LogSpy.h"

#include "Logging/AbstractLogger.h"
#include "Logging/LogDispatcher.h"

#include <mutex>

class LogSpyLogger : public AbstractLogger {
public:
    void logMessage(const LogMessage& message, const QByteArray&) override {
        std::lock_guard lock(mutex);
        if (active)
            lines.append({message.flag, message.message});
    }

    mutable std::mutex mutex;
    QList<LogSpy::Line> lines;
    bool active = true;
};

LogSpy::LogSpy()
    : m_logger(std::make_shared<LogSpyLogger>()) {
    LogDispatcher::shared()->addLogger(m_logger);
}

LogSpy::~LogSpy() {
    // The dispatcher keeps the logger; it simply stops collecting.
    std::lock_guard lock(m_logger->mutex);
    m_logger->active = false;
    m_logger->lines.clear();
}

QList<LogSpy::Line> LogSpy::lines() const {
    LogDispatcher::shared()->flush();
    std::lock_guard lock(m_logger->mutex);
    return m_logger->lines;
}

QStringList LogSpy::messages(int flag) const {
    QStringList out;
    for (const Line& line : lines())
        if (line.flag == flag)
            out << line.message;
    return out;
}

bool LogSpy::contains(int flag, const QString& message, bool prefix) const {
    for (const QString& m : messages(flag))
        if (prefix ? m.startsWith(message) : m == message)
            return true;
    return false;
}

void LogSpy::clear() {
    LogDispatcher::shared()->flush();
    std::lock_guard lock(m_logger->mutex);
    m_logger->lines.clear();
}
