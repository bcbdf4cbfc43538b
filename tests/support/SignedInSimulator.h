#pragma once

#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"
#include "VeloraSimulator.h"

#include <QFile>

// An in-process simulator over real TLS with the account record pointed at it: the test CA is
// trusted, the record and the preferences file start empty, and signIn() gives the record a
// fresh user token of a fixture account (past the password grant).
class SignedInSimulator {
public:
    // Listens and trusts the test CA; false when the simulator could not start.
    bool start() {
        if (!m_sim.start())
            return false;
        ServiceCall::addTrustedCaCertificates(VeloraSimulator::caCertificates());
        return true;
    }
    // Empties the record (creation defaults), deletes the preferences file, clears faults and
    // recorded requests, and sets the record's apiHost to the simulator.
    void resetRecord() {
        TamberDataModel::resetForTesting();
        QFile::remove(PreferencesStore::defaultPath());
        m_sim.clearFaults();
        m_sim.clearRequests();
        TamberDataModel::sharedData()->apiHost = m_sim.apiHost();
        m_userId.clear();
        m_token.clear();
    }
    // resetRecord(), then userId and access_token of `username`. Returns the token.
    QString signIn(const QString& username = QString::fromLatin1(VeloraSimulator::PasswordUser)) {
        resetRecord();
        m_userId = m_sim.userIdOf(username);
        m_token = m_sim.issueUserToken(username);
        TamberDataModel::sharedData()->userId = m_userId;
        TamberDataModel::sharedData()->access_token = m_token;
        m_sim.clearRequests();
        return m_token;
    }

    VeloraSimulator& sim() { return m_sim; }
    const VeloraSimulator& sim() const { return m_sim; }
    QString userId() const { return m_userId; }
    QString token() const { return m_token; }

private:
    VeloraSimulator m_sim;
    QString m_userId;
    QString m_token;
};
