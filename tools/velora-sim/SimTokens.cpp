#include "SimTokens.h"

#include <QRandomGenerator>

namespace {

QString randomToken() {
    // 32 random bytes, hex: unguessable enough for a loopback test service.
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

IssuedToken SimTokens::issue(const QString& kind, const QString& userId, const QString& clientId,
                             const QDateTime& now) {
    IssuedToken t;
    t.token = randomToken();
    t.kind = kind;
    t.userId = userId;
    t.clientId = clientId;
    t.expiresAt = now.addSecs(m_lifetime);
    m_tokens.insert(t.token, t);
    m_order.append(t.token);
    return t;
}

IssuedToken SimTokens::issueApp(const QString& clientId, const QDateTime& now) {
    return issue(QStringLiteral("app"), QString(), clientId, now);
}

IssuedToken SimTokens::issueUser(const QString& userId, const QDateTime& now) {
    return issue(QStringLiteral("user"), userId, QString(), now);
}

SimTokens::Check SimTokens::check(const QString& token, const QDateTime& now) const {
    if (token.isEmpty())
        return Check::Missing;
    const auto it = m_tokens.constFind(token);
    if (it == m_tokens.constEnd())
        return Check::Unknown;
    if (it->revoked)
        return Check::Revoked;
    if (now >= it->expiresAt)
        return Check::Expired;
    return Check::Valid;
}

IssuedToken SimTokens::find(const QString& token) const {
    return m_tokens.value(token);
}

bool SimTokens::revoke(const QString& token) {
    auto it = m_tokens.find(token);
    if (it == m_tokens.end())
        return false;
    it->revoked = true;
    return true;
}

void SimTokens::expire(const QString& token, const QDateTime& now) {
    auto it = m_tokens.find(token);
    if (it != m_tokens.end())
        it->expiresAt = now.addSecs(-1);
}

void SimTokens::expireAll(const QString& kind, const QDateTime& now) {
    for (auto& t : m_tokens) {
        if (t.kind == kind)
            t.expiresAt = now.addSecs(-1);
    }
}

QList<IssuedToken> SimTokens::all() const {
    QList<IssuedToken> out;
    for (const auto& key : m_order)
        out.append(m_tokens.value(key));
    return out;
}

void SimTokens::clear() {
    m_tokens.clear();
    m_order.clear();
}

QString SimTokens::reason(Check check) {
    switch (check) {
    case Check::Valid:
        return {};
    case Check::Missing:
        return QStringLiteral("Access token is missing");
    case Check::Unknown:
        return QStringLiteral("Access token is invalid");
    case Check::Expired:
        return QStringLiteral("Access token has expired");
    case Check::Revoked:
        return QStringLiteral("Access token has been revoked");
    }
    return {};
}

QByteArray SimTokens::errorCode(Check check) {
    switch (check) {
    case Check::Valid:
        return {};
    case Check::Missing:
        return "MISSING_TOKEN";
    case Check::Expired:
        return "TOKEN_EXPIRED";
    case Check::Unknown:
    case Check::Revoked:
        return "INVALID_TOKEN";
    }
    return {};
}
