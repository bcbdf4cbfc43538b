#pragma once

#include "Logging/AbstractLogger.h"

#include <QStringList>
#include <condition_variable>
#include <mutex>

// A logger for tests: keeps every line it is given. Closing the gate makes the logging thread
// stop inside logMessage until it is opened again, which lets a test hold the queue still.
class RecordingLogger : public AbstractLogger {
public:
    void logMessage(const LogMessage& message, const QByteArray& line) override {
        std::unique_lock lock(m_mutex);
        m_blocked = m_gateClosed;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_gateClosed; });
        m_blocked = false;
        m_lines << QString::fromUtf8(line);
        m_messages << message.message;
    }

    QStringList lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    QStringList messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    void closeGate() {
        std::lock_guard lock(m_mutex);
        m_gateClosed = true;
    }
    void openGate() {
        std::lock_guard lock(m_mutex);
        m_gateClosed = false;
        m_changed.notify_all();
    }
    // True once the logging thread waits at the closed gate (false after the timeout).
    bool waitUntilBlocked(int timeoutMs = 10000) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_blocked; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_lines;
    QStringList m_messages;
    bool m_gateClosed = false;
    bool m_blocked = false;
};
