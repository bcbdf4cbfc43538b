#pragma once

#include "VeloraSimulator.h"

#include <QSignalSpy>
#include <QSslSocket>

// The certificate chain the simulator presents in a real handshake (not verified here).
inline QList<QSslCertificate> presentedChain(const VeloraSimulator& sim) {
    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::QueryPeer);
    QSignalSpy encrypted(&socket, &QSslSocket::encrypted);
    // The simulator answers on this thread: wait in the event loop, not in the socket.
    socket.connectToHostEncrypted(QStringLiteral("localhost"), sim.port());
    if (!encrypted.wait(10000))
        return {};
    return socket.peerCertificateChain();
}
