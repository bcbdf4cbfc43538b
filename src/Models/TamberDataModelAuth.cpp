// Tokens and account discovery: the two grants, the security-profile lookup, validation with
// silent renewal, and revocation.
//
// Two validations started together each send their own token check and, for a password
// account, their own grant; every reply is applied whole on the main thread, so the record
// ends with the five token fields of whichever grant answered last (both tokens are valid at
// the service), and each caller hears back through its own callbacks.
#include "Logging/Log.h"
#include "Models/TamberDataModel.h"
#include "Models/TokenReplyParser.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

namespace {

TamberDataModel& record() {
    return *TamberDataModel::sharedData();
}

void putIfPresent(QJsonObject& body, const char* key, const QVariant& value) {
    const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
    if (scalar.isValid())
        body.insert(QLatin1String(key), QJsonValue::fromVariant(scalar));
}

// The grants go out as compact JSON without a Content-Type header, as the service expects.
ServiceCall::Request grantRequest(const QJsonObject& body) {
    ServiceCall::Request request;
    request.method = QStringLiteral("POST");
    request.url = TamberDataModel::oAuthTokenURL();
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return request;
}

ServiceCall::Request clientCredentialsGrant() {
    QJsonObject body{{QStringLiteral("grant_type"), QStringLiteral("client_credentials")}};
    putIfPresent(body, "client_id", record().clientId);
    putIfPresent(body, "client_secret", record().clientSecret);
    return grantRequest(body);
}

ServiceCall::Request passwordGrant() {
    QJsonObject body{{QStringLiteral("grant_type"), QStringLiteral("password")}};
    putIfPresent(body, "username", record().username);
    putIfPresent(body, "password", record().password);
    return grantRequest(body);
}

void applyPasswordGrant(const TokenReplyParser::PasswordGrant& grant) {
    TamberDataModel& m = record();
    m.access_token = grant.accessToken;
    m.expires_in = grant.expiresIn;
    m.partitionId = grant.partitionId;
    m.partitionName = grant.partitionName;
    m.userId = grant.userId;
}

ServiceCall::Request bodiless(const QString& method, const QString& url) {
    ServiceCall::Request request;
    request.method = method;
    request.url = url;
    return request;
}

// Callers must give these callbacks; a missing one does nothing rather than throw.
template <typename F> F orNothing(F callback) {
    return callback ? std::move(callback) : F([](auto&&...) {});
}

void postLater(const QString& name) {
    MainQueue::async([name] { NotificationCenter::defaultCenter().post(name); });
}

bool isText(const QVariant& value, const char* text) {
    return value.typeId() == QMetaType::QString && value.toString() == QLatin1String(text);
}

// The client-credentials grant; the reply's token goes into the record. A failure reaches
// `failed` with the error (or nothing) and the error line that names it; only the lookup logs
// it, the statistics and sign-on callers drop their work without a word.
using GrantFailure =
    std::function<void(const std::optional<ServiceError>& error, const QString& errorLine)>;

void grantApplicationToken(std::function<void()> ok, GrantFailure failed) {
    ServiceCall::send(clientCredentialsGrant(), [ok, failed](const ServiceReply& reply) {
        if (reply.error) {
            failed(reply.error,
                   QStringLiteral("Error %1").arg(ServiceCall::describe(*reply.error)));
            return;
        }
        if (reply.body.isEmpty()) {
            failed(std::nullopt, QStringLiteral("Error. Empty data"));
            return;
        }
        const auto grant = TokenReplyParser::parseClientGrant(reply.body);
        // A refused grant keeps the stored token instead of blanking it.
        if (!grant.accessToken.isValid()) {
            failed(std::nullopt, QStringLiteral("Error. No Access Token."));
            return;
        }
        record().app_access_token = grant.accessToken;
        record().app_expires_in = grant.expiresIn;
        ok();
    });
}

void handleSecurityProfile(const ServiceReply& reply, const std::function<void()>& onPassword,
                           const std::function<void()>& onSSO, const std::function<void()>& onFB,
                           const TamberDataModel::TokenErrorCallback& onError) {
    const auto profile = reply.error || reply.body.isEmpty()
                             ? std::nullopt
                             : TokenReplyParser::parseSecurityProfile(reply.body);
    if (!profile) {
        TLOG_WARN(QStringLiteral("Security profile lookup failed: %1")
                      .arg(reply.error ? ServiceCall::describe(*reply.error)
                                       : QStringLiteral("empty or unreadable reply")));
        onError(reply.error);
        return;
    }
    TamberDataModel& m = record();
    m.authenticationType = profile->authenticationType;
    if (isText(m.authenticationType, "SAML")) {
        m.idpURL = profile->idpURL;
        m.enterpriseId = profile->enterpriseId;
        onSSO();
    } else if (isText(m.authenticationType, "PASSWORD")) {
        if (profile->hasEnterpriseId)
            m.enterpriseId = profile->enterpriseId;
        onPassword();
    } else if (isText(m.authenticationType, "FB")) {
        onFB();
    } else {
        TLOG_WARN(QStringLiteral("Unknown authentication type %1")
                      .arg(TamberDataModel::textOrNull(m.authenticationType)));
        onError(std::nullopt);
    }
}

// Why a reply that settled nothing failed: its transport error, its HTTP error, or an
// unreadable body. The operation fails with it and the session stays as it is.
ServiceError undecidedError(const ServiceReply& reply) {
    if (reply.error)
        return *reply.error;
    if (const auto http = ServiceCall::httpError(reply))
        return *http;
    return ServiceCall::urlError(ServiceCall::BadServerResponse);
}

QString undecidedLine(const ServiceReply& reply) {
    if (reply.error)
        return ServiceCall::describe(*reply.error);
    if (reply.body.isEmpty() && reply.httpStatus < 400)
        return QStringLiteral("Error. Empty data.");
    return QStringLiteral("%1: HTTP %2, %3 bytes")
        .arg(ServiceCall::describe(undecidedError(reply)))
        .arg(reply.httpStatus)
        .arg(reply.body.size());
}

// Validation found the token invalid for a password account: one password grant. Only a
// refusal the service means sends the user back to sign-in; a hiccup (transport error, 5xx,
// an unreadable answer) fails this operation and keeps tokens and credentials.
void renewSilently(std::function<void()> onSuccess, TamberDataModel::TokenErrorCallback onError) {
    const QVariant sentPassword = record().password;
    ServiceCall::send(
        passwordGrant(), [onSuccess, onError, sentPassword](const ServiceReply& reply) {
            const auto grant = reply.error ? TokenReplyParser::PasswordGrant{}
                                           : TokenReplyParser::parsePasswordGrant(reply.body);
            if (!reply.error && reply.httpStatus < 400 && grant.accessToken.isValid()) {
                applyPasswordGrant(grant);
                TamberDataModel::passwordAccepted(sentPassword);
                TamberDataModel::saveDataToBundle();
                TLOG_INFO(QStringLiteral("User token renewed"));
                if (onSuccess)
                    onSuccess();
                return;
            }
            if (!reply.error && TokenReplyParser::isGrantRefused(reply.httpStatus, reply.body)) {
                TLOG_WARN(QStringLiteral("Silent token renewal failed: refused (HTTP %1)")
                              .arg(reply.httpStatus));
                postLater(QStringLiteral("AUTH_CONFIG_REQUESTED"));
                return;
            }
            TLOG_WARN(QStringLiteral("Silent token renewal failed: %1; keeping the session")
                          .arg(undecidedLine(reply)));
            if (onError)
                onError(undecidedError(reply));
        });
}

void tokenFoundInvalid(std::function<void()> onSuccess,
                       TamberDataModel::TokenErrorCallback onError) {
    const QVariant type = record().authenticationType;
    if (isText(type, "SAML")) {
        TLOG_INFO(QStringLiteral("User token not valid: single sign-on again"));
        postLater(QStringLiteral("SAML_CONFIG_REQUESTED"));
    } else if (isText(type, "PASSWORD")) {
        TLOG_INFO(QStringLiteral("User token not valid: renewing it"));
        renewSilently(std::move(onSuccess), std::move(onError));
    } else {
        TLOG_WARN(QStringLiteral("User token not valid for authentication type %1")
                      .arg(TamberDataModel::textOrNull(type)));
        if (onError)
            onError(std::nullopt);
    }
}

} // namespace

void TamberDataModel::fetchSecurityProfileDetails(const QString& accountName,
                                                  std::function<void()> onPassword,
                                                  std::function<void()> onSSO,
                                                  std::function<void()> onFB,
                                                  TokenErrorCallback onError) {
    onPassword = orNothing(std::move(onPassword));
    onSSO = orNothing(std::move(onSSO));
    onFB = orNothing(std::move(onFB));
    onError = orNothing(std::move(onError));
    MainQueue::async([=] {
        // Every lookup starts from a new application token.
        grantApplicationToken(
            [=] {
                ServiceCall::send(bodiless(QStringLiteral("GET"), securityProfileURL(accountName)),
                                  [=](const ServiceReply& reply) {
                                      handleSecurityProfile(reply, onPassword, onSSO, onFB,
                                                            onError);
                                  });
            },
            [onError](const std::optional<ServiceError>& error, const QString& errorLine) {
                TLOG_ERROR(errorLine);
                onError(error);
            });
    });
}

void TamberDataModel::refreshAccessToken(std::function<void()> onSuccess,
                                         TokenErrorCallback onError) {
    onSuccess = orNothing(std::move(onSuccess));
    onError = orNothing(std::move(onError));
    const QVariant sentPassword = record().password;
    ServiceCall::send(passwordGrant(),
                      [onSuccess, onError, sentPassword](const ServiceReply& reply) {
                          if (reply.error || reply.body.isEmpty()) {
                              if (reply.error)
                                  TLOG_ERROR(ServiceCall::describe(*reply.error));
                              else
                                  TLOG_ERROR(QStringLiteral("Error. Empty data."));
                              onError(reply.error);
                              return;
                          }
                          // A refused grant (an error document) leaves no access_token; the caller
                          // decides by it.
                          const auto grant = TokenReplyParser::parsePasswordGrant(reply.body);
                          applyPasswordGrant(grant);
                          // Only a password the service took may reach the keychain.
                          if (reply.httpStatus < 400 && grant.accessToken.isValid())
                              passwordAccepted(sentPassword);
                          saveDataToBundle();
                          onSuccess();
                      });
}

void TamberDataModel::validateTokenAndPerformAction(std::function<void()> onSuccess,
                                                    TokenErrorCallback onError) {
    ServiceCall::send(bodiless(QStringLiteral("GET"), validateOAuthTokenURL()),
                      [onSuccess, onError](const ServiceReply& reply) {
                          using TokenReplyParser::TokenVerdict;
                          const TokenVerdict verdict =
                              reply.error
                                  ? TokenVerdict::Unknown
                                  : TokenReplyParser::judgeTokenInfo(reply.httpStatus, reply.body);
                          if (verdict == TokenVerdict::Valid) {
                              saveDataToBundle();
                              if (onSuccess)
                                  onSuccess();
                          } else if (verdict == TokenVerdict::Invalid) {
                              tokenFoundInvalid(onSuccess, onError);
                          } else {
                              // The session stays; the next operation checks again.
                              TLOG_ERROR(undecidedLine(reply));
                              if (onError)
                                  onError(undecidedError(reply));
                          }
                      });
}

void TamberDataModel::requestApplicationToken(std::function<void(bool obtained)> done) {
    grantApplicationToken([done] { done(true); }, [done](const std::optional<ServiceError>&,
                                                         const QString&) { done(false); });
}

void TamberDataModel::sendWithApplicationToken(std::function<ServiceCall::Request()> build,
                                               ServiceCall::Completion done) {
    const auto sendOnce = [build, done] { ServiceCall::send(build(), done); };
    const auto sendRenewingOn401 = [build, done, sendOnce] {
        ServiceCall::send(build(), [done, sendOnce](const ServiceReply& reply) {
            if (reply.httpStatus != 401) {
                done(reply);
                return;
            }
            TLOG_INFO(QStringLiteral("Application token refused: renewing it once"));
            requestApplicationToken([done, sendOnce, reply](bool obtained) {
                if (obtained)
                    sendOnce();
                else
                    done(reply);
            });
        });
    };
    if (isPresent(record().app_access_token)) {
        sendRenewingOn401();
        return;
    }
    // Without a token there is nothing to send: a new one, then the call (no second renewal).
    requestApplicationToken([done, sendOnce](bool obtained) {
        if (obtained)
            sendOnce();
        else
            done(ServiceReply{});
    });
}

void TamberDataModel::revokeAccessToken(std::function<void()> onFailure) {
    ServiceCall::send(bodiless(QStringLiteral("DELETE"), signOutURL()),
                      [onFailure](const ServiceReply& reply) {
                          if (reply.error && onFailure)
                              onFailure();
                      });
}
