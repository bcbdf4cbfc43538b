#pragma once

#include "Logging/AbstractLogger.h"

class SSOHelperChannel;

// The helper keeps no log of its own: its lines go to the application, which logs them with
// its own.
class SSOLogForwarder : public AbstractLogger {
public:
    explicit SSOLogForwarder(SSOHelperChannel& channel)
        : m_channel(channel) {}

    void logMessage(const LogMessage& message, const QByteArray& line) override;

private:
    SSOHelperChannel& m_channel;
};
