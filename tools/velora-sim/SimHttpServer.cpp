#include "SimHttpServer.h"

#include "VeloraSimulator.h"

SimHttpServer::SimHttpServer(VeloraSimulator* simulator)
    : m_simulator(simulator) {}

bool SimHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    return m_simulator->handleRequest(request, socket);
}

void SimHttpServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // handleRequest answers everything, unknown paths included.
}
