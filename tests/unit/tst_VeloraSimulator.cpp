// What the simulator does that the client suites do not reach: the refusals that keep those
// suites honest, token lifetimes, meeting series, fault lifetimes, request recording, the one-time
// assertions of its identity provider and the executable.
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
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Http {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    qint64 elapsedMs = 0;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

using Headers = QList<QPair<QByteArray, QByteArray>>;
const Headers kJson{{"Content-Type", "application/json"}};
const Headers kForm{{"Content-Type", "application/x-www-form-urlencoded"}};

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Form encoding as a browser does it: spaces as "+", everything else reserved percent-encoded.
QByteArray formEncode(const QList<QPair<QString, QString>>& fields) {
    QByteArray out;
    for (const auto& [key, value] : fields)
        out += (out.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(key) + '=' +
               QUrl::toPercentEncoding(value, " ").replace(' ', '+');
    return out;
}

QString hiddenField(const QByteArray& html, const QString& name) {
    const QRegularExpression re(QStringLiteral("name=\"%1\" value=\"([^\"]*)\"").arg(name));
    QString v = re.match(QString::fromUtf8(html)).captured(1);
    v.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&lt;"), "<");
    return v.replace(QStringLiteral("&gt;"), ">").replace(QStringLiteral("&amp;"), "&");
}

QByteArray meetingWith(const QString& field, const QJsonValue& value) {
    QJsonObject body{{"start", "1900000000000"},
                     {"end", "1900001800000"},
                     {"title", "t"},
                     {"timezone", "UTC"},
                     {"attendees", QJsonArray{QJsonObject{{"email", "mary@example.com"}}}}};
    if (!field.isEmpty())
        body.insert(field, value);
    return compact(body);
}

// One request trusting the simulator's CA. A manager per request: it would otherwise reuse a
// connection whatever the TLS settings.
Http request(const QByteArray& method, const QString& url, const QByteArray& body = {},
             const Headers& headers = {}) {
    QNetworkAccessManager nam;
    QNetworkRequest request{QUrl(url)};
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(VeloraSimulator::caCertificates());
    request.setSslConfiguration(conf);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = nam.sendCustomRequest(request, method, body);
    QSignalSpy done(reply, &QNetworkReply::finished);
    Http out;
    if (!done.wait(20000))
        return out;
    out.elapsedMs = clock.elapsed();
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.body = reply->readAll();
    out.error = reply->error();
    return out;
}

// The token a row sends: none, Ada's (valid or expired), an application's, or a made-up one.
enum class Token { None, User, Expired, App, Bogus };

// A weekly fixture series, used with a fixed "now".
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
           "recurrencePattern": {"recurrenceType": "WEEKLY", "frequency": 1}}
        ]}]})";
}

} // namespace

class tst_VeloraSimulator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_sim.reset(); }

    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void tokenLifetimes();
    void meetingsKeepTheirIdentity();
    void seriesOccurrencesAcrossAClockChange();
    void faultLifetimes();
    void recordsWhatArrived();
    void assertionsCountOnce();
    void executableServesAndStopsOnSigterm();

private:
    Http send(const QByteArray& method, const QString& pathAndQuery, const QByteArray& body = {},
              const Headers& headers = {}) {
        return request(method, m_sim->baseUrl() + pathAndQuery, body, headers);
    }
    Http get(const QString& pathAndQuery) { return send("GET", pathAndQuery); }
    QString ada() const {
        return m_sim->userIdOf(QString::fromLatin1(VeloraSimulator::PasswordUser));
    }

    std::unique_ptr<VeloraSimulator> m_sim;
};

void tst_VeloraSimulator::init() {
    m_sim = std::make_unique<VeloraSimulator>();
    QVERIFY(m_sim->start());
}

void tst_VeloraSimulator::refusalsChangeNothing_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path"); // "{uid}": Ada's id, "{grace}": another user's
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("json");
    QTest::addColumn<Token>("token");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // "errorCode", or OAuth's "error"; empty: not checked
    const QString token = QStringLiteral("/oauth2/token");
    const auto grant = [](const char* user, const char* password) {
        QJsonObject o{{"grant_type", "password"}, {"username", user}};
        if (password)
            o.insert("password", password);
        return compact(o);
    };
    const QString user = QStringLiteral("/ridgeapi/v1/user/{uid}");
    const QString create = QStringLiteral("/ridgeapi/v1/user/{uid}/scheduled_meeting/?email=true");
    const QString profile = QStringLiteral("/ridgeapi/v1/user/security_profile?user=");
    const QString stats = QStringLiteral("/ridgeapi/v1/quokkastats/app/tamber?sid=s");
    const QByteArray envelope = compact(
        {{"timestamp", "2026-03-24T12:00:00Z"}, {"appName", "tamber"}, {"event", "app_focus"}});
    const auto row = [](const char* name, const char* method, const QString& path,
                        const QByteArray& body, bool json, Token t, int status, const char* error) {
        QTest::newRow(name) << QByteArray(method) << path << body << json << t << status
                            << QString::fromLatin1(error);
    };
    row("unknown client", "POST", token,
        compact({{"grant_type", "client_credentials"},
                 {"client_id", "plumCode"},
                 {"client_secret", "guess"}}),
        false, Token::None, 401, "invalid_client");
    row("wrong password", "POST", token, grant(VeloraSimulator::PasswordUser, "wrong"), false,
        Token::None, 400, "invalid_grant");
    row("no password", "POST", token, grant(VeloraSimulator::PasswordUser, nullptr), false,
        Token::None, 400, "invalid_grant");
    row("single sign-on account", "POST", token,
        grant(VeloraSimulator::SamlUser, VeloraSimulator::SamlUserIdpPassword), false, Token::None,
        400, "invalid_grant");
    row("form grant", "POST", token, "grant_type=password", false, Token::None, 400, "");
    row("expired token's info", "GET", "/oauth2/tokenInfo", {}, false, Token::Expired, 401,
        "invalid_token");
    row("no token", "GET", user, {}, false, Token::None, 401, "MISSING_TOKEN");
    row("unknown token", "GET", user, {}, false, Token::Bogus, 401, "INVALID_TOKEN");
    row("someone else's room", "GET", "/ridgeapi/v1/user/{grace}/room/", {}, false, Token::User,
        403, "");
    row("application token", "GET", user, {}, false, Token::App, 403, "");
    // Every user endpoint checks the token in one place: one of them stands for all.
    row("expired token", "GET", user + "/room/", {}, false, Token::Expired, 401, "TOKEN_EXPIRED");
    row("unknown path", "GET", "/nowhere", {}, false, Token::User, 404, "");
    row("profile of nobody", "GET", profile + "nobody%40example.com", {}, false, Token::App, 404,
        "");
    row("profile of a smuggled user", "GET",
        profile + "ada%40example.com%26user%3Dgrace%40acme.example", {}, false, Token::App, 404,
        "");
    row("profile of an empty user", "GET", profile + "x&user=", {}, false, Token::App, 400, "");
    row("profile without token", "GET", profile + "ada%40example.com", {}, false, Token::None, 401,
        "");
    row("room switch as text", "PUT", user + "/room/", R"({"publishMeeting":"1"})", true,
        Token::User, 400, "INVALID_INPUT");
    row("room encryption unknown", "PUT", user + "/room/", R"({"encryptionType":"ROT13"})", true,
        Token::User, 400, "INVALID_INPUT");
    row("room without content type", "PUT", user + "/room/", R"({"disallowChat":false})", false,
        Token::User, 415, "");
    const QList<QPair<const char*, QJsonValue>> broken{
        {"timezone", "Mars/Olympus"},
        {"end", "1899999940000"},
        {"start", "soon"},
        {"title", ""},
        {"attendees", QJsonArray{QJsonObject{{"email", "not an address"}}}},
        {"recurrencePattern", QJsonObject{{"recurrenceType", "WEEKLY"}, {"daysOfWeekMask", 0}}}};
    for (const auto& [field, value] : broken)
        QTest::addRow("meeting with bad %s", field)
            << QByteArray("POST") << create << meetingWith(field, value) << true << Token::User
            << 400 << "INVALID_INPUT";
    row("meeting without content type", "POST", create, meetingWith({}, {}), false, Token::User,
        415, "");
    row("change of no meeting", "PUT", "/ridgeapi/v1/user/{uid}/scheduled_meeting/424242",
        meetingWith({}, {}), true, Token::User, 404, "");
    row("cancel of no meeting", "DELETE", "/ridgeapi/v1/user/{uid}/scheduled_meeting/424242", {},
        false, Token::User, 404, "");
    row("invitation of no meeting", "GET", "/v1/user/{uid}/scheduled_meeting/999/emails", {}, false,
        Token::User, 404, "");
    row("sign-on request without token", "POST",
        "/sso/saml2/auth_request?enterprise=acme&mode=token_request", {}, false, Token::None, 401,
        "");
    row("sign-on request of no enterprise", "POST",
        "/sso/saml2/auth_request?enterprise=nope&mode=token_request", {}, false, Token::App, 404,
        "");
    row("event without token", "POST", stats, envelope, true, Token::None, 401, "");
    row("event of bad shape", "POST", stats, compact({{"event", 3}}), true, Token::App, 400, "");
    row("log with bad timestamp", "PUT", "/put-handler.php?type=tamber&timestamp=x&filename=f",
        "log", false, Token::None, 400, "");
}

void tst_VeloraSimulator::refusalsChangeNothing() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, json);
    QFETCH(Token, token);
    QFETCH(int, status);
    QFETCH(QString, error);
    const QString uid = ada();
    QString value;
    if (token == Token::User || token == Token::Expired)
        value = m_sim->issueUserToken(QString::fromLatin1(VeloraSimulator::PasswordUser));
    if (token == Token::Expired)
        m_sim->expireAllUserTokens();
    if (token == Token::App)
        value = m_sim->issueAppToken();
    if (token == Token::Bogus)
        value = QStringLiteral("deadbeef");
    path.replace("{uid}", uid)
        .replace("{grace}", m_sim->userIdOf(QString::fromLatin1(VeloraSimulator::SamlUser)));
    if (token != Token::None)
        path += (path.contains('?') ? "&access_token=" : "?access_token=") + value;
    const QJsonArray meetings = m_sim->meetings(uid);
    const QJsonObject room = m_sim->room(uid);

    const Http r = send(method, path, body, json ? kJson : Headers());
    QCOMPARE(r.status, status);
    const QJsonObject doc = r.json();
    if (!error.isEmpty())
        QCOMPARE(doc.value(doc.contains("errorCode") ? "errorCode" : "error").toString(), error);
    QVERIFY(!doc.contains("access_token"));
    QCOMPARE(m_sim->meetings(uid), meetings);
    QCOMPARE(m_sim->room(uid), room);
    QVERIFY(m_sim->statsEvents().isEmpty() && m_sim->uploadedLogs().isEmpty());
}

void tst_VeloraSimulator::tokenLifetimes() {
    // A user name in other letter case still signs in.
    const Http grant = send("POST", QStringLiteral("/oauth2/token"),
                            compact({{"grant_type", "password"},
                                     {"username", "ADA@example.com"},
                                     {"password", VeloraSimulator::PasswordUserPassword}}));
    const QString user = grant.json().value("access_token").toString();
    const auto info = [this](const QString& token) {
        return get(QStringLiteral("/oauth2/tokenInfo?access_token=") + token);
    };
    QCOMPARE(QString::number(info(user).json().value("user").toInteger()), ada());
    // An application token is valid but names no user.
    const Http app = info(m_sim->issueAppToken());
    QVERIFY(app.status == 200 && !app.json().contains("user"));
    QCOMPARE(send("DELETE", QStringLiteral("/oauth2/token?access_token=") + user).status, 200);
    QCOMPARE(info(user).status, 401);
}

void tst_VeloraSimulator::meetingsKeepTheirIdentity() {
    const QString token = m_sim->issueUserToken(QString::fromLatin1(VeloraSimulator::PasswordUser));
    const QString ridge = QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/").arg(ada());
    const QString query = QStringLiteral("?email=true&access_token=") + token;
    const Http created =
        send("POST", ridge + query,
             meetingWith("recurrencePattern", QJsonObject{{"recurrenceType", "NONE"}}), kJson);
    QCOMPARE(created.status, 200);
    const QString id = QString::number(created.json().value("id").toInteger());
    const QJsonValue numericId = created.json().value("numericMeetingId");
    QVERIFY(!numericId.toString().isEmpty());
    // Listed with numeric times and without a pattern, since it does not repeat; a change keeps
    // the meeting's number.
    QCOMPARE(send("PUT", ridge + id + query, meetingWith("title", "Renamed"), kJson).status, 200);
    const QJsonObject listed = m_sim->meeting(ada(), id);
    QCOMPARE(listed.value("start").toInteger(), 1900000000000);
    QVERIFY(!listed.contains("recurrencePattern"));
    QCOMPARE(listed.value("title").toString(), QStringLiteral("Renamed"));
    QCOMPARE(listed.value("numericMeetingId"), numericId);
}

void tst_VeloraSimulator::seriesOccurrencesAcrossAClockChange() {
    // Tuesday 2026-03-24 12:00 UTC; the UK moves its clocks on Sunday 2026-03-29.
    const QDateTime now(QDate(2026, 3, 24), QTime(12, 0), QTimeZone::utc());
    QVERIFY(m_sim->loadFixtureJson(seriesFixture(), now));
    QVERIFY(!m_sim->loadFixtureJson("{\"accounts\": [{\"username\": 1}]}"));
    const QTimeZone london("Europe/London");
    const auto local = [&](const QJsonValue& ms) {
        return QDateTime::fromMSecsSinceEpoch(ms.toInteger(), london);
    };
    const auto meeting = [this](const char* id) {
        return m_sim->meeting(QStringLiteral("7"), QString::fromLatin1(id));
    };

    // Mon+Wed from Saturday the 14th: 16, 18, 23, 25 March, 30 March, 1 April (six in all).
    // 23 March has ended, so the next is Wednesday the 25th at 09:30 London time.
    const QJsonObject weekly = meeting("1");
    QCOMPARE(local(weekly.value("nextStart")), QDateTime(QDate(2026, 3, 25), QTime(9, 30), london));
    QCOMPARE(weekly.value("nextEnd").toInteger() - weekly.value("nextStart").toInteger(), 1800000);
    // The last one falls after the clock change and still starts at 09:30 local time.
    QCOMPARE(local(weekly.value("last").toObject().value("end")),
             QDateTime(QDate(2026, 4, 1), QTime(10, 0), london));
    // A finished series points at its final occurrence, in the past; an open one has no last.
    const QJsonObject finished = meeting("2");
    QVERIFY(finished.value("last").toObject().value("end").toInteger() < now.toMSecsSinceEpoch());
    QCOMPARE(finished.value("nextStart").toInteger() + 3600000,
             finished.value("last").toObject().value("end").toInteger());
    QVERIFY(meeting("3").contains("nextStart") && !meeting("3").contains("last"));

    // Cancelling the next occurrence moves "nextStart" on; the same occurrence twice is refused.
    const QString token = m_sim->issueUserToken(QStringLiteral("sam@example.com"));
    const auto cancelNext = [&](qint64 endShift) {
        return send("DELETE", QStringLiteral("/ridgeapi/v1/user/7/scheduled_meeting/1?originalStart"
                                             "=%1&originalEnd=%2&email=true&access_token=%3")
                                  .arg(weekly.value("nextStart").toInteger())
                                  .arg(weekly.value("nextEnd").toInteger() + endShift)
                                  .arg(token))
            .status;
    };
    QCOMPARE(cancelNext(60000), 400);
    QCOMPARE(cancelNext(0), 204);
    QCOMPARE(local(meeting("1").value("nextStart")),
             QDateTime(QDate(2026, 3, 30), QTime(9, 30), london));
    QCOMPARE(cancelNext(0), 400);
    QCOMPARE(m_sim->cancellations().size(), 1);
}

void tst_VeloraSimulator::faultLifetimes() {
    using E = VeloraSimulator::Endpoint;
    const QString info = QStringLiteral("/oauth2/tokenInfo?access_token=x");
    // An endpoint's own fault wins over "*" (counted faults and a refusing server are the
    // end-to-end suites' daily bread).
    QVERIFY(m_sim->injectFault(E::Any, Fault::httpError(500)));
    QVERIFY(m_sim->injectFault(E::TokenInfo, Fault::httpError(418)));
    QCOMPARE(get(info).status, 418);
    m_sim->clearFault(E::TokenInfo);
    QCOMPARE(get(info).status, 500);
    QVERIFY(!m_sim->injectFault(QStringLiteral("noSuchEndpoint"), Fault::empty()));

    m_sim->clearFaults();
    // A delayed reply comes late; a faulted create changes nothing, but a cut-off one has done
    // its work before the cut (the client cannot tell).
    QVERIFY(m_sim->injectFault(E::TokenInfo, Fault::delay(600)));
    QVERIFY(get(info).elapsedMs >= 580);
    const QString create =
        QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/?email=true&access_token=%2")
            .arg(ada(), m_sim->issueUserToken(QString::fromLatin1(VeloraSimulator::PasswordUser)));
    const qsizetype before = m_sim->meetings(ada()).size();
    for (const Fault& f : {Fault::httpError(500), Fault::garbage(), Fault::empty()}) {
        QVERIFY(m_sim->injectFault(E::CreateMeeting, f));
        send("POST", create, meetingWith({}, {}), kJson);
    }
    QCOMPARE(m_sim->meetings(ada()).size(), before);
    QVERIFY(m_sim->injectFault(E::CreateMeeting, Fault::closeMidBody()));
    QCOMPARE(send("POST", create, meetingWith({}, {}), kJson).error,
             QNetworkReply::RemoteHostClosedError);
    QCOMPARE(m_sim->meetings(ada()).size(), before + 1);
}

void tst_VeloraSimulator::recordsWhatArrived() {
    const QString token = m_sim->issueUserToken(QString::fromLatin1(VeloraSimulator::PasswordUser));
    QSignalSpy received(m_sim.get(), &VeloraSimulator::requestReceived);
    // An encoded "/" stays inside its path segment; the raw target keeps its encoding.
    QCOMPARE(
        get(QStringLiteral("/ridgeapi/v1/user/10%2F01?note=a%26b%3Dc%20d&access_token=") + token)
            .status,
        403);
    QCOMPARE(received.size(), 1);
    const RecordedRequest r = m_sim->lastRequest();
    QCOMPARE(r.endpoint, QStringLiteral("user"));
    QCOMPARE(r.path, QStringLiteral("/ridgeapi/v1/user/10/01"));
    QVERIFY2(r.target.contains("note=a%26b%3Dc%20d"), r.target.constData());
    QCOMPARE(r.queryValue(QStringLiteral("note")), QStringLiteral("a&b=c d"));
    // Unknown paths are recorded too, under no endpoint.
    get(QStringLiteral("/nowhere"));
    QCOMPARE(m_sim->lastRequest().endpoint, QString());
    QCOMPARE(m_sim->requestCount(), 2);
}

void tst_VeloraSimulator::assertionsCountOnce() {
    const Http auth =
        send("POST", QStringLiteral("/sso/saml2/auth_request?enterprise=acme&mode=token_request"
                                    "&access_token=") +
                         m_sim->issueAppToken());
    const QUrl idp(auth.json().value(QStringLiteral("idPLoginUrl")).toString());
    QCOMPARE(idp.port(), int(m_sim->port()));
    const Http page = get(idp.path() + QLatin1Char('?') + idp.query(QUrl::FullyEncoded));
    const QString request = hiddenField(page.body, QStringLiteral("SAMLRequest"));
    const QString relay = hiddenField(page.body, QStringLiteral("RelayState"));
    QVERIFY(!request.isEmpty() && !relay.isEmpty());
    const auto login = [&](const char* password) {
        return send("POST", QStringLiteral("/idp/login"),
                    formEncode({{"username", VeloraSimulator::SamlUser},
                                {"password", password},
                                {"SAMLRequest", request},
                                {"RelayState", relay}}),
                    kForm);
    };
    const Http wrong = login("guess");
    QVERIFY(wrong.body.contains("Invalid user name or password."));
    QVERIFY(!wrong.body.contains("SAMLResponse\" value"));
    const Http ok = login(VeloraSimulator::SamlUserIdpPassword);
    const QString response = hiddenField(ok.body, QStringLiteral("SAMLResponse"));
    QVERIFY(!response.isEmpty());

    // A "+" sent unencoded turns into a space in a form: that assertion is not recognised.
    const QString consumer = QStringLiteral("/sso/saml2/");
    if (response.contains(QLatin1Char('+')))
        QCOMPARE(send("POST", consumer,
                      ("SAMLResponse=" + response + "&RelayState=" + relay).toUtf8(), kForm)
                     .status,
                 403);
    const QByteArray good = formEncode({{"SAMLResponse", response}, {"RelayState", relay}});
    const Http token = send("POST", consumer, good, kForm);
    QCOMPARE(token.status, 200);
    QCOMPARE(token.json().value("scope").toObject().value("partition").toObject().value("id"),
             QJsonValue(9));
    // Each assertion counts once, and the login request is used up as well.
    QCOMPARE(send("POST", consumer, good, kForm).status, 403);
    QCOMPARE(login(VeloraSimulator::SamlUserIdpPassword).status, 400);
}

void tst_VeloraSimulator::executableServesAndStopsOnSigterm() {
    QProcess proc;
    const QString caFile = QDir::temp().filePath(QStringLiteral("tst-velora-sim-ca.pem"));
    proc.start(QStringLiteral(VELORA_SIM_BIN), {QStringLiteral("--port"), QStringLiteral("0"),
                                                QStringLiteral("--print-ca"), caFile});
    QVERIFY(proc.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += proc.readAllStandardOutput()).contains("ca: "), 10000);
    const auto match = QRegularExpression(QStringLiteral("velora-sim listening on "
                                                         "https://localhost:(\\d+)\nca: (.*)\n"))
                           .match(QString::fromUtf8(out));
    QVERIFY2(match.hasMatch(), out.constData());
    QCOMPARE(match.captured(2), caFile);
    QFile ca(caFile);
    QVERIFY(ca.open(QIODevice::ReadOnly));
    QCOMPARE(QSslCertificate::fromData(ca.readAll()), VeloraSimulator::caCertificates());
    const QString token = u"https://localhost:%1/oauth2/token"_s.arg(match.captured(1));
    QCOMPARE(request("POST", token,
                     compact({{"grant_type", "client_credentials"},
                              {"client_id", VeloraSimulator::ClientId},
                              {"client_secret", VeloraSimulator::ClientSecret}}))
                 .status,
             200);

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
