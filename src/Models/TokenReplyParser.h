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

} // namespace TokenReplyParser
