#include "SSOHelperChannel.h"

#include "Authentication/SSOLogin/SSOHelperProtocol.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

SSOHelperChannel::SSOHelperChannel(QObject* parent)
    : QObject(parent) {
    // Close-on-exec: the web engine's own processes must not hold the event pipe open.
    m_out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SSOHelperChannel::readAvailable);
}

SSOHelperChannel::~SSOHelperChannel() {
    std::lock_guard lock(m_writeLock);
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
}

void SSOHelperChannel::send(const QJsonObject& event) {
    const QByteArray line = SSOHelperProtocol::encode(event);
    std::lock_guard lock(m_writeLock);
    qsizetype written = 0;
    while (m_out >= 0 && written < line.size()) {
        const ssize_t n = ::write(m_out, line.constData() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the application is gone; its end-of-file ends this process
        written += n;
    }
}

void SSOHelperChannel::readAvailable() {
    char buffer[16384];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        emit closed();
        return;
    }
    m_pending.append(buffer, n);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (const auto command = SSOHelperProtocol::decode(line))
            emit received(*command);
    }
}
