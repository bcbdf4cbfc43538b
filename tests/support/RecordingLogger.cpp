#include "RecordingLogger.h"

void RecordingLogger::logMessage(const LogMessage& message, const QByteArray& line) {
    std::unique_lock lock(m_mutex);
    m_blocked = m_gateClosed;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_gateClosed; });
    m_blocked = false;
    m_lines << QString::fromUtf8(line);
    m_messages << message.message;
}

QStringList RecordingLogger::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

QStringList RecordingLogger::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void RecordingLogger::closeGate() {
    std::lock_guard lock(m_mutex);
    m_gateClosed = true;
}

void RecordingLogger::openGate() {
    std::lock_guard lock(m_mutex);
    m_gateClosed = false;
    m_changed.notify_all();
}

bool RecordingLogger::waitUntilBlocked(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_blocked; });
}
