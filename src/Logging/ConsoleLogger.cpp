#include "ConsoleLogger.h"

#include <cerrno>

ConsoleLogger::ConsoleLogger(int fd)
    : m_fd(fd) {}

ConsoleLogger::~ConsoleLogger() {
    flush();
}

std::shared_ptr<ConsoleLogger> ConsoleLogger::sharedInstance() {
    static const std::shared_ptr<ConsoleLogger> instance = std::make_shared<ConsoleLogger>();
    return instance;
}

void ConsoleLogger::logMessage(const LogMessage&, const QByteArray& line) {
    m_buffer += line;
    m_buffer += '\n';
}

void ConsoleLogger::flush() {
    const char* data = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break; // closed or broken standard error: the line is lost there only
        data += written;
        left -= written;
    }
    m_buffer.clear();
}
