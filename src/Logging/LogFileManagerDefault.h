#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

// Owns the log files of one folder: names new files, lists its own files newest first, and
// deletes the oldest ones beyond the limits. The listing may be read from any thread while the
// file logger creates files on the logging thread.
//
// A file's creation time is the UTC minute written in its name (with the collision number as the
// tie-breaker), so the order does not depend on whether the file system records birth times.
// A finished file is one that has been made read-only; the logger never appends to it again.
class LogFileManagerDefault {
public:
    using Clock = std::function<qint64()>; // milliseconds since 1970 UTC

    struct FileName {
        qint64 createdMsecs = 0;
        int number = 1; // 1 for "x.log", 2 for "x 2.log", ...
    };

    LogFileManagerDefault(QString logsDirectory, QString applicationName);
    virtual ~LogFileManagerDefault();
    LogFileManagerDefault(const LogFileManagerDefault&) = delete;
    LogFileManagerDefault& operator=(const LogFileManagerDefault&) = delete;

    QString logsDirectory() const { return m_logsDirectory; }
    QString applicationName() const { return m_applicationName; }

    void setMaximumNumberOfLogFiles(int count) { m_maximumNumberOfLogFiles = count; }
    int maximumNumberOfLogFiles() const { return m_maximumNumberOfLogFiles; }
    void setLogFilesDiskQuota(qint64 bytes) { m_logFilesDiskQuota = bytes; }
    qint64 logFilesDiskQuota() const { return m_logFilesDiskQuota; }

    // Tests move time by hand; the default is the system clock.
    void setClock(Clock clock);
    qint64 nowMsecs() const;

    // "<application name> <yyyy-MM-dd HH-mm>.log", the time in UTC.
    virtual QString newLogFileName() const;
    // Recognises the names this manager creates, with or without a collision number.
    virtual std::optional<FileName> parseLogFileName(const QString& fileName) const;
    bool isLogFile(const QString& fileName) const { return parseLogFileName(fileName).has_value(); }

    // Paths of this manager's files in its folder, newest first.
    QStringList sortedLogFilePaths() const;
    QString newestLogFilePath() const;
    qint64 creationMsecsOfLogFile(const QString& path) const;

    // Creates an empty new file (private to the user) and applies retention. When the name is
    // taken, " 2", " 3", ... goes before ".log". Returns the path, or empty on failure.
    QString createNewLogFile();

    static bool isLogFileFinished(const QString& path);
    static void markLogFileFinished(const QString& path);

protected:
    // Splits "<prefix><date><separator><time>[ N].log" for the given prefix and separator.
    static std::optional<FileName> parseName(const QString& fileName, const QString& prefix,
                                             QChar separator);

private:
    void deleteOldLogFiles(const QString& keep);
    int nextFreeNumber(const QString& baseName) const;

    QString m_logsDirectory;
    QString m_applicationName;
    int m_maximumNumberOfLogFiles = 5;
    qint64 m_logFilesDiskQuota = 20 * 1024 * 1024;
    Clock m_clock;
};
