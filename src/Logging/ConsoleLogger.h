#pragma once

#include "AbstractLogger.h"

#include <unistd.h>

// Writes lines to standard error (or another descriptor), one write per batch.
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
};
