// Token grants, security-profile lookup, validation and revocation against the simulator over
// real TLS: the exact requests sent, and every injected fault.
#include "CallOutcome.h"
#include "E2eRequests.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/Keychain.h"
#include "PostedNotifications.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>

namespace {

using Record = TamberDataModel;
constexpr int kShortTimeoutMs = 1500;

Record& rec() {
    return *Record::sharedData();
}

// A lookup's outcome: which of its four callbacks ran.
struct Lookup : CallOutcome {
    int password = 0, sso = 0, fb = 0;
    int calls() const { return password + sso + fb + errors; }
    void start(const QString& account) {
        Record::fetchSecurityProfileDetails(
            account, [this] { ++password; }, [this] { ++sso; }, [this] { ++fb; }, onError());
    }
};

const QString kSaml = QStringLiteral("SAML_CONFIG_REQUESTED");
const QString kAuth = QStringLiteral("AUTH_CONFIG_REQUESTED");
const QByteArray kClientGrant(R"({"client_id":"plumCode","client_secret":"plumPrivate",)"
                              R"("grant_type":"client_credentials"})");

void usePassword(const char* password = VeloraSimulator::PasswordUserPassword) {
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(password);
}

void validate(CallOutcome& o) {
    Record::validateTokenAndPerformAction(o.onSuccess(), o.onError());
}

void refresh(CallOutcome& o) {
    Record::refreshAccessToken(o.onSuccess(), o.onError());
}

} // namespace

class tst_TokenCalls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void lookups_data();
    void lookups();
    void passwordGrantRequestAndRecord();
    void grantFaults_data();
    void grantFaults();
    void onlyAcceptedPasswordsReachTheKeychain();
    void validationValidAndSaved();
    void validationFaults_data();
    void validationFaults();
    void twoValidationsAtOnce();
    void oddRepliesHandled();
    void revocation_data();
    void revocation();
    void ssoAddressLoggedWithoutToken();

private:
    bool errorLogged(const QString& prefix) const {
        return m_log->contains(Log::Error, prefix, true);
    }

    SignedInSimulator m_env;
    std::unique_ptr<LogSpy> m_log;
    QSet<QString> m_seenTokens;
};

void tst_TokenCalls::initTestCase() {
    QVERIFY(m_env.start());
    ServiceCall::setTransferTimeoutMs(kShortTimeoutMs);
}

void tst_TokenCalls::init() {
    m_env.resetRecord();
    m_log = std::make_unique<LogSpy>();
}

void tst_TokenCalls::cleanup() {
    m_env.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(kShortTimeoutMs); // a delay row shortens it
    // No token any test obtained so far reaches a log line.
    for (const IssuedToken& t : m_env.sim().issuedTokens())
        m_seenTokens.insert(t.token);
    for (const LogSpy::Line& line : m_log->lines())
        for (const QString& token : std::as_const(m_seenTokens))
            QVERIFY2(!line.message.contains(token), qPrintable(line.message));
}

void tst_TokenCalls::lookups_data() {
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("endpoint"); // where the fault goes, empty for none
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("outcome");   // the callback that runs: password, sso, fb, error
    QTest::addColumn<int>("code");          // expected transport error, 0 for none
    QTest::addColumn<QString>("errorLine"); // expected error-level line (prefix), or empty
    QTest::addColumn<QString>("type");      // authenticationType afterwards, empty: absent
    const QString ada = QString::fromLatin1(VeloraSimulator::PasswordUser);
    const auto row = [](const char* name, const QString& account, const char* endpoint,
                        const Fault& fault, const char* outcome, int code, const QString& line,
                        const char* type) {
        QTest::newRow(name) << account << QString(endpoint) << fault << QString(outcome) << code
                            << line << QString(type);
    };
    row("password account", ada, "", {}, "password", 0, {}, "PASSWORD");
    row("sso account", VeloraSimulator::SamlUser, "", {}, "sso", 0, {}, "SAML");
    row("social account", VeloraSimulator::FbUser, "", {}, "fb", 0, {}, "FB");
    row("password account of an enterprise", "alan@acme.example", "", {}, "password", 0, {},
        "PASSWORD");
    // A typed name with query characters stays one value: nobody else's profile comes back.
    row("query characters", "nobody@x.example&user=ada@example.com#", "", {}, "error", 0, {}, "");
    // An unknown type is stored and reported as an error with nothing; a PASSWORD profile with
    // a JSON null enterprise id keeps the stored one.
    row("unknown type", ada, "securityProfile",
        Fault::replyWith(200, R"({"authenticationType":"KERBEROS","enterpriseId":[1]})"), "error",
        0, {}, "KERBEROS");
    row("null enterprise", ada, "securityProfile",
        Fault::replyWith(200, R"({"authenticationType":"PASSWORD","enterpriseId":null})"),
        "password", 0, {}, "PASSWORD");
    const QString noToken = QStringLiteral("Error. No Access Token.");
    const auto transport = [](int code) {
        return QStringLiteral("Error Error Domain=NSURLErrorDomain Code=%1").arg(code);
    };
    const Fault late = Fault::delay(kShortTimeoutMs * 3);
    row("grant http error", ada, "token", Fault::httpError(500, {{"message", "down"}}), "error", 0,
        noToken, "PASSWORD");
    row("grant garbage", ada, "token", Fault::garbage(), "error", 0, noToken, "PASSWORD");
    row("grant empty", ada, "token", Fault::empty(), "error", 0, "Error. Empty data", "PASSWORD");
    row("grant cut off", ada, "token", Fault::closeMidBody(), "error", -1005, transport(-1005),
        "PASSWORD");
    row("grant late", ada, "token", late, "error", -1001, transport(-1001), "PASSWORD");
    row("grant reset", ada, "token", Fault::refuse(), "error", -1005, transport(-1005), "PASSWORD");
    row("server down", ada, "*", Fault::refuse(), "error", -1004, transport(-1004), "PASSWORD");
    // An error document has no "authenticationType": stored as it is (absent).
    row("profile http error", ada, "securityProfile", Fault::httpError(503, {{"message", "busy"}}),
        "error", 0, {}, "");
    row("profile garbage", ada, "securityProfile", Fault::garbage(), "error", 0, {}, "PASSWORD");
    row("profile empty", ada, "securityProfile", Fault::empty(), "error", 0, {}, "PASSWORD");
    row("profile cut off", ada, "securityProfile", Fault::closeMidBody(), "error", -1005, {},
        "PASSWORD");
    row("profile late", ada, "securityProfile", late, "error", -1001, {}, "PASSWORD");
}

void tst_TokenCalls::lookups() {
    QFETCH(QString, account);
    QFETCH(QString, endpoint);
    QFETCH(Fault, fault);
    QFETCH(QString, outcome);
    QFETCH(int, code);
    QFETCH(QString, errorLine);
    QFETCH(QString, type);
    VeloraSimulator& sim = m_env.sim();
    rec().app_access_token = QStringLiteral("kept-app-token");
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().enterpriseId = QStringLiteral("kept");
    if (!endpoint.isEmpty())
        QVERIFY(sim.injectFault(endpoint, fault));
    Lookup o;
    o.start(account);
    QCOMPARE(sim.requestCount(), 0); // sent after the current event
    QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
    const QMap<QString, int> ran{
        {"password", o.password}, {"sso", o.sso}, {"fb", o.fb}, {"error", o.errors}};
    QCOMPARE(ran.value(outcome), 1);
    QCOMPARE(o.code(), code);
    if (!errorLine.isEmpty())
        QVERIFY2(errorLogged(errorLine), qPrintable(m_log->messages(Log::Error).join('\n')));
    // Every lookup starts from a fresh client grant. A failed one neither blanks the stored token
    // nor asks for the profile; after a good one the new token is kept and a failed profile is
    // no error line.
    if (endpoint != QLatin1String("*")) {
        QCOMPARE(requestLine(sim.requests().value(0)), QStringLiteral("POST /oauth2/token"));
        QCOMPARE(sim.requests().value(0).body, kClientGrant);
    }
    if (endpoint == QLatin1String("token") || endpoint == QLatin1String("*")) {
        QCOMPARE(rec().app_access_token.toString(), QStringLiteral("kept-app-token"));
        QCOMPARE(sim.requestCount("securityProfile"), 0);
    } else {
        const QString appToken = rec().app_access_token.toString();
        QCOMPARE(sim.tokenInfo(appToken).kind, QStringLiteral("app"));
        QCOMPARE(rec().app_expires_in.toInt(), 3600);
        QCOMPARE(requestLine(sim.lastRequest("securityProfile")),
                 "GET /ridgeapi/v1/user/security_profile access_token=" + appToken +
                     " user=" + account);
        QVERIFY(m_log->messages(Log::Error).isEmpty());
    }
    QCOMPARE(rec().authenticationType, type.isEmpty() ? QVariant() : QVariant(type));
    const bool enterprise = endpoint.isEmpty() && account.endsWith(QLatin1String("@acme.example"));
    QCOMPARE(rec().enterpriseId.toString(),
             enterprise ? QStringLiteral("acme") : QStringLiteral("kept"));
    if (outcome == QLatin1String("sso"))
        QCOMPARE(rec().idpURL.toString(), sim.baseUrl() + QStringLiteral("/idp/login"));
}

void tst_TokenCalls::passwordGrantRequestAndRecord() {
    usePassword();
    CallOutcome o;
    refresh(o);
    QVERIFY(o.succeeded());
    const RecordedRequest grant = m_env.sim().lastRequest("token");
    QCOMPARE(requestLine(grant), QStringLiteral("POST /oauth2/token"));
    QCOMPARE(grant.body, QByteArray(R"({"grant_type":"password","password":"correct horse",)"
                                    R"("username":"ada@example.com"})"));
    const QString token = rec().access_token.toString();
    QCOMPARE(m_env.sim().tokenInfo(token).kind, QStringLiteral("user"));
    QCOMPARE(rec().expires_in.toInt(), 3600);
    QCOMPARE(rec().partitionId.toInt(), 7);
    QCOMPARE(rec().partitionName.toString(), QStringLiteral("z7"));
    QCOMPARE(rec().userId.toInt(), 1001);
    QCOMPARE(storedPreference("access_token").toString(), token); // saved
    QCOMPARE(storedPreference("partitionName").toString(), QStringLiteral("z7"));

    // Without a password the key is left out; the refusal is a reply, so success runs and the
    // caller finds no token.
    rec().password = QVariant();
    CallOutcome refused;
    refresh(refused);
    QVERIFY(refused.succeeded());
    QVERIFY(!m_env.sim().lastRequest("token").jsonBody().contains("password"));
    QVERIFY(!rec().access_token.isValid() && !rec().userId.isValid());
    QVERIFY(!storedPreference("access_token").isValid());
}

void tst_TokenCalls::grantFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code"); // of the renewal: 0 is a refusal the service means
    QTest::newRow("wrong password") << Fault::httpError(400, {{"error", "invalid_grant"}}) << 0;
    QTest::newRow("401") << Fault::httpError(401) << 0;
    QTest::newRow("503") << Fault::httpError(503) << 503;
    QTest::newRow("ok without token")
        << Fault::replyWith(200, R"({"token_type":"bearer"})") << -1011;
    // Wrong types: an object for the token, a list for the partition.
    QTest::newRow("wrong types") << Fault::replyWith(200, R"({"access_token":{"a":1},)"
                                                          R"("expires_in":[1],"scope":"user",)"
                                                          R"("partition":[]})")
                                 << -1011;
    QTest::newRow("nested") << Fault::replyWith(200,
                                                QByteArray(100000, '[') + QByteArray(100000, ']'))
                            << -1011;
    QTest::newRow("garbage") << Fault::garbage() << -1011;
    QTest::newRow("empty") << Fault::empty() << -1011;
    QTest::newRow("cut off") << Fault::closeMidBody() << -1005;
    QTest::newRow("late") << Fault::delay(kShortTimeoutMs * 3) << -1001;
    QTest::newRow("reset") << Fault::refuse() << -1005;
}

void tst_TokenCalls::grantFaults() {
    QFETCH(Fault, fault);
    QFETCH(int, code);
    const bool transport = FaultMatrix::isTransport(fault.kind);
    const bool empty = fault.kind == Fault::Kind::Empty;

    // Signing in: any reply with a body is applied (a refusal leaves no token) and answered as a
    // success; a failed connection or an empty body is an error that keeps the token.
    const QString before = m_env.signIn();
    usePassword();
    m_env.sim().injectFault("token", fault);
    CallOutcome grant;
    refresh(grant);
    QVERIFY(grant.wait(kShortTimeoutMs * 6));
    QCOMPARE(grant.successes, transport || empty ? 0 : 1);
    QCOMPARE(grant.code(), transport ? code : 0);
    QCOMPARE(rec().access_token.toString(), transport || empty ? before : QString());
    const QString line = transport
                             ? QStringLiteral("Error Domain=NSURLErrorDomain Code=%1").arg(code)
                             : QStringLiteral("Error. Empty data.");
    if (transport || empty) {
        QVERIFY2(errorLogged(line), qPrintable(m_log->messages(Log::Error).join('\n')));
    } else { // applied, and none of its fields was usable
        QVERIFY(m_log->messages(Log::Error).isEmpty());
        for (const QVariant* field :
             {&rec().expires_in, &rec().partitionId, &rec().partitionName, &rec().userId})
            QVERIFY(!field->isValid());
    }

    // Silent renewal of an expired token: a failure changes nothing, also in the stored record.
    const QString token = m_env.signIn();
    usePassword();
    rec().partitionName = QStringLiteral("z7");
    Record::saveDataToBundle();
    m_env.sim().expireToken(token);
    m_env.sim().injectFault("token", fault);
    PostedNotifications reauth({kSaml, kAuth});
    CallOutcome o;
    validate(o);
    if (code == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(reauth.names, QStringList{kAuth}, kShortTimeoutMs * 6);
        QCOMPARE(o.calls(), 0);
    } else {
        QVERIFY(o.wait(kShortTimeoutMs * 6));
        QCOMPARE(o.code(), code);
        QVERIFY(reauth.names.isEmpty());
    }
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(storedPreference("access_token").toString(), token);
    QCOMPARE(rec().userId.toString(), m_env.userId());
    QCOMPARE(rec().password.toString(), QString::fromLatin1(VeloraSimulator::PasswordUserPassword));
    QCOMPARE(storedPreference("username").toString(),
             QString::fromLatin1(VeloraSimulator::PasswordUser));
    QCOMPARE(rec().partitionName.toString(), QStringLiteral("z7"));
    QVERIFY(m_log->contains(Log::Warning, QStringLiteral("Silent token renewal failed"), true));
}

void tst_TokenCalls::onlyAcceptedPasswordsReachTheKeychain() {
    if (!qEnvironmentVariableIsSet("TAMBER_TEST_ENV_INNER"))
        QSKIP("needs the secret service of scripts/with-test-env");
    Record::setKeychainAccountForTesting(
        QStringLiteral("tst_TokenCalls-%1").arg(QCoreApplication::applicationPid()));
    Record::deleteStoredPassword();
    const auto item = [] {
        return Keychain::passwordFor(Record::keychainService(), Record::keychainAccount());
    };
    const auto signInWith = [](const char* password) {
        usePassword(password);
        CallOutcome o;
        refresh(o);
        return o.wait(20000);
    };
    const std::optional<QString> right(QString::fromLatin1(VeloraSimulator::PasswordUserPassword));
    QVERIFY(signInWith("wrong"));
    QCOMPARE(item(), std::nullopt);
    QVERIFY(signInWith(VeloraSimulator::PasswordUserPassword));
    // A secret service slowed by a busy machine may finish the write after the bounded wait.
    QTRY_COMPARE_WITH_TIMEOUT(item(), right, 15000);
    QVERIFY(signInWith("wrong again"));
    QCOMPARE(item(), right);
    Record::deleteStoredPassword();
    Record::setKeychainAccountForTesting(QString());
}

void tst_TokenCalls::validationValidAndSaved() {
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    CallOutcome valid;
    validate(valid);
    QVERIFY(valid.succeeded());
    QCOMPARE(endpointsOf(sim.requests()), QStringList{"tokenInfo"});
    QCOMPARE(requestLine(sim.lastRequest()), "GET /oauth2/tokenInfo access_token=" + token);
    QCOMPARE(storedPreference("access_token").toString(), token); // the record is saved

    // A validation without callbacks still renews and saves.
    usePassword();
    sim.expireToken(token);
    Record::validateTokenAndPerformAction({}, {});
    QTRY_VERIFY(rec().access_token.toString() != token);
    QTRY_COMPARE(storedPreference("access_token").toString(), rec().access_token.toString());
}

void tst_TokenCalls::validationFaults_data() {
    QTest::addColumn<QVariant>("type");   // the account's authenticationType
    QTest::addColumn<Fault>("fault");     // the token check's answer
    QTest::addColumn<QString>("outcome"); // renewed (success), sso (asked for), error
    QTest::addColumn<int>("code");        // the error's code
    const QVariant password(QStringLiteral("PASSWORD"));
    const auto row = [](const char* name, const QVariant& type, const Fault& fault,
                        const char* outcome, int code) {
        QTest::newRow(name) << type << fault << QString(outcome) << code;
    };
    const auto json = [](const char* body) { return Fault::replyWith(200, body); };
    row("401", password, Fault::httpError(401), "renewed", 0);
    row("invalid_token document", password, Fault::httpError(400, {{"error", "invalid_token"}}),
        "renewed", 0);
    row("token without user", password, json(R"({"token_type":"bearer","client":"c"})"), "renewed",
        0);
    // Single sign-on again, and the caller never hears back; social login or an unknown
    // profile: an error with nothing, no renewal.
    row("sso account", QStringLiteral("SAML"), Fault::httpError(401), "sso", 0);
    row("social account", QStringLiteral("FB"), Fault::httpError(401), "error", 0);
    row("unknown account", QVariant(), Fault::httpError(401), "error", 0);
    // A hiccup says nothing about the token: the session stays and the call fails.
    row("503", password, Fault::httpError(503), "error", 503);
    row("proxy page", password, json("<html>Sign in to Wi-Fi</html>"), "error", -1011);
    row("garbage", password, Fault::garbage(), "error", -1011);
    row("empty", password, Fault::empty(), "error", -1011);
    row("json without user", password, json(R"({"status":"ok"})"), "error", -1011);
    row("cut off", password, Fault::closeMidBody(), "error", -1005);
    row("late", password, Fault::delay(kShortTimeoutMs * 3), "error", -1001);
    row("reset", password, Fault::refuse(), "error", -1005);
}

void tst_TokenCalls::validationFaults() {
    QFETCH(QVariant, type);
    QFETCH(Fault, fault);
    QFETCH(QString, outcome);
    QFETCH(int, code);
    const QString token = m_env.signIn();
    usePassword();
    rec().authenticationType = type;
    Record::saveDataToBundle();
    m_env.sim().injectFault("tokenInfo", fault);
    PostedNotifications reauth({kSaml, kAuth});
    CallOutcome o;
    validate(o);
    if (outcome == QLatin1String("sso")) {
        QTRY_COMPARE(reauth.names, QStringList{kSaml});
        QCOMPARE(o.calls(), 0);
    } else {
        QVERIFY(o.wait(kShortTimeoutMs * 6));
        QVERIFY(reauth.names.isEmpty());
    }
    if (outcome == QLatin1String("renewed")) {
        QCOMPARE(o.successes, 1);
        QVERIFY(rec().access_token.toString() != token);
        QCOMPARE(storedPreference("access_token").toString(), rec().access_token.toString());
        QCOMPARE(m_env.sim().lastRequest("token").jsonBody().value("grant_type"),
                 QJsonValue("password"));
        return;
    }
    QCOMPARE(o.errors, outcome == QLatin1String("error") ? 1 : 0);
    QCOMPARE(o.code(), code);
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(storedPreference("access_token").toString(), token);
    QCOMPARE(m_env.sim().requestCount("token"), 0);
    if (!code)
        return;
    QVERIFY(!o.error->description.isEmpty());
    const QString line = fault.kind == Fault::Kind::Empty ? QStringLiteral("Error. Empty data.")
                                                          : QStringLiteral("Code=%1").arg(code);
    QVERIFY2(m_log->messages(Log::Error).join('\n').contains(line),
             qPrintable(m_log->messages(Log::Error).join('\n')));
}

void tst_TokenCalls::twoValidationsAtOnce() {
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    usePassword();
    sim.expireToken(token);
    CallOutcome first, second;
    validate(first);
    validate(second);
    QTRY_VERIFY(first.calls() == 1 && second.calls() == 1);
    QCOMPARE(first.successes + second.successes, 2);
    // Each ran its own check and grant; the record holds one of the new tokens, valid and saved.
    QCOMPARE(sim.requestCount("tokenInfo"), 2);
    QCOMPARE(sim.requestCount("token"), 2);
    const QString held = rec().access_token.toString();
    QVERIFY(held != token);
    QVERIFY(sim.tokenInfo(held).isValid(QDateTime::currentDateTimeUtc()));
    QCOMPARE(storedPreference("access_token").toString(), held);

    // Two for a SAML account: each asks for single sign-on, neither calls back.
    m_env.signIn(QString::fromLatin1(VeloraSimulator::SamlUser));
    rec().authenticationType = QStringLiteral("SAML");
    sim.expireAllUserTokens();
    PostedNotifications reauth({kSaml, kAuth});
    CallOutcome a, b;
    validate(a);
    validate(b);
    QTRY_COMPARE(reauth.names, (QStringList{kSaml, kSaml}));
    QCOMPARE(a.calls() + b.calls(), 0);
}

void tst_TokenCalls::oddRepliesHandled() {
    // A number where a text was expected is kept as the number and used as such.
    m_env.signIn();
    usePassword();
    m_env.sim().injectFault("token",
                            Fault::replyWith(200, R"({"access_token":12345,"scope":)"
                                                  R"({"user":{"id":1},"partition":{"id":"7"}}})"));
    CallOutcome o;
    refresh(o);
    QVERIFY(o.succeeded());
    QCOMPARE(rec().access_token.toInt(), 12345);
    QVERIFY(!rec().userId.isValid());
    QCOMPARE(rec().partitionId.toString(), QStringLiteral("7"));
    QVERIFY(Record::validateOAuthTokenURL().endsWith(QStringLiteral("access_token=12345")));
}

void tst_TokenCalls::revocation_data() {
    QTest::addColumn<int>("kind"); // -1: no fault
    QTest::newRow("revoked") << -1;
    for (const FaultMatrix::Row& row : FaultMatrix::kinds())
        QTest::newRow(row.name) << int(row.kind);
}

void tst_TokenCalls::revocation() {
    // Sign-out does not wait for the answer: only a failed connection is reported, once, and
    // the record is left to the caller.
    QFETCH(int, kind);
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    if (kind >= 0)
        sim.injectFault("revoke", FaultMatrix::faultOf(Fault::Kind(kind), 500, "down"));
    int failures = 0;
    Record::revokeAccessToken([&] { ++failures; });
    QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount("revoke") > 0, 15000);
    QVERIFY(FaultMatrix::waitUntilRepliesHandled());
    QCOMPARE(failures, kind >= 0 && FaultMatrix::isTransport(Fault::Kind(kind)) ? 1 : 0);
    QCOMPARE(rec().access_token.toString(), token);
    if (kind >= 0)
        return;
    QVERIFY(sim.tokenInfo(token).revoked);
    QCOMPARE(requestLine(sim.lastRequest("revoke")), "DELETE /oauth2/token access_token=" + token);
}

void tst_TokenCalls::ssoAddressLoggedWithoutToken() {
    // The address carries the application token; cleanup() finds no token in any line.
    rec().app_access_token = m_env.sim().issueAppToken();
    Record::ssoAuthRequest();
    QVERIFY(m_log->contains(Log::Debug, QStringLiteral("SSo Auth uRL is https://"), true));
}

TAMBER_TEST_MAIN_CORE(tst_TokenCalls)
#include "tst_TokenCalls.moc"
