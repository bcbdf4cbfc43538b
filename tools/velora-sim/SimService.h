#pragma once

#include "SimIdentityProvider.h"
#include "SimMeetings.h"
#include "SimReply.h"
#include "SimTokens.h"
#include "VeloraSimulator.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The meeting service's behaviour behind the transport: routing, token checks, accounts and the
// endpoints' replies. Knows nothing about sockets or faults.
class SimService {
public:
    struct Account {
        QString username;
        QString password; // the password grant's, or the IdP's for a SAML account
        QString userId;
        QString authenticationType; // "PASSWORD", "SAML", "FB"
        QString enterpriseId;
        QJsonObject partition; // {"id", "name"}
        QJsonObject user;
        QJsonObject room;
        QJsonObject personalMeeting;
        QString invitation;
        QJsonArray contacts;
    };

    bool loadFixture(const QByteArray& json, const QDateTime& now, QString* error);

    // The endpoint name for a method and (still encoded) path; empty when none matches.
    static QString endpointFor(const QByteArray& method, const QString& encodedPath);
    SimReply handle(const QString& endpoint, const RecordedRequest& request,
                    const QString& baseUrl);

    QDateTime now() const;
    qint64 nowMs() const { return now().toMSecsSinceEpoch(); }

    SimTokens& tokens() { return m_tokens; }
    const SimTokens& tokens() const { return m_tokens; }
    const SimMeetings& meetings() const { return m_meetings; }
    const QList<Account>& accounts() const { return m_accounts; }
    const Account* accountByName(const QString& username) const;
    const Account* accountById(const QString& userId) const;
    QJsonObject accountJson(const Account& a) const;

    const QJsonArray& statsEvents() const { return m_stats; }
    const QList<QJsonObject>& uploadedLogs() const { return m_logs; }
    const QList<QJsonObject>& cancellations() const { return m_cancellations; }
    void setLatestRelease(const QString& version) { m_latestRelease = version; }

private:
    struct Auth {
        bool ok = false;
        SimReply failure;
        IssuedToken token;
        Account* account = nullptr;
    };
    Auth requireToken(const RecordedRequest& r);
    Auth requireUser(const RecordedRequest& r, const QString& pathUserId);
    Account* mutableAccount(const QString& userId);
    bool readAccount(const QJsonObject& o, const QDateTime& now, QString* error);

    SimReply token(const RecordedRequest& r);
    SimReply tokenInfo(const RecordedRequest& r);
    SimReply revoke(const RecordedRequest& r);
    SimReply securityProfile(const RecordedRequest& r, const QString& baseUrl);
    SimReply userEndpoint(const QString& endpoint, const RecordedRequest& r,
                          const QStringList& segments);
    SimReply roomUpdate(Account& a, const RecordedRequest& r);
    SimReply invitation(const Account& a, const QString& meetingId);
    SimReply meetingCall(const QString& endpoint, Account& a, const RecordedRequest& r,
                         const QString& meetingId);
    SimReply stats(const RecordedRequest& r);
    SimReply logUpload(const RecordedRequest& r);
    SimReply samlAuthRequest(const RecordedRequest& r, const QString& baseUrl);
    SimReply samlConsumer(const RecordedRequest& r);
    QJsonObject userGrant(const Account& a, const IssuedToken& t) const;

    QList<Account> m_accounts;
    QList<QPair<QString, QString>> m_clients; // id, secret
    QStringList m_enterprises;
    SimTokens m_tokens;
    SimMeetings m_meetings;
    SimIdentityProvider m_idp;
    QJsonArray m_stats;
    QList<QJsonObject> m_logs;
    QList<QJsonObject> m_cancellations;
    qint64 m_clockOffsetMs = 0;
    QString m_latestRelease = QStringLiteral("1.1.0");
};
