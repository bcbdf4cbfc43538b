#include "Models/TokenReplyParser.h"

#include "Models/TamberDataModel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// A body that is not a JSON object reads as an empty object: every key is absent.
QJsonObject objectOf(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

QVariant scalar(const QJsonObject& object, const char* key) {
    return TamberDataModel::scalarOrAbsent(object.value(QLatin1String(key)).toVariant());
}

QJsonObject child(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toObject();
}

} // namespace

TokenReplyParser::ClientGrant TokenReplyParser::parseClientGrant(const QByteArray& body) {
    const QJsonObject reply = objectOf(body);
    return {scalar(reply, "access_token"), scalar(reply, "expires_in")};
}

TokenReplyParser::PasswordGrant TokenReplyParser::parsePasswordGrant(const QByteArray& body) {
    const QJsonObject reply = objectOf(body);
    const QJsonObject scope = child(reply, "scope");
    const QJsonObject partition = child(scope, "partition");
    return {scalar(reply, "access_token"), scalar(reply, "expires_in"), scalar(partition, "id"),
            scalar(partition, "name"), scalar(scope, "user")};
}

std::optional<TokenReplyParser::SecurityProfile>
TokenReplyParser::parseSecurityProfile(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject reply = document.object();
    SecurityProfile profile;
    profile.authenticationType = scalar(reply, "authenticationType");
    profile.idpURL = scalar(reply, "idpURL");
    profile.enterpriseId = scalar(reply, "enterpriseId");
    profile.hasEnterpriseId = profile.enterpriseId.isValid();
    return profile;
}

bool TokenReplyParser::tokenInfoHasUser(const QByteArray& body) {
    const QJsonValue user = objectOf(body).value(QLatin1String("user"));
    return !user.isUndefined() && !user.isNull();
}

TokenReplyParser::TokenVerdict TokenReplyParser::judgeTokenInfo(int httpStatus,
                                                                const QByteArray& body) {
    if (httpStatus == 401)
        return TokenVerdict::Invalid;
    if (httpStatus >= 500)
        return TokenVerdict::Unknown;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return TokenVerdict::Unknown;
    const QJsonObject reply = document.object();
    if (httpStatus < 400 && tokenInfoHasUser(body))
        return TokenVerdict::Valid;
    static const QStringList tokenErrors{
        QStringLiteral("invalid_token"), QStringLiteral("INVALID_TOKEN"),
        QStringLiteral("TOKEN_EXPIRED"), QStringLiteral("MISSING_TOKEN")};
    for (const char* key : {"error", "errorCode"}) {
        if (tokenErrors.contains(reply.value(QLatin1String(key)).toString()))
            return TokenVerdict::Invalid;
    }
    // Information about a token that is not a user's (an application token, say).
    if (httpStatus < 400 && reply.contains(QLatin1String("token_type")))
        return TokenVerdict::Invalid;
    return TokenVerdict::Unknown;
}

bool TokenReplyParser::isGrantRefused(int httpStatus, const QByteArray& body) {
    if (httpStatus == 401)
        return true;
    return httpStatus >= 400 && httpStatus < 500 && QJsonDocument::fromJson(body).isObject();
}
