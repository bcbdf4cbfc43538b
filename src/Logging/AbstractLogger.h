#pragma once

#include "DetailedLogFormatter.h"
#include "LogMessage.h"

#include <QByteArray>
#include <memory>

// A log destination. The dispatcher formats each message with the logger's formatter and hands
// over the UTF-8 line (without newline); flush() follows every batch. All calls for one logger
// come from one thread at a time, so loggers need no locking of their own.
class AbstractLogger {
public:
    AbstractLogger();
    virtual ~AbstractLogger();
    AbstractLogger(const AbstractLogger&) = delete;
    AbstractLogger& operator=(const AbstractLogger&) = delete;

    // Set before the logger is added to the dispatcher.
    void setLogFormatter(std::shared_ptr<DetailedLogFormatter> formatter);
    DetailedLogFormatter* logFormatter() const { return m_formatter.get(); }

    virtual void logMessage(const LogMessage& message, const QByteArray& line) = 0;
    virtual void flush() {}

private:
    std::shared_ptr<DetailedLogFormatter> m_formatter;
};
