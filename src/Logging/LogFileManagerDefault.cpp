#include "LogFileManagerDefault.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaximumCollisionNumber = 10000;

// Digits of text[from, from + count) as a number, or -1.
int digitsAt(QStringView text, qsizetype from, qsizetype count) {
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (!text[i].isDigit() || text[i].unicode() > 127)
            return -1;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return value;
}

struct Entry {
    QString path;
    LogFileManagerDefault::FileName name;
};

} // namespace

LogFileManagerDefault::LogFileManagerDefault(QString logsDirectory, QString applicationName)
    : m_logsDirectory(std::move(logsDirectory))
    , m_applicationName(std::move(applicationName)) {}

LogFileManagerDefault::~LogFileManagerDefault() = default;

void LogFileManagerDefault::setClock(Clock clock) {
    m_clock = std::move(clock);
}

qint64 LogFileManagerDefault::nowMsecs() const {
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

QString LogFileManagerDefault::newLogFileName() const {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMsecs(), Qt::UTC);
    const QDate d = now.date();
    const QTime t = now.time();
    // Digits by hand: a locale must never change a file name.
    return m_applicationName + QString::asprintf(" %04d-%02d-%02d %02d-%02d.log", d.year(),
                                                 d.month(), d.day(), t.hour(), t.minute());
}

std::optional<LogFileManagerDefault::FileName>
LogFileManagerDefault::parseLogFileName(const QString& fileName) const {
    return parseName(fileName, m_applicationName + u' ', u' ');
}

std::optional<LogFileManagerDefault::FileName>
LogFileManagerDefault::parseName(const QString& fileName, const QString& prefix, QChar separator) {
    if (!fileName.endsWith(".log"_L1) || !fileName.startsWith(prefix))
        return std::nullopt;
    QStringView stem = QStringView(fileName).chopped(4);
    FileName result;
    const qsizetype space = stem.lastIndexOf(u' ');
    if (space > 0 && space < stem.size() - 1 && stem.size() - space - 1 <= 5) {
        const int number = digitsAt(stem, space + 1, stem.size() - space - 1);
        if (number >= 2) {
            result.number = number;
            stem = stem.left(space);
        }
    }
    // <prefix>yyyy-MM-dd<separator>HH-mm
    if (stem.size() != prefix.size() + 16)
        return std::nullopt;
    const QStringView when = stem.mid(prefix.size());
    if (when[4] != u'-' || when[7] != u'-' || when[10] != separator || when[13] != u'-')
        return std::nullopt;
    const QDate date(digitsAt(when, 0, 4), digitsAt(when, 5, 2), digitsAt(when, 8, 2));
    const QTime time(digitsAt(when, 11, 2), digitsAt(when, 14, 2));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    result.createdMsecs = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    return result;
}

QStringList LogFileManagerDefault::sortedLogFilePaths() const {
    const QDir dir(m_logsDirectory);
    std::vector<Entry> entries;
    for (const QString& fileName : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (const std::optional<FileName> name = parseLogFileName(fileName))
            entries.push_back({dir.filePath(fileName), *name});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.name.createdMsecs != b.name.createdMsecs)
            return a.name.createdMsecs > b.name.createdMsecs;
        if (a.name.number != b.name.number)
            return a.name.number > b.name.number;
        return a.path > b.path;
    });
    QStringList paths;
    paths.reserve(qsizetype(entries.size()));
    for (const Entry& entry : entries)
        paths << entry.path;
    return paths;
}

QString LogFileManagerDefault::newestLogFilePath() const {
    const QStringList paths = sortedLogFilePaths();
    return paths.isEmpty() ? QString() : paths.first();
}

qint64 LogFileManagerDefault::creationMsecsOfLogFile(const QString& path) const {
    if (const std::optional<FileName> name = parseLogFileName(QFileInfo(path).fileName()))
        return name->createdMsecs;
    const QFileInfo info(path);
    const QDateTime birth = info.birthTime();
    return (birth.isValid() ? birth : info.lastModified()).toMSecsSinceEpoch();
}

int LogFileManagerDefault::nextFreeNumber(const QString& fileName) const {
    // Continue after the highest number in use, so a newer file never sorts below an older one
    // of the same minute.
    const QString base = fileName.chopped(4) + u' ';
    int highest = 0;
    for (const QString& existing : QDir(m_logsDirectory).entryList(QDir::Files | QDir::Hidden)) {
        if (existing == fileName) {
            highest = std::max(highest, 1);
        } else if (existing.startsWith(base) && existing.endsWith(".log"_L1)) {
            const QStringView digits =
                QStringView(existing).mid(base.size(), existing.size() - base.size() - 4);
            if (!digits.isEmpty() && digits.size() <= 5)
                highest = std::max(highest, digitsAt(digits, 0, digits.size()));
        }
    }
    return highest + 1;
}

QString LogFileManagerDefault::createNewLogFile() {
    if (!QFileInfo::exists(m_logsDirectory)) {
        if (!QDir().mkpath(m_logsDirectory))
            return QString();
        QFile::setPermissions(m_logsDirectory,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString fileName = newLogFileName();
    const QString base = fileName.chopped(4);
    for (int number = nextFreeNumber(fileName); number < kMaximumCollisionNumber; ++number) {
        const QString name =
            number == 1 ? fileName : base + u' ' + QString::number(number) + ".log"_L1;
        const QString path = QDir(m_logsDirectory).filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            deleteOldLogFiles(path);
            return path;
        }
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

void LogFileManagerDefault::deleteOldLogFiles(const QString& keep) {
    // The file just created counts first, whatever its name says about its age.
    int kept = 1;
    qint64 total = QFileInfo(keep).size();
    for (const QString& path : sortedLogFilePaths()) {
        if (path == keep)
            continue;
        const qint64 size = QFileInfo(path).size();
        const bool overCount = m_maximumNumberOfLogFiles > 0 && kept >= m_maximumNumberOfLogFiles;
        const bool overQuota = m_logFilesDiskQuota > 0 && total + size > m_logFilesDiskQuota;
        if (overCount || overQuota) {
            QFile::remove(path);
            continue;
        }
        ++kept;
        total += size;
    }
}

bool LogFileManagerDefault::isLogFileFinished(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0;
}

void LogFileManagerDefault::markLogFileFinished(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0)
        ::chmod(name.constData(), st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH) & 07777);
}
