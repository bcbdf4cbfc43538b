#pragma once

#include "VeloraSimulator.h"

#include <QDateTime>
#include <QHash>
#include <QString>

// The OAuth tokens the simulator has handed out, and why a presented one is refused.
class SimTokens {
public:
    enum class Check { Valid, Missing, Unknown, Expired, Revoked };

    IssuedToken issueApp(const QString& clientId, const QDateTime& now);
    IssuedToken issueUser(const QString& userId, const QDateTime& now);
    Check check(const QString& token, const QDateTime& now) const;
    IssuedToken find(const QString& token) const;
    bool revoke(const QString& token);
    void expire(const QString& token, const QDateTime& now);
    void expireAll(const QString& kind, const QDateTime& now);
    QList<IssuedToken> all() const;
    void clear();

    void setLifetimeSeconds(int seconds) { m_lifetime = seconds; }
    int lifetimeSeconds() const { return m_lifetime; }

    static QString reason(Check check);
    static QByteArray errorCode(Check check);

private:
    // A new token of `kind` for its owner (a user id or a client id), kept for checks.
    IssuedToken issue(const QString& kind, const QString& userId, const QString& clientId,
                      const QDateTime& now);

    QHash<QString, IssuedToken> m_tokens;
    QList<QString> m_order;
    int m_lifetime = 3600;
};
