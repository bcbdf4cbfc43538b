#pragma once

#include "AbstractLogger.h"

#include <unistd.h>

// Writes lines to standard error (or another descriptor) at the end of each batch. A console
// that stops taking output (a full pipe nobody reads) loses lines after a short wait instead
// of stalling the logging thread.
class ConsoleLogger : public AbstractLogger {
public:
    explicit ConsoleLogger(int fd = STDERR_FILENO);
    ~ConsoleLogger() override;

    static std::shared_ptr<ConsoleLogger> sharedInstance();

    void logMessage(const LogMessage& message, const QByteArray& line) override;
    void flush() override;

private:
    int m_fd;
    QByteArray m_buffer;
    bool m_stuck = false; // waited in vain last time: don't wait again until it drains
};
