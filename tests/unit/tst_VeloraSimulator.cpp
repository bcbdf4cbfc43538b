#include "TestEnvironment.h"
#include "VeloraSimulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTimeZone>
#include <QUrlQuery>
#include <memory>

namespace {

struct Http {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    qint64 elapsedMs = 0;
    bool finished = false;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QJsonArray list() const { return QJsonDocument::fromJson(body).array(); }
};

using Headers = QList<QPair<QByteArray, QByteArray>>;
const Headers kJson{{"Content-Type", "application/json"}};

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString q(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// Form encoding as a browser does it: spaces as "+", everything else reserved percent-encoded.
QByteArray formEncode(const QList<QPair<QString, QString>>& fields) {
    QByteArray out;
    for (const auto& [key, value] : fields) {
        if (!out.isEmpty())
            out += '&';
        out += QUrl::toPercentEncoding(key) + '=' +
               QUrl::toPercentEncoding(value, " ").replace(' ', '+');
    }
    return out;
}

QString hiddenField(const QByteArray& html, const QString& name) {
    const QRegularExpression re(QStringLiteral("name=\"%1\" value=\"([^\"]*)\"").arg(name));
    QString v = re.match(QString::fromUtf8(html)).captured(1);
    v.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    v.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    v.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    return v.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// A weekly fixture series, used by the series tests with a fixed "now".
QByteArray seriesFixture() {
    return R"({
      "clients": [{"client_id": "plumCode", "client_secret": "plumPrivate"}],
      "accounts": [{
        "username": "sam@example.com", "password": "pw", "userId": 7,
        "authenticationType": "PASSWORD",
        "meetings": [
          {"id": 1, "title": "Mon+Wed", "timezone": "Europe/London", "startDay": -10,
           "startTime": "09:30", "durationMinutes": 30,
           "recurrencePattern": {"recurrenceType": "WEEKLY", "daysOfWeekMask": 10,
                                 "frequency": 1, "recurrenceCount": 6}},
          {"id": 2, "title": "Finished", "timezone": "UTC", "startDay": -40,
           "startTime": "12:00", "durationMinutes": 60,
           "recurrencePattern": {"recurrenceType": "WEEKLY", "frequency": 1,
                                 "recurrenceCount": 2}},
          {"id": 3, "title": "Open", "timezone": "America/New_York", "startDay": -20,
           "startTime": "08:00", "durationMinutes": 15,
           "recurrencePattern": {"recurrenceType": "WEEKLY", "frequency": 1}},
          {"id": 4, "title": "Single", "timezone": "Asia/Kolkata", "startDay": 1,
           "startTime": "14:30", "durationMinutes": 45}
        ]}]})";
}

} // namespace

class tst_VeloraSimulator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void servesOnlyOverTheTestCaChain();
    void tokenGrantsAndTokenInfo();
    void userEndpointsCheckTokenAndUser();
    void securityProfileByAccountKind();
    void userRoomAndPersonalMeeting();
    void meetingCreateListChangeCancel();
    void seriesOccurrencesAndCancellation();
    void fixtureListsOddShapesAServiceSends();
    void faultsAsTheClientSeesThem();
    void refusedConnectionsAndFaultLifetime();
    void recordsEveryRequest();
    void samlExchangeIssuesOneTimeAssertions();
    void statsAndLogUpload();
    void executableServesAndStopsOnSigterm();

private:
    Http send(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body = {},
              const Headers& headers = {}, int transferTimeoutMs = 0);
    Http get(const QString& pathAndQuery) { return send("GET", pathAndQuery); }
    QString passwordToken();
    QString adaId() const {
        return m_sim->userIdOf(QString::fromLatin1(VeloraSimulator::PasswordUser));
    }

    std::unique_ptr<VeloraSimulator> m_sim;
    std::unique_ptr<QNetworkAccessManager> m_nam;
    QList<QSslCertificate> m_trusted;
};

void tst_VeloraSimulator::fixtureListsOddShapesAServiceSends() {
    QJsonObject once, series;
    for (const QJsonValue& v : m_sim->meetings(adaId())) {
        const QJsonObject m = v.toObject();
        if (m.value("title") == QLatin1String("Budget check"))
            once = m;
        if (m.value("title") == QLatin1String("Mentoring circle"))
            series = m;
    }
    // A single meeting that carries a pattern of "NONE", and a series without its next one.
    QCOMPARE(once.value("recurrencePattern").toObject().value("recurrenceType").toString(),
             QStringLiteral("NONE"));
    QVERIFY(!once.contains("nextStart"));
    QCOMPARE(series.value("recurrencePattern").toObject().value("recurrenceType").toString(),
             QStringLiteral("WEEKLY"));
    QVERIFY(series.contains("start") && !series.contains("nextStart") &&
            !series.contains("nextEnd"));
}

void tst_VeloraSimulator::init() {
    m_sim = std::make_unique<VeloraSimulator>();
    QVERIFY(m_sim->start());
    m_nam = std::make_unique<QNetworkAccessManager>();
    m_trusted = VeloraSimulator::caCertificates();
}

void tst_VeloraSimulator::cleanup() {
    m_nam.reset();
    m_sim.reset();
}

Http tst_VeloraSimulator::send(const QByteArray& method, const QString& pathAndQuery,
                               const QByteArray& body, const Headers& headers,
                               int transferTimeoutMs) {
    QNetworkRequest request(QUrl(m_sim->baseUrl() + pathAndQuery));
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(m_trusted); // the test CA and nothing else
    request.setSslConfiguration(conf);
    request.setTransferTimeout(transferTimeoutMs);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = m_nam->sendCustomRequest(request, method, body);
    QSignalSpy done(reply, &QNetworkReply::finished);
    Http out;
    out.finished = done.wait(20000);
    out.elapsedMs = clock.elapsed();
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        out.body = reply->readAll();
    out.error = reply->error();
    reply->deleteLater();
    return out;
}

QString tst_VeloraSimulator::passwordToken() {
    const Http r = send("POST", QStringLiteral("/oauth2/token"),
                        compact({{"grant_type", "password"},
                                 {"username", VeloraSimulator::PasswordUser},
                                 {"password", VeloraSimulator::PasswordUserPassword}}));
    return r.json().value(QStringLiteral("access_token")).toString();
}

void tst_VeloraSimulator::servesOnlyOverTheTestCaChain() {
    const Http trusted = get(QStringLiteral("/oauth2/tokenInfo?access_token=x"));
    QVERIFY(trusted.finished);
    QCOMPARE(trusted.status, 401); // TLS worked; the token did not

    // QNetworkAccessManager reuses a connection whatever the request's TLS settings: each trust
    // change below needs a fresh manager.
    m_trusted = VeloraSimulator::otherCaCertificates();
    m_nam = std::make_unique<QNetworkAccessManager>();
    const Http wrongAnchor = get(QStringLiteral("/oauth2/tokenInfo?access_token=x"));
    QCOMPARE(wrongAnchor.error, QNetworkReply::SslHandshakeFailedError);

    // The untrusted chain is refused by clients that trust only the test CA, and vice versa.
    m_sim->setCertificateChain(VeloraSimulator::CertificateChain::OtherCa);
    QVERIFY(m_sim->start());
    m_nam = std::make_unique<QNetworkAccessManager>();
    QCOMPARE(get(QStringLiteral("/oauth2/tokenInfo")).status, 401);
    m_trusted = VeloraSimulator::caCertificates();
    m_nam = std::make_unique<QNetworkAccessManager>();
    QCOMPARE(get(QStringLiteral("/oauth2/tokenInfo")).error,
             QNetworkReply::SslHandshakeFailedError);

    // The PEM file handed to other processes holds the same CA.
    QFile pem(VeloraSimulator::caCertificatePath());
    QVERIFY(pem.open(QIODevice::ReadOnly));
    QCOMPARE(QSslCertificate::fromData(pem.readAll()), VeloraSimulator::caCertificates());
}

void tst_VeloraSimulator::tokenGrantsAndTokenInfo() {
    // Client credentials, sent like the client does: JSON without a content type.
    Http app = send("POST", QStringLiteral("/oauth2/token"),
                    compact({{"grant_type", "client_credentials"},
                             {"client_id", VeloraSimulator::ClientId},
                             {"client_secret", VeloraSimulator::ClientSecret}}));
    QCOMPARE(app.status, 200);
    const QString appToken = app.json().value(QStringLiteral("access_token")).toString();
    QVERIFY(!appToken.isEmpty());
    QCOMPARE(app.json().value(QStringLiteral("expires_in")).toInt(), 3600);
    QCOMPARE(m_sim->tokenInfo(appToken).kind, QStringLiteral("app"));

    const Http badClient = send("POST", QStringLiteral("/oauth2/token"),
                                compact({{"grant_type", "client_credentials"},
                                         {"client_id", VeloraSimulator::ClientId},
                                         {"client_secret", "guess"}}));
    QCOMPARE(badClient.status, 401);
    QCOMPARE(badClient.json().value(QStringLiteral("error")).toString(),
             QStringLiteral("invalid_client"));
    QVERIFY(!badClient.json().contains(QStringLiteral("access_token")));

    // Password grant: token plus scope user and partition.
    const Http grant = send("POST", QStringLiteral("/oauth2/token"),
                            compact({{"grant_type", "password"},
                                     {"username", "ADA@example.com"},
                                     {"password", VeloraSimulator::PasswordUserPassword}}));
    QCOMPARE(grant.status, 200);
    const QJsonObject scope = grant.json().value(QStringLiteral("scope")).toObject();
    QCOMPARE(QString::number(scope.value(QStringLiteral("user")).toInteger()), adaId());
    QCOMPARE(
        scope.value(QStringLiteral("partition")).toObject().value(QStringLiteral("id")).toInt(), 7);
    QCOMPARE(scope.value(QStringLiteral("partition")).toObject().value(QStringLiteral("name")),
             QJsonValue(QStringLiteral("z7")));
    const QString userToken = grant.json().value(QStringLiteral("access_token")).toString();

    for (const QJsonObject& refused :
         {QJsonObject{{"grant_type", "password"},
                      {"username", VeloraSimulator::PasswordUser},
                      {"password", "wrong"}},
          QJsonObject{{"grant_type", "password"}, {"username", VeloraSimulator::PasswordUser}},
          QJsonObject{{"grant_type", "password"},
                      {"username", VeloraSimulator::SamlUser},
                      {"password", VeloraSimulator::SamlUserIdpPassword}}}) {
        const Http r = send("POST", QStringLiteral("/oauth2/token"), compact(refused));
        QCOMPARE(r.status, 400);
        QCOMPARE(r.json().value(QStringLiteral("error")).toString(),
                 QStringLiteral("invalid_grant"));
    }
    QCOMPARE(send("POST", QStringLiteral("/oauth2/token"), "grant_type=password").status, 400);

    // Token info names the user only for user tokens.
    Http info = get(QStringLiteral("/oauth2/tokenInfo?access_token=") + userToken);
    QCOMPARE(info.status, 200);
    QCOMPARE(QString::number(info.json().value(QStringLiteral("user")).toInteger()), adaId());
    info = get(QStringLiteral("/oauth2/tokenInfo?access_token=") + appToken);
    QCOMPARE(info.status, 200);
    QVERIFY(!info.json().contains(QStringLiteral("user")));

    // Expiry and revocation both end a token's life.
    m_sim->expireToken(userToken);
    info = get(QStringLiteral("/oauth2/tokenInfo?access_token=") + userToken);
    QCOMPARE(info.status, 401);
    QVERIFY(!info.json().contains(QStringLiteral("user")));
    QVERIFY(!info.json().value(QStringLiteral("error")).toString().isEmpty());

    const QString second = passwordToken();
    QCOMPARE(send("DELETE", QStringLiteral("/oauth2/token?access_token=") + second).status, 200);
    QVERIFY(m_sim->tokenInfo(second).revoked);
    QCOMPARE(get(QStringLiteral("/oauth2/tokenInfo?access_token=") + second).status, 401);
    QCOMPARE(m_sim->issuedTokens().size(), 3);
}

void tst_VeloraSimulator::userEndpointsCheckTokenAndUser() {
    const QString token = passwordToken();
    const QString user = QStringLiteral("/ridgeapi/v1/user/%1").arg(adaId());
    QCOMPARE(get(user + QStringLiteral("?access_token=") + token).status, 200);

    const Http missing = get(user);
    QCOMPARE(missing.status, 401);
    QCOMPARE(missing.json().value(QStringLiteral("errorCode")).toString(),
             QStringLiteral("MISSING_TOKEN"));
    QVERIFY(!missing.json().value(QStringLiteral("message")).toString().isEmpty());
    QCOMPARE(get(user + QStringLiteral("?access_token=deadbeef")).json().value("errorCode"),
             QJsonValue(QStringLiteral("INVALID_TOKEN")));

    // Someone else's records are off limits, and so is an application token.
    const QString grace = m_sim->userIdOf(QString::fromLatin1(VeloraSimulator::SamlUser));
    QCOMPARE(
        get(QStringLiteral("/ridgeapi/v1/user/%1/room/?access_token=%2").arg(grace, token)).status,
        403);
    QCOMPARE(get(user + QStringLiteral("?access_token=") + m_sim->issueAppToken()).status, 403);

    // Expiry is checked per request, on every user endpoint.
    m_sim->expireAllUserTokens();
    for (const QString& path :
         {user, user + QStringLiteral("/room/"), user + QStringLiteral("/personal_meeting/"),
          user + QStringLiteral("/contact"),
          QStringLiteral("/v1/user/%1/scheduled_meeting").arg(adaId())}) {
        const Http r = get(path + QStringLiteral("?access_token=") + token);
        QCOMPARE(r.status, 401);
        QCOMPARE(r.json().value(QStringLiteral("errorCode")).toString(),
                 QStringLiteral("TOKEN_EXPIRED"));
    }
}

void tst_VeloraSimulator::securityProfileByAccountKind() {
    const QString app = m_sim->issueAppToken();
    auto profile = [&](const QString& user) {
        return get(QStringLiteral("/ridgeapi/v1/user/security_profile?access_token=%1&user=%2")
                       .arg(app, q(user)));
    };
    QCOMPARE(profile(QString::fromLatin1(VeloraSimulator::PasswordUser)).json(),
             (QJsonObject{{"authenticationType", "PASSWORD"}}));
    const QJsonObject saml = profile(QString::fromLatin1(VeloraSimulator::SamlUser)).json();
    QCOMPARE(saml.value(QStringLiteral("authenticationType")).toString(), QStringLiteral("SAML"));
    QCOMPARE(saml.value(QStringLiteral("enterpriseId")).toString(),
             QString::fromLatin1(VeloraSimulator::SamlEnterprise));
    QVERIFY(saml.value(QStringLiteral("idpURL")).toString().startsWith(m_sim->baseUrl()));
    QCOMPARE(profile(QString::fromLatin1(VeloraSimulator::FbUser))
                 .json()
                 .value(QStringLiteral("authenticationType")),
             QJsonValue(QStringLiteral("FB")));
    QCOMPARE(profile(QStringLiteral("alan@acme.example")).json().value("enterpriseId"),
             QJsonValue(QStringLiteral("acme")));

    // Unknown users and injected query text do not find anybody.
    QCOMPARE(profile(QStringLiteral("nobody@example.com")).status, 404);
    QCOMPARE(profile(QStringLiteral("ada@example.com&user=grace@acme.example")).status, 404);
    const Http raw = get(
        QStringLiteral("/ridgeapi/v1/user/security_profile?access_token=%1&user=x&user=").arg(app));
    QCOMPARE(raw.status, 400);
    QCOMPARE(get(QStringLiteral("/ridgeapi/v1/user/security_profile?user=ada@example.com")).status,
             401);
}

void tst_VeloraSimulator::userRoomAndPersonalMeeting() {
    const QString token = passwordToken();
    const QString base = QStringLiteral("/ridgeapi/v1/user/") + adaId();
    const QString auth = QStringLiteral("?access_token=") + token;

    const QJsonObject user = get(base + auth).json();
    for (const char* key :
         {"firstName", "lastName", "emailId", "profilePicture", "timezone", "language"})
        QVERIFY2(user.value(QLatin1String(key)).isString(), key);

    const QJsonObject room = get(base + QStringLiteral("/room/") + auth).json();
    for (const char* key :
         {"numericId", "personalMeetingId", "moderatorPasscode", "id", "publishMeeting",
          "encryptionType", "videoBestFit", "showAllParticipantsInIcs", "isModeratorLess",
          "disallowChat", "muteParticipantsOnEntry", "isLargeMeeting"})
        QVERIFY2(room.contains(QLatin1String(key)), key);

    // Room update: stored and answered; a bad body or a missing content type changes nothing.
    QJsonObject update{{"publishMeeting", true},
                       {"encryptionType", "NO_ENCRYPTION"},
                       {"videoBestFit", false},
                       {"showAllParticipantsInIcs", true},
                       {"isModeratorLess", true},
                       {"disallowChat", true},
                       {"muteParticipantsOnEntry", false},
                       {"isLargeMeeting", true}};
    const Http put = send("PUT", base + QStringLiteral("/room/") + auth, compact(update), kJson);
    QCOMPARE(put.status, 200);
    QCOMPARE(put.json().value(QStringLiteral("encryptionType")).toString(),
             QStringLiteral("NO_ENCRYPTION"));
    QCOMPARE(m_sim->room(adaId()).value(QStringLiteral("isLargeMeeting")), QJsonValue(true));
    QCOMPARE(m_sim->room(adaId()).value(QStringLiteral("numericId")), room.value("numericId"));

    const QJsonObject before = m_sim->room(adaId());
    update.insert(QStringLiteral("publishMeeting"), QStringLiteral("1"));
    QCOMPARE(send("PUT", base + QStringLiteral("/room/") + auth, compact(update), kJson).status,
             400);
    QCOMPARE(send("PUT", base + QStringLiteral("/room/") + auth,
                  compact({{"encryptionType", "ROT13"}}), kJson)
                 .status,
             400);
    QCOMPARE(send("PUT", base + QStringLiteral("/room/") + auth, compact({{"disallowChat", false}}))
                 .status,
             415);
    QCOMPARE(m_sim->room(adaId()), before);

    // Personal meeting and its invitation text (reached through the personal meeting's id).
    const QJsonObject pm = get(base + QStringLiteral("/personal_meeting/") + auth).json();
    QVERIFY(pm.value(QStringLiteral("addAttendeePasscode")).isBool());
    QVERIFY(!pm.value(QStringLiteral("attendeePasscode")).toString().isEmpty());
    const QString pmId =
        QString::number(room.value(QStringLiteral("personalMeetingId")).toInteger());
    const Http invitation =
        get(QStringLiteral("/v1/user/%1/scheduled_meeting/%2/emails").arg(adaId(), pmId) + auth);
    QCOMPARE(invitation.status, 200);
    const QString ics =
        invitation.json()["participant"].toObject()["create"].toObject()["ICS"].toString();
    QVERIFY(ics.contains(QStringLiteral("Ada Lovelace")));
    QCOMPARE(
        get(QStringLiteral("/v1/user/%1/scheduled_meeting/999/emails").arg(adaId()) + auth).status,
        404);
    QCOMPARE(get(base + QStringLiteral("/contact") + auth).list().size(), 4);
}

void tst_VeloraSimulator::meetingCreateListChangeCancel() {
    const QString token = passwordToken();
    const QString auth = QStringLiteral("access_token=") + token;
    const QString list = QStringLiteral("/v1/user/%1/scheduled_meeting?").arg(adaId()) + auth;
    const QString ridge = QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/").arg(adaId());
    const int fixtureCount = get(list).list().size();
    QVERIFY(fixtureCount >= 7);

    const qint64 start = (QDateTime::currentSecsSinceEpoch() / 60 + 120) * 60;
    QJsonObject body{{"start", QString::number(start) + "000"},
                     {"end", QString::number(start + 1800) + "000"},
                     {"title", "Budget & plans"},
                     {"description", ""},
                     {"timezone", "Europe/Paris"},
                     {"endPointType", "Tamber"},
                     {"endPointVersion", "1.0"},
                     {"isLargeMeeting", false},
                     {"addAttendeePasscode", true},
                     {"attendees", QJsonArray{QJsonObject{{"email", "mary@example.com"}}}},
                     {"recurrencePattern", QJsonObject{{"recurrenceCount", 0},
                                                       {"daysOfWeekMask", 0},
                                                       {"frequency", 0},
                                                       {"recurrenceType", "NONE"},
                                                       {"weekOfMonth", "NONE"},
                                                       {"monthOfYear", "NONE"}}}};
    const Http created =
        send("POST", ridge + QStringLiteral("?email=true&") + auth, compact(body), kJson);
    QCOMPARE(created.status, 200);
    const QString id = QString::number(created.json().value(QStringLiteral("id")).toInteger());
    QVERIFY(!created.json().value(QStringLiteral("numericMeetingId")).toString().isEmpty());

    // Listed with numeric times and without a pattern, since it does not repeat.
    const QJsonObject listed = m_sim->meeting(adaId(), id);
    QCOMPARE(listed.value(QStringLiteral("start")).toInteger(), start * 1000);
    QVERIFY(!listed.contains(QStringLiteral("recurrencePattern")));
    QCOMPARE(get(list).list().size(), fixtureCount + 1);

    // Refused bodies change nothing and say which field was wrong.
    const QList<QPair<QString, QJsonValue>> broken{
        {"timezone", "Mars/Olympus"},
        {"end", QString::number(start - 60) + "000"},
        {"start", "soon"},
        {"title", ""},
        {"attendees", QJsonArray{QJsonObject{{"email", "not an address"}}}},
        {"recurrencePattern", QJsonObject{{"recurrenceType", "WEEKLY"}, {"daysOfWeekMask", 0}}}};
    for (const auto& [field, value] : broken) {
        QJsonObject bad = body;
        bad.insert(field, value);
        const Http r =
            send("POST", ridge + QStringLiteral("?email=true&") + auth, compact(bad), kJson);
        QCOMPARE(r.status, 400);
        QCOMPARE(r.json().value(QStringLiteral("errorCode")).toString(),
                 QStringLiteral("INVALID_INPUT"));
    }
    QCOMPARE(send("POST", ridge + QStringLiteral("?email=true&") + auth, compact(body)).status,
             415);
    QCOMPARE(get(list).list().size(), fixtureCount + 1);

    // Change keeps the identity.
    body.insert(QStringLiteral("title"), QStringLiteral("Budget review"));
    const Http changed =
        send("PUT", ridge + id + QStringLiteral("?email=true&") + auth, compact(body), kJson);
    QCOMPARE(changed.status, 200);
    QCOMPARE(m_sim->meeting(adaId(), id).value(QStringLiteral("title")).toString(),
             QStringLiteral("Budget review"));
    QCOMPARE(m_sim->meeting(adaId(), id).value(QStringLiteral("numericMeetingId")),
             created.json().value(QStringLiteral("numericMeetingId")));
    QCOMPARE(send("PUT", ridge + QStringLiteral("424242?email=true&") + auth, compact(body), kJson)
                 .status,
             404);

    // Cancel the whole meeting; the message arrives decoded, "&" and "=" included.
    const Http cancelled = send("DELETE", ridge + id +
                                              QStringLiteral("?cancellationMessage=%1&email=true&")
                                                  .arg(q(QStringLiteral("Sorry & see=you 🙂"))) +
                                              auth);
    QCOMPARE(cancelled.error, QNetworkReply::NoError);
    QCOMPARE(cancelled.status, 204);
    QVERIFY(m_sim->meeting(adaId(), id).isEmpty());
    QCOMPARE(get(list).list().size(), fixtureCount);
    QCOMPARE(m_sim->cancellations().last().value(QStringLiteral("message")).toString(),
             QStringLiteral("Sorry & see=you 🙂"));
    QCOMPARE(send("DELETE", ridge + id + QStringLiteral("?email=true&") + auth).status, 404);
}

void tst_VeloraSimulator::seriesOccurrencesAndCancellation() {
    // Tuesday 2026-03-24 12:00 UTC; the UK moves its clocks on Sunday 2026-03-29.
    const QDateTime now(QDate(2026, 3, 24), QTime(12, 0), QTimeZone::utc());
    QVERIFY(m_sim->loadFixtureJson(seriesFixture(), now));
    QVERIFY(!m_sim->loadFixtureJson("{\"accounts\": [{\"username\": 1}]}"));
    const QTimeZone london("Europe/London");
    auto local = [&](const QJsonValue& ms) {
        return QDateTime::fromMSecsSinceEpoch(ms.toInteger(), london);
    };

    // Mon+Wed from Saturday the 14th: 16, 18, 23, 25 March, 30 March, 1 April (six in all).
    // 23 March has ended, so the next is Wednesday the 25th at 09:30 London time.
    const QJsonObject weekly = m_sim->meeting(QStringLiteral("7"), QStringLiteral("1"));
    QCOMPARE(local(weekly.value("nextStart")), QDateTime(QDate(2026, 3, 25), QTime(9, 30), london));
    QCOMPARE(weekly.value("nextEnd").toInteger() - weekly.value("nextStart").toInteger(), 1800000);
    // The last one falls after the clock change and still starts at 09:30 local time.
    const QJsonObject last = weekly.value(QStringLiteral("last")).toObject();
    QCOMPARE(local(last.value("end")), QDateTime(QDate(2026, 4, 1), QTime(10, 0), london));

    // A finished series points at its final occurrence, which lies in the past.
    const QJsonObject finished = m_sim->meeting(QStringLiteral("7"), QStringLiteral("2"));
    QVERIFY(finished.value("last").toObject().value("end").toInteger() < now.toMSecsSinceEpoch());
    QCOMPARE(finished.value("nextStart").toInteger() + 3600000,
             finished.value("last").toObject().value("end").toInteger());
    // An open-ended series has no last occurrence; a single meeting no series keys at all.
    const QJsonObject open = m_sim->meeting(QStringLiteral("7"), QStringLiteral("3"));
    QVERIFY(open.contains(QStringLiteral("nextStart")));
    QVERIFY(!open.contains(QStringLiteral("last")));
    const QJsonObject single = m_sim->meeting(QStringLiteral("7"), QStringLiteral("4"));
    QVERIFY(!single.contains(QStringLiteral("nextStart")));
    QCOMPARE(
        QDateTime::fromMSecsSinceEpoch(single.value("start").toInteger(), QTimeZone("Asia/Kolkata"))
            .time(),
        QTime(14, 30));

    // Cancelling the next occurrence moves "nextStart" on; the same occurrence twice is refused.
    const QString token = m_sim->issueUserToken(QStringLiteral("sam@example.com"));
    auto cancelNext = [&](const QJsonObject& m, qint64 endShift = 0) {
        return send("DELETE",
                    QStringLiteral("/ridgeapi/v1/user/7/scheduled_meeting/1?originalStart=%1"
                                   "&originalEnd=%2&cancellationMessage=x&email=true"
                                   "&access_token=%3")
                        .arg(m.value("nextStart").toInteger())
                        .arg(m.value("nextEnd").toInteger() + endShift)
                        .arg(token));
    };
    QCOMPARE(cancelNext(weekly, 60000).status, 400);
    QCOMPARE(cancelNext(weekly).status, 204);
    const QJsonObject after = m_sim->meeting(QStringLiteral("7"), QStringLiteral("1"));
    QCOMPARE(local(after.value("nextStart")), QDateTime(QDate(2026, 3, 30), QTime(9, 30), london));
    QCOMPARE(cancelNext(weekly).status, 400);
    QCOMPARE(m_sim->cancellations().size(), 1);
    QVERIFY(!after.contains(QStringLiteral("_cancelled")));
}

void tst_VeloraSimulator::faultsAsTheClientSeesThem() {
    const QString token = passwordToken();
    const QString meetings =
        QStringLiteral("/v1/user/%1/scheduled_meeting?access_token=%2").arg(adaId(), token);
    using E = VeloraSimulator::Endpoint;

    QVERIFY(m_sim->injectFault(E::Meetings, Fault::httpError(503, {{"errorCode", "MAINTENANCE"},
                                                                   {"message", "Back soon"}})));
    Http r = get(meetings);
    QCOMPARE(r.status, 503);
    QCOMPARE(r.error, QNetworkReply::ServiceUnavailableError);
    QCOMPARE(r.json().value(QStringLiteral("message")).toString(), QStringLiteral("Back soon"));
    // Other endpoints are unaffected.
    QCOMPARE(get(QStringLiteral("/ridgeapi/v1/user/%1?access_token=%2").arg(adaId(), token)).status,
             200);

    QVERIFY(m_sim->injectFault(E::Meetings, Fault::garbage()));
    r = get(meetings);
    QCOMPARE(r.status, 200);
    QVERIFY(!r.body.isEmpty());
    QJsonParseError parse;
    QJsonDocument::fromJson(r.body, &parse);
    QVERIFY(parse.error != QJsonParseError::NoError);

    const QByteArray huge = QByteArray(10 * 1024 * 1024, '[');
    QVERIFY(m_sim->injectFault(E::Meetings, Fault::replyWith(200, huge)));
    r = get(meetings);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body.size(), huge.size());

    QVERIFY(m_sim->injectFault(E::Meetings, Fault::empty()));
    r = get(meetings);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.error, QNetworkReply::NoError);
    QVERIFY(r.body.isEmpty());

    QVERIFY(m_sim->injectFault(E::Meetings, Fault::closeMidBody()));
    r = get(meetings);
    QVERIFY(r.finished);
    QCOMPARE(r.error, QNetworkReply::RemoteHostClosedError);

    // Delay: the reply comes late, and a client with a shorter timeout gives up.
    QVERIFY(m_sim->injectFault(E::Meetings, Fault::delay(400)));
    r = get(meetings);
    QCOMPARE(r.status, 200);
    QVERIFY2(r.elapsedMs >= 380, qPrintable(QString::number(r.elapsedMs)));
    QVERIFY(!r.list().isEmpty());
    QVERIFY(m_sim->injectFault(E::Meetings, Fault::delay(600)));
    r = send("GET", meetings, {}, {}, 150);
    QVERIFY2(r.error == QNetworkReply::OperationCanceledError ||
                 r.error == QNetworkReply::TimeoutError,
             qPrintable(QString::number(r.error)));
    QVERIFY(r.elapsedMs < 550);
    // The late reply then finds its connection gone; the server carries on regardless.
    QVERIFY(m_sim->injectFault(E::User, Fault::delay(900)));
    r = get(QStringLiteral("/ridgeapi/v1/user/%1?access_token=%2").arg(adaId(), token));
    QCOMPARE(r.status, 200);
    QVERIFY(r.elapsedMs >= 880);

    // A refused create changes nothing, whatever the fault.
    const QString create =
        QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/?email=true&access_token=%2")
            .arg(adaId(), token);
    const QJsonObject body{
        {"start", "1900000000000"}, {"end", "1900001800000"}, {"title", "t"}, {"timezone", "UTC"}};
    const int before = m_sim->meetings(adaId()).size();
    for (const Fault& f : {Fault::httpError(500), Fault::garbage(), Fault::empty()}) {
        QVERIFY(m_sim->injectFault(E::CreateMeeting, f));
        send("POST", create, compact(body), kJson);
    }
    QCOMPARE(m_sim->meetings(adaId()).size(), before);
    // A mid-body close happens after the service did the work (the client cannot tell).
    QVERIFY(m_sim->injectFault(E::CreateMeeting, Fault::closeMidBody()));
    QCOMPARE(send("POST", create, compact(body), kJson).error,
             QNetworkReply::RemoteHostClosedError);
    QCOMPARE(m_sim->meetings(adaId()).size(), before + 1);

    // Even a reply without a body (a cancel answers 204) is cut off where the client sees it.
    QVERIFY(m_sim->injectFault(E::CancelMeeting, Fault::closeMidBody()));
    const QString id =
        QString::number(m_sim->meetings(adaId()).first().toObject().value("id").toInteger());
    QCOMPARE(send("DELETE", QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/%2?email=true"
                                           "&access_token=%3")
                                .arg(adaId(), id, token))
                 .error,
             QNetworkReply::RemoteHostClosedError);

    QVERIFY(!m_sim->injectFault(QStringLiteral("noSuchEndpoint"), Fault::empty()));
}

void tst_VeloraSimulator::refusedConnectionsAndFaultLifetime() {
    const QString info = QStringLiteral("/oauth2/tokenInfo?access_token=x");
    using E = VeloraSimulator::Endpoint;

    // One endpoint refused: the connection drops without a reply, the rest still answers.
    QVERIFY(m_sim->injectFault(E::TokenInfo, Fault::refuse()));
    Http r = get(info);
    QVERIFY(r.finished);
    QCOMPARE(r.status, 0);
    QVERIFY(r.error == QNetworkReply::RemoteHostClosedError ||
            r.error == QNetworkReply::ConnectionRefusedError);
    QVERIFY(m_sim->requestCount(E::TokenInfo) >= 1);
    QCOMPARE(send("POST", QStringLiteral("/oauth2/token"), "{}").status, 400);

    // The whole server refused: nothing listens until the faults are cleared.
    m_sim->clearFaults();
    QCOMPARE(get(info).status, 401); // keeps a pooled connection open across the refusal
    QVERIFY(m_sim->injectFault(E::Any, Fault::refuse()));
    QVERIFY(!m_sim->isListening());
    const int seen = m_sim->requestCount();
    r = get(info);
    QCOMPARE(r.error, QNetworkReply::ConnectionRefusedError);
    QCOMPARE(m_sim->requestCount(), seen);
    m_sim->clearFaults();
    QVERIFY(m_sim->isListening());
    QCOMPARE(get(info).status, 401);

    // A counted fault wears off; "*" applies to every endpoint.
    QVERIFY(m_sim->injectFault(E::TokenInfo, Fault::httpError(502).times(2)));
    QCOMPARE(get(info).status, 502);
    QCOMPARE(get(info).status, 502);
    QCOMPARE(get(info).status, 401);
    QVERIFY(m_sim->injectFault(E::Any, Fault::httpError(500).times(1)));
    QCOMPARE(send("POST", QStringLiteral("/oauth2/token"), "{}").status, 500);
    QCOMPARE(send("POST", QStringLiteral("/oauth2/token"), "{}").status, 400);
    // An endpoint's own fault wins over "*".
    QVERIFY(m_sim->injectFault(E::Any, Fault::httpError(500)));
    QVERIFY(m_sim->injectFault(E::TokenInfo, Fault::httpError(418)));
    QCOMPARE(get(info).status, 418);
    m_sim->clearFault(E::TokenInfo);
    QCOMPARE(get(info).status, 500);
}

void tst_VeloraSimulator::recordsEveryRequest() {
    QSignalSpy received(m_sim.get(), &VeloraSimulator::requestReceived);
    const QString token = m_sim->issueUserToken(QString::fromLatin1(VeloraSimulator::PasswordUser));
    const QByteArray body = R"({"disallowChat":true})";
    send("PUT",
         QStringLiteral("/ridgeapi/v1/user/%1/room/?access_token=%2&note=a%26b%3Dc%20d")
             .arg(adaId(), token),
         body, {{"Content-Type", "application/json"}, {"X-Probe", "1"}});
    QCOMPARE(received.size(), 1);

    const RecordedRequest r = m_sim->lastRequest();
    QCOMPARE(r.endpoint, QStringLiteral("roomUpdate"));
    QCOMPARE(r.method, QByteArray("PUT"));
    QCOMPARE(r.path, QStringLiteral("/ridgeapi/v1/user/%1/room/").arg(adaId()));
    QVERIFY2(r.target.endsWith("note=a%26b%3Dc%20d"), r.target.constData());
    QCOMPARE(r.queryValue(QStringLiteral("note")), QStringLiteral("a&b=c d"));
    QCOMPARE(r.queryValue(QStringLiteral("access_token")), token);
    QCOMPARE(r.header("content-type"), QByteArray("application/json"));
    QCOMPARE(r.header("X-PROBE"), QByteArray("1"));
    QVERIFY(!r.hasHeader("Authorization"));
    QCOMPARE(r.body, body);
    QCOMPARE(r.jsonBody().value(QStringLiteral("disallowChat")), QJsonValue(true));
    QCOMPARE(qvariant_cast<RecordedRequest>(received.first().first()).endpoint, r.endpoint);

    // An encoded "/" stays inside its path segment; unknown paths are recorded and get 404.
    QCOMPARE(get(QStringLiteral("/ridgeapi/v1/user/10%2F01?access_token=%1").arg(token)).status,
             403);
    QCOMPARE(m_sim->lastRequest().endpoint, QStringLiteral("user"));
    const Http unknown = get(QStringLiteral("/nowhere?access_token=%1").arg(token));
    QCOMPARE(unknown.status, 404);
    QCOMPARE(m_sim->lastRequest().endpoint, QString());
    QCOMPARE(m_sim->requestCount(), 3);
    QCOMPARE(m_sim->requestCount(QStringLiteral("user")), 1);
    m_sim->clearRequests();
    QVERIFY(m_sim->requests().isEmpty());
    QCOMPARE(m_sim->lastRequest().endpoint, QString());
}

void tst_VeloraSimulator::samlExchangeIssuesOneTimeAssertions() {
    const QString app = m_sim->issueAppToken();
    const Http auth =
        send("POST", QStringLiteral("/sso/saml2/auth_request?enterprise=%1&mode=token_request"
                                    "&access_token=%2")
                         .arg(QString::fromLatin1(VeloraSimulator::SamlEnterprise), app));
    QCOMPARE(auth.status, 200);
    const QUrl idp(auth.json().value(QStringLiteral("idPLoginUrl")).toString());
    QCOMPARE(idp.host(), QStringLiteral("localhost"));
    QCOMPARE(idp.port(), int(m_sim->port()));
    QCOMPARE(
        send("POST", QStringLiteral("/sso/saml2/auth_request?enterprise=acme&mode=token_request"))
            .status,
        401);
    QCOMPARE(
        send("POST", QStringLiteral("/sso/saml2/auth_request?enterprise=nope&mode=token_request"
                                    "&access_token=") +
                         app)
            .status,
        404);

    // The login page carries the request through its form.
    const Http page = get(idp.path() + QLatin1Char('?') + idp.query(QUrl::FullyEncoded));
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("name=\"password\""));
    const QString request = hiddenField(page.body, QStringLiteral("SAMLRequest"));
    const QString relay = hiddenField(page.body, QStringLiteral("RelayState"));
    QVERIFY(!request.isEmpty() && !relay.isEmpty());
    const Headers form{{"Content-Type", "application/x-www-form-urlencoded"}};
    auto login = [&](const QString& password) {
        return send("POST", QStringLiteral("/idp/login"),
                    formEncode({{"username", VeloraSimulator::SamlUser},
                                {"password", password},
                                {"SAMLRequest", request},
                                {"RelayState", relay}}),
                    form);
    };
    const Http wrong = login(QStringLiteral("guess"));
    QVERIFY(wrong.body.contains("Invalid user name or password."));
    QVERIFY(!wrong.body.contains("SAMLResponse\" value"));

    // Signed in: a form posting SAMLResponse + RelayState to the consumer submits itself.
    const Http ok = login(QString::fromLatin1(VeloraSimulator::SamlUserIdpPassword));
    QVERIFY(ok.body.contains(("action=\"" + m_sim->baseUrl() + "/sso/saml2/\"").toUtf8()));
    QVERIFY(ok.body.contains("document.forms[0].submit()"));
    const QString response = hiddenField(ok.body, QStringLiteral("SAMLResponse"));
    QCOMPARE(hiddenField(ok.body, QStringLiteral("RelayState")), relay);
    QVERIFY(!response.isEmpty());

    // A "+" sent unencoded turns into a space in a form: that assertion is not recognised.
    QByteArray sloppy = "SAMLResponse=" + response.toUtf8() + "&RelayState=" + relay.toUtf8();
    const bool hasPlus = response.contains(QLatin1Char('+'));
    const QByteArray good = formEncode({{"SAMLResponse", response}, {"RelayState", relay}});
    if (hasPlus)
        QCOMPARE(send("POST", QStringLiteral("/sso/saml2/"), sloppy, form).status, 403);

    const Http token = send("POST", QStringLiteral("/sso/saml2/"), good, form);
    QCOMPARE(token.status, 200);
    const QJsonObject scope = token.json().value(QStringLiteral("scope")).toObject();
    const QString grace = m_sim->userIdOf(QString::fromLatin1(VeloraSimulator::SamlUser));
    QCOMPARE(QString::number(scope.value(QStringLiteral("user")).toInteger()), grace);
    QCOMPARE(scope.value(QStringLiteral("enterprise")).toString(), QStringLiteral("acme"));
    QCOMPARE(scope.value(QStringLiteral("partitionName")).toString(), QStringLiteral("z9"));
    QCOMPARE(scope.value(QStringLiteral("partition")).toObject().value("id").toInt(), 9);
    const QString userToken = token.json().value(QStringLiteral("access_token")).toString();
    QCOMPARE(
        get(QStringLiteral("/ridgeapi/v1/user/%1?access_token=%2").arg(grace, userToken)).status,
        200);

    // Each assertion counts once; the login request is used up as well.
    QCOMPARE(send("POST", QStringLiteral("/sso/saml2/"), good, form).status, 403);
    QCOMPARE(m_sim->requestCount(VeloraSimulator::Endpoint::SamlConsumer), hasPlus ? 3 : 2);
    QCOMPARE(login(QString::fromLatin1(VeloraSimulator::SamlUserIdpPassword)).status, 400);
}

void tst_VeloraSimulator::statsAndLogUpload() {
    const QString app = m_sim->issueAppToken();
    const QJsonObject envelope{{"timestamp", "2026-03-24T12:00:00Z"},
                               {"appName", "tamber"},
                               {"cid", "c"},
                               {"sid", "s"},
                               {"event", "app_focus"},
                               {"data", QJsonObject{{"screen", "Menu"}}}};
    const QString stats =
        QStringLiteral("/ridgeapi/v1/quokkastats/app/tamber?access_token=%1&sid=s").arg(app);
    QCOMPARE(send("POST", stats, compact(envelope), kJson).status, 200);
    QCOMPARE(m_sim->statsEvents().size(), 1);
    QCOMPARE(m_sim->statsEvents().first().toObject(), envelope);
    QCOMPARE(send("POST", QStringLiteral("/ridgeapi/v1/quokkastats/app/tamber?sid=s"),
                  compact(envelope), kJson)
                 .status,
             401);
    QCOMPARE(send("POST", stats, compact({{"event", 3}}), kJson).status, 400);
    QCOMPARE(m_sim->statsEvents().size(), 1);

    const QByteArray log = "2026-03-24 12:00:00 [main] INFO started\n";
    const Http upload = send("PUT",
                             QStringLiteral("/put-handler.php?type=tamber&timestamp=1774353600"
                                            "&filename=%1&email=%2")
                                 .arg(q(QStringLiteral("com.velora.tamber 2026.log")),
                                      q(QStringLiteral("ada+test@example.com"))),
                             log, {{"Content-Type", "application/octet-stream"}});
    QCOMPARE(upload.status, 200);
    QCOMPARE(m_sim->uploadedLogs().size(), 1);
    const QJsonObject stored = m_sim->uploadedLogs().first();
    QCOMPARE(stored.value(QStringLiteral("filename")).toString(),
             QStringLiteral("com.velora.tamber 2026.log"));
    QCOMPARE(stored.value(QStringLiteral("email")).toString(),
             QStringLiteral("ada+test@example.com"));
    QCOMPARE(stored.value(QStringLiteral("body")).toString().toUtf8(), log);
    // A log file near its roll size arrives whole.
    const QByteArray big(1100 * 1024, 'x');
    QCOMPARE(
        send("PUT",
             QStringLiteral("/put-handler.php?type=tamber&timestamp=1&filename=big.log&email="),
             big)
            .status,
        200);
    QCOMPARE(m_sim->uploadedLogs().last().value(QStringLiteral("size")).toInt(), big.size());
    QCOMPARE(send("PUT",
                  QStringLiteral("/put-handler.php?type=tamber&timestamp=x&filename=f&email="), log)
                 .status,
             400);
}

void tst_VeloraSimulator::executableServesAndStopsOnSigterm() {
    QProcess proc;
    const QString caFile = QDir::temp().filePath(QStringLiteral("tst-velora-sim-ca.pem"));
    proc.start(QStringLiteral(VELORA_SIM_BIN), {QStringLiteral("--port"), QStringLiteral("0"),
                                                QStringLiteral("--print-ca"), caFile});
    QVERIFY(proc.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += proc.readAllStandardOutput()).contains("ca: "), 10000);
    const auto match =
        QRegularExpression(QStringLiteral("velora-sim listening on https://localhost:(\\d+)\n"
                                          "ca: (.*)\n"))
            .match(QString::fromUtf8(out));
    QVERIFY2(match.hasMatch(), out.constData());
    QCOMPARE(match.captured(2), caFile);

    QFile ca(caFile);
    QVERIFY(ca.open(QIODevice::ReadOnly));
    m_trusted = QSslCertificate::fromData(ca.readAll());
    QCOMPARE(m_trusted, VeloraSimulator::caCertificates());

    QNetworkRequest request(
        QUrl(QStringLiteral("https://localhost:%1/oauth2/token").arg(match.captured(1))));
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(m_trusted);
    request.setSslConfiguration(conf);
    QNetworkReply* reply = m_nam->post(request, compact({{"grant_type", "client_credentials"},
                                                         {"client_id", "plumCode"},
                                                         {"client_secret", "plumPrivate"}}));
    QSignalSpy done(reply, &QNetworkReply::finished);
    QVERIFY(done.wait(10000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    reply->deleteLater();

    proc.terminate();
    QVERIFY(proc.waitForFinished(10000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QFile::remove(caFile);

    QProcess bad;
    bad.start(QStringLiteral(VELORA_SIM_BIN), {QStringLiteral("--port"), QStringLiteral("http")});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
}

TAMBER_TEST_MAIN_CORE(tst_VeloraSimulator)
#include "tst_VeloraSimulator.moc"
