#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

struct LogMessage;
class LogSpyLogger;

// Collects the lines the application logs while it exists (messages after redaction, with
// their level). lines() first waits until every line logged so far has been delivered.
class LogSpy {
public:
    struct Line {
        int flag = 0;
        QString message;
    };

    LogSpy();
    ~LogSpy();
    LogSpy(const LogSpy&) = delete;
    LogSpy& operator=(const LogSpy&) = delete;

    QList<Line> lines() const;
    // Messages logged at `flag` (Log::Error, Log::Debug, ...).
    QStringList messages(int flag) const;
    // True when a line at `flag` equals `message`, or starts with it when prefix is set.
    bool contains(int flag, const QString& message, bool prefix = false) const;
    void clear();

private:
    std::shared_ptr<LogSpyLogger> m_logger;
};
