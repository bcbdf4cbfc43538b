#include "SysLogger.h"

#include "Logging.h"

#include <QFile>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace {

bool acceptsDatagrams(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

SysLogger::SysLogger(QString socketPath)
    : m_ident(Logging::processName().toLocal8Bit())
    , m_socketPath(std::move(socketPath)) {
    openlog(m_ident.constData(), LOG_PID, LOG_USER);
}

bool SysLogger::listening() {
    // Once found listening, syslog(3) keeps its own connection and reconnects by itself.
    if (m_listening)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextLook)
        return false;
    m_listening = acceptsDatagrams(QFile::encodeName(m_socketPath));
    m_nextLook = now + kRetryInterval;
    return m_listening;
}

SysLogger::~SysLogger() {
    closelog();
}

std::shared_ptr<SysLogger> SysLogger::sharedInstance() {
    static const std::shared_ptr<SysLogger> instance = std::make_shared<SysLogger>();
    return instance;
}

int SysLogger::priorityForFlag(int flag) {
    switch (flag) {
    case 1:
        return LOG_ERR;
    case 2:
        return LOG_WARNING;
    case 4:
        return LOG_INFO;
    default:
        return LOG_DEBUG;
    }
}

void SysLogger::logMessage(const LogMessage& message, const QByteArray& line) {
    if (!listening())
        return;
    syslog(priorityForFlag(message.flag), "%s", line.constData());
}
