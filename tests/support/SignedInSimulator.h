#pragma once

#include "VeloraSimulator.h"

#include <QString>

// An in-process simulator over real TLS with the account record pointed at it: the test CA is
// trusted, the record and the preferences file start empty, and signIn() gives the record a
// fresh user token of a fixture account (past the password grant).
class SignedInSimulator {
public:
    SignedInSimulator();
    ~SignedInSimulator();

    // Listens and trusts the test CA; false when the simulator could not start.
    bool start();
    // Empties the record (creation defaults), deletes the preferences file, clears faults and
    // recorded requests, and sets the record's apiHost to the simulator.
    void resetRecord();
    // resetRecord(), then userId and access_token of `username`. Returns the token.
    QString signIn(const QString& username = QString::fromLatin1(VeloraSimulator::PasswordUser));

    VeloraSimulator& sim() { return m_sim; }
    const VeloraSimulator& sim() const { return m_sim; }
    QString userId() const { return m_userId; }
    QString token() const { return m_token; }

private:
    VeloraSimulator m_sim;
    QString m_userId;
    QString m_token;
};
