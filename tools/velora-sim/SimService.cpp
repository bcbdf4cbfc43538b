#include "SimService.h"

#include "SimAssets.h"
#include "SimCalendarFeeds.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

namespace {

using E = VeloraSimulator::Endpoint;

struct Route {
    QByteArray method;
    QRegularExpression path;
    const char* endpoint;
};

const QList<Route>& routes() {
    // Matched against the encoded path, so an encoded "/" inside an id stays inside its segment.
    static const QList<Route> table{
        {"POST", QRegularExpression(QStringLiteral("^/oauth2/token$")), E::Token},
        {"DELETE", QRegularExpression(QStringLiteral("^/oauth2/token$")), E::Revoke},
        {"GET", QRegularExpression(QStringLiteral("^/oauth2/tokenInfo$")), E::TokenInfo},
        {"GET", QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/security_profile$")),
         E::SecurityProfile},
        {"GET", QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/room/?$")), E::Room},
        {"PUT", QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/room/?$")),
         E::RoomUpdate},
        {"GET",
         QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/personal_meeting/?$")),
         E::PersonalMeeting},
        {"GET",
         QRegularExpression(QStringLiteral("^/v1/user/([^/]+)/scheduled_meeting/([^/]+)/emails$")),
         E::Invitation},
        {"GET", QRegularExpression(QStringLiteral("^/v1/user/([^/]+)/scheduled_meeting/?$")),
         E::Meetings},
        {"POST",
         QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/scheduled_meeting/?$")),
         E::CreateMeeting},
        {"PUT",
         QRegularExpression(
             QStringLiteral("^/ridgeapi/v1/user/([^/]+)/scheduled_meeting/([^/]+)$")),
         E::ChangeMeeting},
        {"DELETE",
         QRegularExpression(
             QStringLiteral("^/ridgeapi/v1/user/([^/]+)/scheduled_meeting/([^/]+)$")),
         E::CancelMeeting},
        {"GET", QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/contact/?$")),
         E::Contacts},
        {"GET", QRegularExpression(QStringLiteral("^/ridgeapi/v1/user/([^/]+)/?$")), E::User},
        {"POST", QRegularExpression(QStringLiteral("^/ridgeapi/v1/quokkastats/app/([^/]+)$")),
         E::Stats},
        {"PUT", QRegularExpression(QStringLiteral("^/put-handler\\.php$")), E::LogUpload},
        {"GET", QRegularExpression(QStringLiteral("^/z1/webapp-assets/(.+)$")), E::ProfilePicture},
        {"GET", QRegularExpression(QStringLiteral("^/tamber/appcast\\.xml$")), E::UpdateFeed},
        {"GET", QRegularExpression(QStringLiteral("^/download/tamber$")), E::DownloadPage},
        {"GET", QRegularExpression(QStringLiteral("^/calendars/([^/]+)$")), E::CalendarFeed},
        {"POST", QRegularExpression(QStringLiteral("^/sso/saml2/auth_request$")),
         E::SamlAuthRequest},
        {"GET", QRegularExpression(QStringLiteral("^/idp/login$")), E::IdpLogin},
        {"POST", QRegularExpression(QStringLiteral("^/idp/login$")), E::IdpLogin},
        {"POST", QRegularExpression(QStringLiteral("^/sso/saml2/$")), E::SamlConsumer},
    };
    return table;
}

QString matchRoute(const QByteArray& method, const QString& encodedPath, QStringList* segments) {
    for (const auto& route : routes()) {
        if (route.method != method)
            continue;
        const auto m = route.path.match(encodedPath);
        if (!m.hasMatch())
            continue;
        if (segments) {
            for (int i = 1; i <= m.lastCapturedIndex(); ++i)
                segments->append(QUrl::fromPercentEncoding(m.captured(i).toUtf8()));
        }
        return QString::fromLatin1(route.endpoint);
    }
    return {};
}

QString encodedPathOf(const QByteArray& target) {
    const int q = target.indexOf('?');
    return QString::fromUtf8(q < 0 ? target : target.left(q));
}

QString idText(const QJsonValue& v) {
    return v.isDouble() ? QString::number(v.toInteger()) : v.toString();
}

// User ids are numbers in the service's JSON, like its meeting ids.
QJsonValue idValue(const QString& id) {
    bool numeric = false;
    const qint64 n = id.toLongLong(&numeric);
    return numeric ? QJsonValue(double(n)) : QJsonValue(id);
}

bool hasJsonContentType(const RecordedRequest& r) {
    return r.header("content-type").split(';').first().trimmed().toLower() == "application/json";
}

const QStringList& roomFlags() {
    static const QStringList flags{QStringLiteral("publishMeeting"),
                                   QStringLiteral("videoBestFit"),
                                   QStringLiteral("showAllParticipantsInIcs"),
                                   QStringLiteral("isModeratorLess"),
                                   QStringLiteral("disallowChat"),
                                   QStringLiteral("muteParticipantsOnEntry"),
                                   QStringLiteral("isLargeMeeting")};
    return flags;
}

} // namespace

QString SimService::endpointFor(const QByteArray& method, const QString& encodedPath) {
    return matchRoute(method, encodedPath, nullptr);
}

QDateTime SimService::now() const {
    return QDateTime::currentDateTimeUtc().addMSecs(m_clockOffsetMs);
}

// ---------------------------------------------------------------------------------------------
// Fixture

bool SimService::readAccount(const QJsonObject& o, const QDateTime& now, QString* error) {
    Account a;
    a.username = o.value(QStringLiteral("username")).toString();
    a.password = o.value(QStringLiteral("password")).toString();
    a.userId = idText(o.value(QStringLiteral("userId")));
    a.authenticationType = o.value(QStringLiteral("authenticationType")).toString();
    a.enterpriseId = o.value(QStringLiteral("enterpriseId")).toString();
    a.partition = o.value(QStringLiteral("partition")).toObject();
    a.user = o.value(QStringLiteral("user")).toObject();
    a.room = o.value(QStringLiteral("room")).toObject();
    a.personalMeeting = o.value(QStringLiteral("personalMeeting")).toObject();
    a.invitation = o.value(QStringLiteral("invitation")).toString();
    a.contacts = o.value(QStringLiteral("contacts")).toArray();
    if (a.username.isEmpty() || a.userId.isEmpty() || a.authenticationType.isEmpty()) {
        *error = QStringLiteral("an account needs username, userId and authenticationType");
        return false;
    }
    if (accountByName(a.username) || accountById(a.userId)) {
        *error = QStringLiteral("account %1 is listed twice").arg(a.username);
        return false;
    }
    a.user.insert(QStringLiteral("id"), idValue(a.userId));
    a.user.insert(QStringLiteral("username"), a.username);
    for (const auto& m : o.value(QStringLiteral("meetings")).toArray()) {
        if (!m_meetings.addFromFixture(a.userId, m.toObject(), now, error))
            return false;
    }
    m_accounts.append(a);
    return true;
}

bool SimService::loadFixture(const QByteArray& json, const QDateTime& now, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("fixture is not a JSON object: %1").arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    m_accounts.clear();
    m_clients.clear();
    m_enterprises.clear();
    m_tokens.clear();
    m_meetings.clear();
    m_idp.clear();
    m_stats = {};
    m_logs.clear();
    m_latestRelease = QStringLiteral("1.1.0");
    m_cancellations.clear();
    m_clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(now);
    m_tokens.setLifetimeSeconds(root.value(QStringLiteral("tokenLifetimeSeconds")).toInt(3600));
    for (const auto& c : root.value(QStringLiteral("clients")).toArray()) {
        const QJsonObject o = c.toObject();
        m_clients.append({o.value(QStringLiteral("client_id")).toString(),
                          o.value(QStringLiteral("client_secret")).toString()});
    }
    for (const auto& e : root.value(QStringLiteral("enterprises")).toArray())
        m_enterprises.append(e.toObject().value(QStringLiteral("id")).toString());
    for (const auto& a : root.value(QStringLiteral("accounts")).toArray()) {
        if (!readAccount(a.toObject(), now, error))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Accounts and authorisation

const SimService::Account* SimService::accountByName(const QString& username) const {
    for (const auto& a : m_accounts) {
        if (a.username.compare(username.trimmed(), Qt::CaseInsensitive) == 0)
            return &a;
    }
    return nullptr;
}

const SimService::Account* SimService::accountById(const QString& userId) const {
    for (const auto& a : m_accounts) {
        if (a.userId == userId)
            return &a;
    }
    return nullptr;
}

SimService::Account* SimService::mutableAccount(const QString& userId) {
    for (auto& a : m_accounts) {
        if (a.userId == userId)
            return &a;
    }
    return nullptr;
}

QJsonObject SimService::accountJson(const Account& a) const {
    return QJsonObject{{QStringLiteral("username"), a.username},
                       {QStringLiteral("userId"), idValue(a.userId)},
                       {QStringLiteral("authenticationType"), a.authenticationType},
                       {QStringLiteral("enterpriseId"), a.enterpriseId},
                       {QStringLiteral("partition"), a.partition},
                       {QStringLiteral("user"), a.user},
                       {QStringLiteral("room"), a.room},
                       {QStringLiteral("personalMeeting"), a.personalMeeting},
                       {QStringLiteral("invitation"), a.invitation},
                       {QStringLiteral("contacts"), a.contacts},
                       {QStringLiteral("meetings"), m_meetings.list(a.userId, nowMs())}};
}

SimService::Auth SimService::requireToken(const RecordedRequest& r) {
    Auth auth;
    const QString token = r.queryValue(QStringLiteral("access_token"));
    const SimTokens::Check check = m_tokens.check(token, now());
    if (check != SimTokens::Check::Valid) {
        auth.failure = SimReply::error(401, SimTokens::errorCode(check), SimTokens::reason(check));
        return auth;
    }
    auth.ok = true;
    auth.token = m_tokens.find(token);
    return auth;
}

SimService::Auth SimService::requireUser(const RecordedRequest& r, const QString& pathUserId) {
    Auth auth = requireToken(r);
    if (!auth.ok)
        return auth;
    if (auth.token.kind != QLatin1String("user") || auth.token.userId != pathUserId) {
        auth.ok = false;
        auth.failure = SimReply::error(
            403, "ACCESS_DENIED",
            QStringLiteral("The access token does not grant access to user %1").arg(pathUserId));
        return auth;
    }
    auth.account = mutableAccount(pathUserId);
    if (!auth.account) {
        auth.ok = false;
        auth.failure =
            SimReply::error(404, "USER_NOT_FOUND", QStringLiteral("No user %1").arg(pathUserId));
    }
    return auth;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

SimReply SimService::handle(const QString& endpoint, const RecordedRequest& r,
                            const QString& baseUrl) {
    QStringList segments;
    matchRoute(r.method, encodedPathOf(r.target), &segments);
    if (endpoint == QLatin1String(E::Token))
        return token(r);
    if (endpoint == QLatin1String(E::TokenInfo))
        return tokenInfo(r);
    if (endpoint == QLatin1String(E::Revoke))
        return revoke(r);
    if (endpoint == QLatin1String(E::SecurityProfile))
        return securityProfile(r, baseUrl);
    if (endpoint == QLatin1String(E::Stats))
        return stats(r);
    if (endpoint == QLatin1String(E::LogUpload))
        return logUpload(r);
    if (endpoint == QLatin1String(E::ProfilePicture))
        return SimAssets::profilePicture(segments.value(0));
    if (endpoint == QLatin1String(E::UpdateFeed))
        return SimAssets::updateFeed(m_latestRelease, baseUrl);
    if (endpoint == QLatin1String(E::DownloadPage))
        return SimAssets::downloadPage();
    if (endpoint == QLatin1String(E::CalendarFeed))
        return SimCalendarFeeds::feed(segments.value(0), r, now(), baseUrl);
    if (endpoint == QLatin1String(E::SamlAuthRequest))
        return samlAuthRequest(r, baseUrl);
    if (endpoint == QLatin1String(E::SamlConsumer))
        return samlConsumer(r);
    if (endpoint == QLatin1String(E::IdpLogin)) {
        if (r.method == "GET")
            return m_idp.loginPage(r.query, baseUrl);
        return m_idp.login(
            r.formBody(), baseUrl,
            [this](const QString& enterprise, const QString& user, const QString& password) {
                const Account* a = accountByName(user);
                const bool ok = a && a->authenticationType == QLatin1String("SAML") &&
                                a->enterpriseId == enterprise && !a->password.isEmpty() &&
                                a->password == password;
                return ok ? a->userId : QString();
            });
    }
    if (!segments.isEmpty())
        return userEndpoint(endpoint, r, segments);
    return SimReply::error(
        404, "NOT_FOUND",
        QStringLiteral("No such resource: %1 %2").arg(QString::fromLatin1(r.method), r.path));
}

SimReply SimService::userEndpoint(const QString& endpoint, const RecordedRequest& r,
                                  const QStringList& segments) {
    Auth auth = requireUser(r, segments.first());
    if (!auth.ok)
        return auth.failure;
    Account& a = *auth.account;
    const QString second = segments.value(1);
    if (endpoint == QLatin1String(E::User))
        return SimReply::json(a.user);
    if (endpoint == QLatin1String(E::Room))
        return SimReply::json(a.room);
    if (endpoint == QLatin1String(E::RoomUpdate))
        return roomUpdate(a, r);
    if (endpoint == QLatin1String(E::PersonalMeeting))
        return SimReply::json(a.personalMeeting);
    if (endpoint == QLatin1String(E::Invitation))
        return invitation(a, second);
    if (endpoint == QLatin1String(E::Contacts))
        return SimReply::json(a.contacts);
    if (endpoint == QLatin1String(E::Meetings))
        return SimReply::json(m_meetings.list(a.userId, nowMs()));
    return meetingCall(endpoint, a, r, second);
}

// ---------------------------------------------------------------------------------------------
// OAuth

QJsonObject SimService::userGrant(const Account& a, const IssuedToken& t) const {
    QJsonObject scope{{QStringLiteral("user"), idValue(a.userId)},
                      {QStringLiteral("partition"), a.partition},
                      {QStringLiteral("partitionName"), a.partition.value(QStringLiteral("name"))}};
    if (!a.enterpriseId.isEmpty())
        scope.insert(QStringLiteral("enterprise"), a.enterpriseId);
    return QJsonObject{{QStringLiteral("access_token"), t.token},
                       {QStringLiteral("token_type"), QStringLiteral("bearer")},
                       {QStringLiteral("expires_in"), m_tokens.lifetimeSeconds()},
                       {QStringLiteral("scope"), scope}};
}

SimReply SimService::token(const RecordedRequest& r) {
    // The client sends its grant as JSON without a content type; the service reads it anyway.
    const QJsonDocument doc = QJsonDocument::fromJson(r.body);
    if (!doc.isObject())
        return SimReply::oauthError(400, "invalid_request", QStringLiteral("Body is not JSON"));
    const QJsonObject body = doc.object();
    const QString grant = body.value(QStringLiteral("grant_type")).toString();
    if (grant == QLatin1String("client_credentials")) {
        const QPair<QString, QString> client{
            body.value(QStringLiteral("client_id")).toString(),
            body.value(QStringLiteral("client_secret")).toString()};
        if (client.first.isEmpty() || !m_clients.contains(client))
            return SimReply::oauthError(401, "invalid_client",
                                        QStringLiteral("Client authentication failed"));
        const IssuedToken t = m_tokens.issueApp(client.first, now());
        return SimReply::json(QJsonObject{
            {QStringLiteral("access_token"), t.token},
            {QStringLiteral("token_type"), QStringLiteral("bearer")},
            {QStringLiteral("expires_in"), m_tokens.lifetimeSeconds()},
            {QStringLiteral("scope"), QJsonObject{{QStringLiteral("client"), client.first}}}});
    }
    if (grant == QLatin1String("password")) {
        const Account* a = accountByName(body.value(QStringLiteral("username")).toString());
        const QJsonValue password = body.value(QStringLiteral("password"));
        if (!a || a->authenticationType != QLatin1String("PASSWORD") || !password.isString() ||
            password.toString() != a->password) {
            return SimReply::oauthError(400, "invalid_grant", QStringLiteral("Bad credentials"));
        }
        return SimReply::json(userGrant(*a, m_tokens.issueUser(a->userId, now())));
    }
    return SimReply::oauthError(400, "unsupported_grant_type",
                                QStringLiteral("Unsupported grant type \"%1\"").arg(grant));
}

SimReply SimService::tokenInfo(const RecordedRequest& r) {
    const QString token = r.queryValue(QStringLiteral("access_token"));
    const SimTokens::Check check = m_tokens.check(token, now());
    if (check != SimTokens::Check::Valid)
        return SimReply::oauthError(401, "invalid_token", SimTokens::reason(check));
    const IssuedToken t = m_tokens.find(token);
    QJsonObject info{{QStringLiteral("expires_in"), int(now().secsTo(t.expiresAt))},
                     {QStringLiteral("token_type"), QStringLiteral("bearer")}};
    if (t.kind == QLatin1String("user"))
        info.insert(QStringLiteral("user"), idValue(t.userId));
    else
        info.insert(QStringLiteral("client"), t.clientId);
    return SimReply::json(info);
}

SimReply SimService::revoke(const RecordedRequest& r) {
    const QString token = r.queryValue(QStringLiteral("access_token"));
    if (token.isEmpty())
        return SimReply::oauthError(400, "invalid_request", QStringLiteral("No token given"));
    // Like RFC 7009: revoking an unknown token is not an error.
    m_tokens.revoke(token);
    return SimReply::json(QJsonObject{});
}

// ---------------------------------------------------------------------------------------------
// Account discovery and user records

SimReply SimService::securityProfile(const RecordedRequest& r, const QString& baseUrl) {
    const Auth auth = requireToken(r);
    if (!auth.ok)
        return auth.failure;
    if (!r.hasQuery(QStringLiteral("user")) || r.queryValue(QStringLiteral("user")).isEmpty())
        return SimReply::error(400, "INVALID_INPUT", QStringLiteral("user is required"));
    const Account* a = accountByName(r.queryValue(QStringLiteral("user")));
    if (!a)
        return SimReply::error(404, "USER_NOT_FOUND", QStringLiteral("No such user"));
    QJsonObject profile{{QStringLiteral("authenticationType"), a->authenticationType}};
    if (!a->enterpriseId.isEmpty())
        profile.insert(QStringLiteral("enterpriseId"), a->enterpriseId);
    if (a->authenticationType == QLatin1String("SAML"))
        profile.insert(QStringLiteral("idpURL"), baseUrl + QStringLiteral("/idp/login"));
    return SimReply::json(profile);
}

SimReply SimService::roomUpdate(Account& a, const RecordedRequest& r) {
    if (!hasJsonContentType(r))
        return SimReply::error(415, "UNSUPPORTED_MEDIA_TYPE",
                               QStringLiteral("Content-Type must be application/json"));
    const QJsonDocument doc = QJsonDocument::fromJson(r.body);
    if (!doc.isObject())
        return SimReply::error(400, "INVALID_INPUT", QStringLiteral("Body is not a JSON object"));
    const QJsonObject body = doc.object();
    for (const auto& flag : roomFlags()) {
        if (body.contains(flag) && !body.value(flag).isBool())
            return SimReply::error(400, "INVALID_INPUT",
                                   QStringLiteral("%1 must be true or false").arg(flag));
    }
    const QJsonValue enc = body.value(QStringLiteral("encryptionType"));
    static const QStringList encryption{QStringLiteral("NO_ENCRYPTION"),
                                        QStringLiteral("ENCRYPTED_ONLY"),
                                        QStringLiteral("ENCRYPTED_OR_PSTN_ONLY")};
    if (!enc.isUndefined() && !encryption.contains(enc.toString()))
        return SimReply::error(400, "INVALID_INPUT", QStringLiteral("unknown encryptionType"));
    for (const auto& key : roomFlags() + QStringList{QStringLiteral("encryptionType")}) {
        if (body.contains(key))
            a.room.insert(key, body.value(key));
    }
    return SimReply::json(a.room);
}

SimReply SimService::invitation(const Account& a, const QString& meetingId) {
    const QString pmId = idText(a.personalMeeting.value(QStringLiteral("id")));
    if (meetingId != pmId)
        return SimReply::error(404, "MEETING_NOT_FOUND",
                               QStringLiteral("No meeting with id %1").arg(meetingId));
    const QString subject = QStringLiteral("%1's Velora meeting")
                                .arg(a.user.value(QStringLiteral("firstName")).toString());
    auto part = [&](const QString& text) {
        return QJsonObject{
            {QStringLiteral("create"),
             QJsonObject{{QStringLiteral("ICS"), text}, {QStringLiteral("subject"), subject}}}};
    };
    return SimReply::json(QJsonObject{{QStringLiteral("participant"), part(a.invitation)}});
}

// ---------------------------------------------------------------------------------------------
// Scheduled meetings

SimReply SimService::meetingCall(const QString& endpoint, Account& a, const RecordedRequest& r,
                                 const QString& meetingId) {
    const bool cancel = endpoint == QLatin1String(E::CancelMeeting);
    if (!cancel && !hasJsonContentType(r))
        return SimReply::error(415, "UNSUPPORTED_MEDIA_TYPE",
                               QStringLiteral("Content-Type must be application/json"));
    if (!meetingId.isEmpty() && m_meetings.find(a.userId, meetingId, nowMs()).isEmpty())
        return SimReply::error(404, "MEETING_NOT_FOUND",
                               QStringLiteral("No meeting with id %1").arg(meetingId));
    SimMeetings::Result result;
    if (cancel) {
        const QString start = r.queryValue(QStringLiteral("originalStart"));
        result = m_meetings.cancel(a.userId, meetingId, start,
                                   r.queryValue(QStringLiteral("originalEnd")), nowMs());
        if (result.ok) {
            m_cancellations.append(QJsonObject{
                {QStringLiteral("userId"), a.userId},
                {QStringLiteral("meetingId"), meetingId},
                {QStringLiteral("message"), r.queryValue(QStringLiteral("cancellationMessage"))},
                {QStringLiteral("originalStart"), start}});
            return SimReply{204, {}, {}};
        }
    } else {
        const QJsonDocument doc = QJsonDocument::fromJson(r.body);
        if (!doc.isObject())
            return SimReply::error(400, "INVALID_INPUT",
                                   QStringLiteral("Body is not a JSON object"));
        result = endpoint == QLatin1String(E::CreateMeeting)
                     ? m_meetings.create(a.userId, doc.object(), nowMs())
                     : m_meetings.change(a.userId, meetingId, doc.object(), nowMs());
        if (result.ok)
            return SimReply::json(result.meeting);
    }
    QJsonObject error{{QStringLiteral("errorCode"), QStringLiteral("INVALID_INPUT")},
                      {QStringLiteral("message"), result.error}};
    if (!result.field.isEmpty())
        error.insert(QStringLiteral("field"), result.field);
    return SimReply::json(error, 400);
}

// ---------------------------------------------------------------------------------------------
// Statistics, log upload

SimReply SimService::stats(const RecordedRequest& r) {
    const Auth auth = requireToken(r);
    if (!auth.ok)
        return auth.failure;
    if (!hasJsonContentType(r))
        return SimReply::error(415, "UNSUPPORTED_MEDIA_TYPE",
                               QStringLiteral("Content-Type must be application/json"));
    const QJsonObject envelope = QJsonDocument::fromJson(r.body).object();
    if (!envelope.value(QStringLiteral("event")).isString() ||
        !envelope.value(QStringLiteral("appName")).isString())
        return SimReply::error(400, "INVALID_INPUT",
                               QStringLiteral("An event needs \"event\" and \"appName\""));
    m_stats.append(envelope);
    return SimReply::json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
}

SimReply SimService::logUpload(const RecordedRequest& r) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    for (const char* key : {"type", "timestamp", "filename", "email"}) {
        if (!r.hasQuery(QLatin1String(key)))
            return SimReply::text(QByteArray("missing ") + key + '\n', 400);
    }
    if (!digits.match(r.queryValue(QStringLiteral("timestamp"))).hasMatch() ||
        r.queryValue(QStringLiteral("filename")).isEmpty())
        return SimReply::text("bad timestamp or filename\n", 400);
    m_logs.append(
        QJsonObject{{QStringLiteral("type"), r.queryValue(QStringLiteral("type"))},
                    {QStringLiteral("timestamp"), r.queryValue(QStringLiteral("timestamp"))},
                    {QStringLiteral("filename"), r.queryValue(QStringLiteral("filename"))},
                    {QStringLiteral("email"), r.queryValue(QStringLiteral("email"))},
                    {QStringLiteral("size"), r.body.size()},
                    {QStringLiteral("body"), QString::fromUtf8(r.body)}});
    return SimReply::text("OK\n");
}

// ---------------------------------------------------------------------------------------------
// Single sign-on

SimReply SimService::samlAuthRequest(const RecordedRequest& r, const QString& baseUrl) {
    const Auth auth = requireToken(r);
    if (!auth.ok)
        return auth.failure;
    if (r.queryValue(QStringLiteral("mode")) != QLatin1String("token_request"))
        return SimReply::error(400, "INVALID_INPUT", QStringLiteral("mode must be token_request"));
    const QString enterprise = r.queryValue(QStringLiteral("enterprise"));
    if (!m_enterprises.contains(enterprise))
        return SimReply::error(404, "ENTERPRISE_NOT_FOUND",
                               QStringLiteral("No enterprise \"%1\"").arg(enterprise));
    return SimReply::json(
        QJsonObject{{QStringLiteral("idPLoginUrl"), m_idp.beginAuthRequest(enterprise, baseUrl)}});
}

SimReply SimService::samlConsumer(const RecordedRequest& r) {
    const SimIdentityProvider::Assertion assertion = m_idp.consume(r.formBody());
    if (!assertion.ok)
        return SimReply::error(403, "INVALID_SAML_RESPONSE", assertion.error);
    const Account* a = accountById(assertion.userId);
    if (!a)
        return SimReply::error(404, "USER_NOT_FOUND", QStringLiteral("No such user"));
    return SimReply::json(userGrant(*a, m_tokens.issueUser(a->userId, now())));
}
