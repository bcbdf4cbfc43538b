#include "SysLogger.h"

#include "Logging.h"

#include <syslog.h>

SysLogger::SysLogger()
    : m_ident(Logging::processName().toLocal8Bit()) {
    openlog(m_ident.constData(), LOG_PID, LOG_USER);
}

SysLogger::~SysLogger() {
    closelog();
}

std::shared_ptr<SysLogger> SysLogger::sharedInstance() {
    static const std::shared_ptr<SysLogger> instance = std::make_shared<SysLogger>();
    return instance;
}

int SysLogger::priorityForFlag(int flag) {
    switch (flag) {
    case 1:
        return LOG_ERR;
    case 2:
        return LOG_WARNING;
    case 4:
        return LOG_INFO;
    default:
        return LOG_DEBUG;
    }
}

void SysLogger::logMessage(const LogMessage& message, const QByteArray& line) {
    syslog(priorityForFlag(message.flag), "%s", line.constData());
}
