#pragma once

#include <QAbstractHttpServer>

class VeloraSimulator;

// Qt's HTTP parsing and TLS, with every parsed request handed to the simulator, which writes
// its replies (or faults) straight to the socket.
class SimHttpServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    explicit SimHttpServer(VeloraSimulator* simulator);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    VeloraSimulator* m_simulator;
};
