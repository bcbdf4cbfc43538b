#pragma once

#include "AbstractLogger.h"
#include "LogFileManagerDefault.h"

#include <atomic>
#include <memory>

// Appends lines to the manager's current log file and rolls to a new one when the file reaches
// the maximum size or gets older than the rolling frequency. At its first line it continues the
// newest file when that one is unfinished, small enough and young enough.
//
// Writes never block on a failing disk for long and never throw: when the folder cannot be
// written or the disk is full the lines are dropped (and counted), and a partly written batch
// is cut back so the file holds whole lines only.
class FileLogger : public AbstractLogger {
public:
    explicit FileLogger(std::shared_ptr<LogFileManagerDefault> manager);
    ~FileLogger() override;

    LogFileManagerDefault& logFileManager() const { return *m_manager; }

    // Configure before the logger is added.
    void setMaximumFileSize(qint64 bytes) { m_maximumFileSize = bytes; }
    qint64 maximumFileSize() const { return m_maximumFileSize; }
    void setRollingFrequency(qint64 seconds) { m_rollingFrequencySeconds = seconds; }
    qint64 rollingFrequency() const { return m_rollingFrequencySeconds; }

    void logMessage(const LogMessage& message, const QByteArray& line) override;
    void flush() override;

    // Finishes the current file; the next line goes to a new one.
    void rollLogFile();
    // Lines that could not be written (folder unusable, disk full).
    quint64 droppedLineCount() const { return m_droppedLines.load(); }

private:
    bool openLogFile(qint64 now);
    bool continueNewestLogFile(qint64 now);
    bool openForAppend(const QString& path);
    void closeLogFile();
    bool isTooOld(qint64 createdMsecs, qint64 now) const;

    std::shared_ptr<LogFileManagerDefault> m_manager;
    qint64 m_maximumFileSize = 1024 * 1024;
    qint64 m_rollingFrequencySeconds = 24 * 60 * 60;

    int m_fd = -1;
    QString m_path;
    qint64 m_createdMsecs = 0;
    qint64 m_writtenSize = 0; // on disk
    QByteArray m_buffer;      // lines of the current batch, not yet written
    int m_bufferedLines = 0;
    bool m_triedContinue = false;
    qint64 m_nextOpenAttemptMsecs = 0;
    std::atomic<quint64> m_droppedLines{0};
};
