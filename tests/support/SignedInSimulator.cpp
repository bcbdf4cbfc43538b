#include "SignedInSimulator.h"

#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"

#include <QFile>

SignedInSimulator::SignedInSimulator() = default;
SignedInSimulator::~SignedInSimulator() = default;

bool SignedInSimulator::start() {
    if (!m_sim.start())
        return false;
    ServiceCall::addTrustedCaCertificates(VeloraSimulator::caCertificates());
    return true;
}

void SignedInSimulator::resetRecord() {
    TamberDataModel::resetForTesting();
    QFile::remove(PreferencesStore::defaultPath());
    m_sim.clearFaults();
    m_sim.clearRequests();
    TamberDataModel::sharedData()->apiHost = m_sim.apiHost();
    m_userId.clear();
    m_token.clear();
}

QString SignedInSimulator::signIn(const QString& username) {
    resetRecord();
    m_userId = m_sim.userIdOf(username);
    m_token = m_sim.issueUserToken(username);
    TamberDataModel* record = TamberDataModel::sharedData();
    record->userId = m_userId;
    record->access_token = m_token;
    m_sim.clearRequests();
    return m_token;
}
