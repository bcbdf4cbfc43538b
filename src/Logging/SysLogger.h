#pragma once

#include "AbstractLogger.h"

// Hands each line to the system log (syslog(3); journald picks it up), identified by the
// process name.
class SysLogger : public AbstractLogger {
public:
    SysLogger();
    ~SysLogger() override;

    static std::shared_ptr<SysLogger> sharedInstance();
    static int priorityForFlag(int flag);

    void logMessage(const LogMessage& message, const QByteArray& line) override;

private:
    QByteArray m_ident; // openlog keeps the pointer
};
