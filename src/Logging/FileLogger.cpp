#include "FileLogger.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// After a failed open, wait this long before trying again so that a broken folder costs
// nothing per line.
constexpr qint64 kReopenDelayMsecs = 10 * 1000;

} // namespace

FileLogger::FileLogger(std::shared_ptr<LogFileManagerDefault> manager)
    : m_manager(std::move(manager)) {}

FileLogger::~FileLogger() {
    flush();
    closeLogFile();
}

bool FileLogger::isTooOld(qint64 createdMsecs, qint64 now) const {
    return m_rollingFrequencySeconds > 0 && now - createdMsecs >= m_rollingFrequencySeconds * 1000;
}

void FileLogger::logMessage(const LogMessage&, const QByteArray& line) {
    const qint64 now = m_manager->nowMsecs();
    if (m_fd >= 0 && isTooOld(m_createdMsecs, now))
        rollLogFile();
    if (m_fd < 0 && !openLogFile(now)) {
        m_droppedLines.fetch_add(1);
        return;
    }
    m_buffer += line;
    m_buffer += '\n';
    ++m_bufferedLines;
    if (m_maximumFileSize > 0 && m_writtenSize + m_buffer.size() >= m_maximumFileSize)
        rollLogFile();
}

void FileLogger::flush() {
    if (m_buffer.isEmpty())
        return;
    if (m_fd < 0) {
        m_droppedLines.fetch_add(quint64(m_bufferedLines));
    } else {
        const char* data = m_buffer.constData();
        qsizetype left = m_buffer.size();
        while (left > 0) {
            const ssize_t written = ::write(m_fd, data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            data += written;
            left -= written;
        }
        if (left == 0) {
            m_writtenSize += m_buffer.size();
        } else {
            // Disk full or I/O error: drop the batch and cut off whatever part of it landed.
            if (::ftruncate(m_fd, m_writtenSize) != 0)
                m_writtenSize = ::lseek(m_fd, 0, SEEK_END);
            m_droppedLines.fetch_add(quint64(m_bufferedLines));
        }
    }
    m_buffer.clear();
    m_bufferedLines = 0;
}

void FileLogger::rollLogFile() {
    flush();
    if (m_fd < 0)
        return;
    LogFileManagerDefault::markLogFileFinished(m_path);
    closeLogFile();
}

void FileLogger::closeLogFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_writtenSize = 0;
}

bool FileLogger::openLogFile(qint64 now) {
    if (now < m_nextOpenAttemptMsecs)
        return false;
    if (!m_triedContinue) {
        m_triedContinue = true;
        if (continueNewestLogFile(now))
            return true;
    }
    const QString path = m_manager->createNewLogFile();
    if (!path.isEmpty() && openForAppend(path)) {
        m_createdMsecs = now;
        return true;
    }
    m_nextOpenAttemptMsecs = now + kReopenDelayMsecs;
    return false;
}

bool FileLogger::continueNewestLogFile(qint64 now) {
    const QString newest = m_manager->newestLogFilePath();
    if (newest.isEmpty() || LogFileManagerDefault::isLogFileFinished(newest))
        return false;
    const qint64 created = m_manager->creationMsecsOfLogFile(newest);
    const qint64 size = QFileInfo(newest).size();
    if ((m_maximumFileSize > 0 && size >= m_maximumFileSize) || isTooOld(created, now) ||
        !openForAppend(newest)) {
        LogFileManagerDefault::markLogFileFinished(newest);
        return false;
    }
    m_createdMsecs = created;
    return true;
}

bool FileLogger::openForAppend(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    m_writtenSize = ::fstat(fd, &st) == 0 ? qint64(st.st_size) : 0;
    m_fd = fd;
    m_path = path;
    return true;
}
