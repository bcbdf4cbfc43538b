#pragma once

#include <QByteArray>
#include <QVariant>
#include <optional>

// Pure readers of the token and account-discovery replies. Every value goes through
// TamberDataModel::scalarOrAbsent, so a null, list or map in a reply never lands in a field,
// and a field missing from the reply reads absent.
namespace TokenReplyParser {

// Client-credentials grant: "access_token", "expires_in".
struct ClientGrant {
    QVariant accessToken;
    QVariant expiresIn;
};
ClientGrant parseClientGrant(const QByteArray& body);

// Password grant: the token, its lifetime and the scope's partition and user.
struct PasswordGrant {
    QVariant accessToken;
    QVariant expiresIn;
    QVariant partitionId;   // "scope" -> "partition" -> "id"
    QVariant partitionName; // "scope" -> "partition" -> "name"
    QVariant userId;        // "scope" -> "user"
};
PasswordGrant parsePasswordGrant(const QByteArray& body);

// Security profile; nothing when the body is not a JSON object.
struct SecurityProfile {
    QVariant authenticationType;
    QVariant idpURL;
    QVariant enterpriseId;
    bool hasEnterpriseId = false;
};
std::optional<SecurityProfile> parseSecurityProfile(const QByteArray& body);

// Token information: a "user" marks the token valid.
bool tokenInfoHasUser(const QByteArray& body);

// What a token-information answer says. Only a definitive answer makes a token invalid: HTTP
// 401, the service's error document naming the token, or token information without a user.
// Anything else (a 5xx, a proxy's page, garbage, an empty body) tells nothing about it.
enum class TokenVerdict { Valid, Invalid, Unknown };
TokenVerdict judgeTokenInfo(int httpStatus, const QByteArray& body);

// A password grant the service turned down for good (wrong password, account gone): a 4xx
// answer carrying the service's JSON error document, or a 401. A 5xx or an unreadable answer
// is no refusal.
bool isGrantRefused(int httpStatus, const QByteArray& body);

} // namespace TokenReplyParser
