#include "SSOLogForwarder.h"

#include "Authentication/SSOLogin/SSOHelperProtocol.h"
#include "SSOHelperChannel.h"

void SSOLogForwarder::logMessage(const LogMessage& message, const QByteArray&) {
    m_channel.send({{"event", SSOHelperProtocol::kLog},
                    {"level", message.flag},
                    {"message", message.message}});
}
