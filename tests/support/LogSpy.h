#pragma once

#include "Logging/AbstractLogger.h"
#include "Logging/LogDispatcher.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

// Collects the lines the application logs while it exists (messages after redaction, with
// their level). lines() first waits until every line logged so far has been delivered.
class LogSpy {
public:
    struct Line {
        int flag = 0;
        QString message;
    };

    LogSpy() { LogDispatcher::shared()->addLogger(m_logger); }
    ~LogSpy() {
        // The dispatcher keeps the logger; it simply stops collecting.
        std::lock_guard lock(m_logger->mutex);
        m_logger->active = false;
        m_logger->lines.clear();
    }
    LogSpy(const LogSpy&) = delete;
    LogSpy& operator=(const LogSpy&) = delete;

    QList<Line> lines() const {
        LogDispatcher::shared()->flush();
        std::lock_guard lock(m_logger->mutex);
        return m_logger->lines;
    }
    // Messages logged at `flag` (Log::Error, Log::Debug, ...).
    QStringList messages(int flag) const {
        QStringList out;
        for (const Line& line : lines())
            if (line.flag == flag)
                out << line.message;
        return out;
    }
    // True when a line at `flag` equals `message`, or starts with it when prefix is set.
    bool contains(int flag, const QString& message, bool prefix = false) const {
        for (const QString& m : messages(flag))
            if (prefix ? m.startsWith(message) : m == message)
                return true;
        return false;
    }

private:
    struct Logger : AbstractLogger {
        void logMessage(const LogMessage& message, const QByteArray&) override {
            std::lock_guard lock(mutex);
            if (active)
                lines.append({message.flag, message.message});
        }
        std::mutex mutex;
        QList<Line> lines;
        bool active = true;
    };
    std::shared_ptr<Logger> m_logger = std::make_shared<Logger>();
};
