#pragma once

#include "SimReply.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <functional>

// The enterprise identity provider and the service's half of the SAML exchange: auth requests
// handed out by the service, the IdP login page, the signed-in user's self-submitting assertion
// form, and the one-time check of an assertion at the consumer.
class SimIdentityProvider {
public:
    // Returns the user id for valid IdP credentials of that enterprise, else empty.
    using CredentialCheck = std::function<QString(
        const QString& enterpriseId, const QString& username, const QString& password)>;

    struct Assertion {
        QString userId;
        QString enterpriseId;
        bool ok = false;
        QString error;
    };

    void clear();
    // Registers an auth request and returns the login-page address for it.
    QString beginAuthRequest(const QString& enterpriseId, const QString& baseUrl);
    SimReply loginPage(const QMap<QString, QString>& query, const QString& baseUrl) const;
    SimReply login(const QMap<QString, QString>& form, const QString& baseUrl,
                   const CredentialCheck& check);
    // Accepts each SAMLResponse once, and only with the RelayState it was issued for.
    Assertion consume(const QMap<QString, QString>& form);

private:
    struct Request {
        QString enterpriseId;
        QString relayState;
    };
    struct Issued {
        QString userId;
        QString enterpriseId;
        QString relayState;
        bool used = false;
    };
    QString page(const QString& requestId, const QString& relayState, const QString& baseUrl,
                 const QString& message, const QString& username) const;

    QHash<QString, Request> m_requests;
    QHash<QString, Issued> m_assertions; // keyed by the SAMLResponse text
};
