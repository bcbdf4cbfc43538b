#pragma once

#include "AbstractLogger.h"

#include <QString>
#include <chrono>

// Hands each line to the system log (syslog(3); journald picks it up), identified by the
// process name.
//
// Without a listening system log, syslog(3) tries to connect again before every line. This
// logger checks the socket itself and, when nobody listens, skips the lines and looks again
// at most once every kRetryInterval.
class SysLogger : public AbstractLogger {
public:
    // `socketPath`: where the system log listens (tests point it elsewhere).
    explicit SysLogger(QString socketPath = QStringLiteral("/dev/log"));
    ~SysLogger() override;

    static std::shared_ptr<SysLogger> sharedInstance();
    static int priorityForFlag(int flag);
    static constexpr std::chrono::seconds kRetryInterval{60};

    void logMessage(const LogMessage& message, const QByteArray& line) override;
    // Whether the last look found the system log listening.
    bool isListening() const { return m_listening; }

private:
    bool listening();

    QByteArray m_ident; // openlog keeps the pointer
    QString m_socketPath;
    bool m_listening = false;
    std::chrono::steady_clock::time_point m_nextLook{};
};
