#pragma once

#include "Logging/AbstractLogger.h"

#include <QStringList>
#include <condition_variable>
#include <mutex>

// A logger for tests: keeps every line it is given. Closing the gate makes the logging thread
// stop inside logMessage until it is opened again, which lets a test hold the queue still.
class RecordingLogger : public AbstractLogger {
public:
    void logMessage(const LogMessage& message, const QByteArray& line) override;

    QStringList lines() const;
    QStringList messages() const;

    void closeGate();
    void openGate();
    // True once the logging thread waits at the closed gate (false after the timeout).
    bool waitUntilBlocked(int timeoutMs = 10000);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_lines;
    QStringList m_messages;
    bool m_gateClosed = false;
    bool m_blocked = false;
};
