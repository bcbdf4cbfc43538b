#include "ConsoleLogger.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>

namespace {

constexpr int kStuckTimeoutMs = 200;

} // namespace

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
    // A pipe nobody reads must not hold the logging thread, and with it every caller waiting
    // for an error line: write in pipe-sized pieces and give up on a descriptor that stays full.
    const char* data = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, m_stuck ? 0 : kStuckTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        m_stuck = ready == 0;
        if (ready <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break; // the lines are lost on the console only
        const ssize_t written = ::write(m_fd, data, size_t(std::min<qsizetype>(left, PIPE_BUF)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    m_buffer.clear();
}
