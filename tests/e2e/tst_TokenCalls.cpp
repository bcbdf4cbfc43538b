// Token grants, security-profile lookup, validation and revocation against the simulator over
// real TLS: the exact requests sent, and every injected fault.
#include "CallOutcome.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/Keychain.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonObject>
#include <QObject>

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

// Counts the two re-authentication notifications.
struct Reauth : QObject {
    int saml = 0, auth = 0;
    Reauth() {
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(this, QStringLiteral("SAML_CONFIG_REQUESTED"),
                           [this](const QVariant&) { ++saml; });
        center.addObserver(this, QStringLiteral("AUTH_CONFIG_REQUESTED"),
                           [this](const QVariant&) { ++auth; });
    }
};

QVariant stored(const QString& key) {
    return PreferencesStore(PreferencesStore::defaultPath()).value(key);
}

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

    void lookupSendsFreshGrantThenProfile();
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
    void applicationTokenRenewedOnceOn401();
    void revocation_data();
    void revocation();
    void tokensNeverLogged();

private:
    bool errorLogged(const QString& prefix) const {
        return m_log->contains(Log::Error, prefix, true);
    }

    SignedInSimulator m_env;
    std::unique_ptr<LogSpy> m_log;
    QStringList m_seenTokens;
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
    for (const IssuedToken& t : m_env.sim().issuedTokens())
        m_seenTokens << t.token;
    m_env.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(kShortTimeoutMs); // a delay row shortens it
}

void tst_TokenCalls::lookupSendsFreshGrantThenProfile() {
    VeloraSimulator& sim = m_env.sim();
    rec().app_access_token = QStringLiteral("stale-app-token");
    Lookup o;
    o.start(QString::fromLatin1(VeloraSimulator::PasswordUser));
    QCOMPARE(sim.requestCount(), 0); // sent after the current event
    QTRY_COMPARE(o.calls(), 1);
    QCOMPARE(o.password, 1);

    const QList<RecordedRequest> sent = sim.requests();
    QCOMPARE(sent.size(), 2);
    const RecordedRequest& grant = sent[0];
    QCOMPARE(grant.endpoint, QStringLiteral("token"));
    QCOMPARE(grant.path, QStringLiteral("/oauth2/token"));
    QVERIFY(grant.query.isEmpty() && !grant.hasHeader("Content-Type"));
    QCOMPARE(grant.body, QByteArray(R"({"client_id":"plumCode","client_secret":"plumPrivate",)"
                                    R"("grant_type":"client_credentials"})"));
    const RecordedRequest& profile = sent[1];
    QCOMPARE(profile.endpoint, QStringLiteral("securityProfile"));
    QCOMPARE(profile.method, QByteArray("GET"));
    QCOMPARE(profile.query.keys(), (QStringList{"access_token", "user"}));
    QCOMPARE(profile.queryValue("user"), QStringLiteral("ada@example.com"));
    // The new application token is used and kept; the stale one is gone.
    const QString appToken = profile.queryValue(QStringLiteral("access_token"));
    QCOMPARE(sim.tokenInfo(appToken).kind, QStringLiteral("app"));
    QCOMPARE(rec().app_access_token.toString(), appToken);
    QCOMPARE(rec().app_expires_in.toInt(), 3600);
    QCOMPARE(rec().authenticationType.toString(), QStringLiteral("PASSWORD"));

    // A typed name with query characters stays one value: nobody else's profile comes back.
    Lookup hostile;
    const QString typed = QStringLiteral("nobody@x.example&user=ada@example.com#");
    hostile.start(typed);
    QTRY_COMPARE(hostile.calls(), 1);
    QCOMPARE(hostile.errors, 1);
    QCOMPARE(sim.lastRequest("securityProfile").queryValue("user"), typed);
    QCOMPARE(sim.lastRequest("securityProfile").query.size(), 2);
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
    rec().app_access_token = QStringLiteral("kept-app-token");
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().enterpriseId = QStringLiteral("kept");
    if (!endpoint.isEmpty())
        QVERIFY(m_env.sim().injectFault(endpoint, fault));
    Lookup o;
    o.start(account);
    QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
    const QMap<QString, int> ran{
        {"password", o.password}, {"sso", o.sso}, {"fb", o.fb}, {"error", o.errors}};
    QCOMPARE(ran.value(outcome), 1);
    QCOMPARE(o.code(), code);
    if (!errorLine.isEmpty())
        QVERIFY2(errorLogged(errorLine), qPrintable(m_log->messages(Log::Error).join('\n')));
    // A failed grant neither blanks the stored token nor asks for the profile; after a good
    // grant the new token is kept and a failed profile is no error line.
    const bool grantFailed = endpoint == QLatin1String("token") || endpoint == QLatin1String("*");
    QCOMPARE(rec().app_access_token.toString() == QLatin1String("kept-app-token"), grantFailed);
    if (grantFailed)
        QCOMPARE(m_env.sim().requestCount("securityProfile"), 0);
    else
        QVERIFY(m_log->messages(Log::Error).isEmpty());
    QCOMPARE(rec().authenticationType, type.isEmpty() ? QVariant() : QVariant(type));
    const bool sso = outcome == QLatin1String("sso");
    const bool enterprise = endpoint.isEmpty() && account.endsWith(QLatin1String("@acme.example"));
    QCOMPARE(rec().enterpriseId.toString(),
             enterprise ? QStringLiteral("acme") : QStringLiteral("kept"));
    if (sso)
        QCOMPARE(rec().idpURL.toString(), m_env.sim().baseUrl() + QStringLiteral("/idp/login"));
}

void tst_TokenCalls::passwordGrantRequestAndRecord() {
    usePassword();
    CallOutcome o;
    refresh(o);
    QVERIFY(o.wait());
    QCOMPARE(o.successes, 1);
    const RecordedRequest grant = m_env.sim().lastRequest("token");
    QCOMPARE(grant.method, QByteArray("POST"));
    QVERIFY(!grant.hasHeader("Content-Type"));
    QCOMPARE(grant.body, QByteArray(R"({"grant_type":"password","password":"correct horse",)"
                                    R"("username":"ada@example.com"})"));
    const QString token = rec().access_token.toString();
    QCOMPARE(m_env.sim().tokenInfo(token).kind, QStringLiteral("user"));
    QCOMPARE(rec().expires_in.toInt(), 3600);
    QCOMPARE(rec().partitionId.toInt(), 7);
    QCOMPARE(rec().partitionName.toString(), QStringLiteral("z7"));
    QCOMPARE(rec().userId.toInt(), 1001);
    QCOMPARE(stored("access_token").toString(), token); // saved
    QCOMPARE(stored("partitionName").toString(), QStringLiteral("z7"));

    // Without a password the key is left out; the refusal is a reply, so success runs and the
    // caller finds no token.
    rec().password = QVariant();
    CallOutcome refused;
    refresh(refused);
    QVERIFY(refused.wait());
    QCOMPARE(refused.successes, 1);
    QVERIFY(!m_env.sim().lastRequest("token").jsonBody().contains("password"));
    QVERIFY(!rec().access_token.isValid() && !rec().userId.isValid());
    QVERIFY(!stored("access_token").isValid());
}

void tst_TokenCalls::grantFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code"); // of the renewal: 0 is a refusal the service means
    QTest::newRow("wrong password") << Fault::httpError(400, {{"error", "invalid_grant"}}) << 0;
    QTest::newRow("401") << Fault::httpError(401) << 0;
    QTest::newRow("503") << Fault::httpError(503) << 503;
    QTest::newRow("ok without token")
        << Fault::replyWith(200, R"({"token_type":"bearer"})") << -1011;
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
    if (transport || empty)
        QVERIFY2(errorLogged(line), qPrintable(m_log->messages(Log::Error).join('\n')));
    else
        QVERIFY(m_log->messages(Log::Error).isEmpty());

    // Silent renewal of an expired token: a failure changes nothing, also in the stored record.
    const QString token = m_env.signIn();
    usePassword();
    rec().partitionName = QStringLiteral("z7");
    Record::saveDataToBundle();
    m_env.sim().expireToken(token);
    m_env.sim().injectFault("token", fault);
    Reauth reauth;
    CallOutcome o;
    validate(o);
    if (code == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(reauth.auth, 1, kShortTimeoutMs * 6);
        QCOMPARE(o.calls(), 0);
    } else {
        QVERIFY(o.wait(kShortTimeoutMs * 6));
        QCOMPARE(o.code(), code);
        QCOMPARE(reauth.auth, 0);
    }
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(stored("access_token").toString(), token);
    QCOMPARE(rec().userId.toString(), m_env.userId());
    QCOMPARE(rec().password.toString(), QString::fromLatin1(VeloraSimulator::PasswordUserPassword));
    QCOMPARE(stored("username").toString(), QString::fromLatin1(VeloraSimulator::PasswordUser));
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
    QVERIFY(valid.wait());
    QCOMPARE(valid.successes, 1);
    const RecordedRequest check = sim.lastRequest();
    QCOMPARE(check.endpoint, QStringLiteral("tokenInfo"));
    QCOMPARE(check.method, QByteArray("GET"));
    QCOMPARE(check.query, (QMap<QString, QString>{{"access_token", token}}));
    QCOMPARE(sim.requestCount(), 1);
    QCOMPARE(stored("access_token").toString(), token); // the record is saved

    // A validation without callbacks still renews and saves.
    usePassword();
    sim.expireToken(token);
    Record::validateTokenAndPerformAction({}, {});
    QTRY_VERIFY(rec().access_token.toString() != token);
    QTRY_COMPARE(stored("access_token").toString(), rec().access_token.toString());
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
    Reauth reauth;
    CallOutcome o;
    validate(o);
    if (outcome == QLatin1String("sso")) {
        QTRY_COMPARE(reauth.saml, 1);
        QCOMPARE(o.calls(), 0);
    } else {
        QVERIFY(o.wait(kShortTimeoutMs * 6));
        QCOMPARE(reauth.auth + reauth.saml, 0);
    }
    if (outcome == QLatin1String("renewed")) {
        QCOMPARE(o.successes, 1);
        QVERIFY(rec().access_token.toString() != token);
        QCOMPARE(stored("access_token").toString(), rec().access_token.toString());
        QCOMPARE(m_env.sim().lastRequest("token").jsonBody().value("grant_type"),
                 QJsonValue("password"));
        return;
    }
    QCOMPARE(o.errors, outcome == QLatin1String("error") ? 1 : 0);
    QCOMPARE(o.code(), code);
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(stored("access_token").toString(), token);
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
    QCOMPARE(stored("access_token").toString(), held);

    // Two for a SAML account: each asks for single sign-on, neither calls back.
    m_env.signIn(QString::fromLatin1(VeloraSimulator::SamlUser));
    rec().authenticationType = QStringLiteral("SAML");
    sim.expireAllUserTokens();
    Reauth reauth;
    CallOutcome a, b;
    validate(a);
    validate(b);
    QTRY_COMPARE(reauth.saml, 2);
    QCOMPARE(a.calls() + b.calls(), 0);
}

void tst_TokenCalls::oddRepliesHandled() {
    m_env.signIn();
    usePassword();
    const auto grantWith = [this](const QByteArray& body) {
        m_env.sim().injectFault("token", Fault::replyWith(200, body));
        CallOutcome o;
        refresh(o);
        return o.wait(20000) && o.successes == 1;
    };
    // Wrong types: an object for the token, a text for the scope, a list for the partition.
    QVERIFY(grantWith(R"({"access_token":{"a":1},"expires_in":[1],"scope":"user",)"
                      R"("partition":[]})"));
    for (const QVariant* field : {&rec().access_token, &rec().expires_in, &rec().partitionId,
                                  &rec().partitionName, &rec().userId})
        QVERIFY(!field->isValid());
    // A number where a text was expected is kept as the number and used as such.
    QVERIFY(
        grantWith(R"({"access_token":12345,"scope":{"user":{"id":1},"partition":{"id":"7"}}})"));
    QCOMPARE(rec().access_token.toInt(), 12345);
    QVERIFY(!rec().userId.isValid());
    QCOMPARE(rec().partitionId.toString(), QStringLiteral("7"));
    QVERIFY(Record::validateOAuthTokenURL().endsWith(QStringLiteral("access_token=12345")));
    QVERIFY(grantWith(QByteArray(100000, '[') + QByteArray(100000, ']')));
    QVERIFY(!rec().access_token.isValid());
}

void tst_TokenCalls::applicationTokenRenewedOnceOn401() {
    VeloraSimulator& sim = m_env.sim();
    std::optional<ServiceReply> reply;
    const auto send = [&reply] {
        reply.reset();
        Record::sendWithApplicationToken(
            [] {
                ServiceCall::Request r;
                r.url =
                    Record::securityProfileURL(QString::fromLatin1(VeloraSimulator::PasswordUser));
                return r;
            },
            [&reply](const ServiceReply& r) { reply = r; });
        return QTest::qWaitFor([&reply] { return reply.has_value(); }, 15000);
    };
    // Refused stored token: one new grant, then the call once more.
    rec().app_access_token = sim.issueAppToken();
    sim.expireAllAppTokens();
    QVERIFY(send());
    QCOMPARE(reply->httpStatus, 200);
    QStringList order;
    for (const RecordedRequest& r : sim.requests())
        order << r.endpoint;
    QCOMPARE(order, (QStringList{"securityProfile", "token", "securityProfile"}));
    QCOMPARE(sim.requests()[2].queryValue("access_token"), rec().app_access_token.toString());

    // Refused again after the renewal: the 401 is the answer, no third attempt.
    sim.clearRequests();
    sim.injectFault("securityProfile", Fault::httpError(401));
    QVERIFY(send());
    QCOMPARE(reply->httpStatus, 401);
    QCOMPARE(sim.requestCount("securityProfile"), 2);
    QCOMPARE(sim.requestCount("token"), 1);

    // No token yet: one is fetched first; a failed fetch sends nothing and answers empty.
    sim.clearFaults();
    sim.clearRequests();
    rec().app_access_token = QVariant();
    QVERIFY(send());
    QCOMPARE(reply->httpStatus, 200);
    QCOMPARE(sim.requests().first().endpoint, QStringLiteral("token"));
    rec().app_access_token = QVariant();
    sim.injectFault("token", Fault::empty());
    QVERIFY(send());
    QVERIFY(reply->body.isEmpty() && !reply->error);
    QCOMPARE(sim.requestCount("securityProfile"), 1);
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
    const RecordedRequest sent = sim.lastRequest("revoke");
    QCOMPARE(sent.method, QByteArray("DELETE"));
    QCOMPARE(sent.path, QStringLiteral("/oauth2/token"));
    QCOMPARE(sent.query, (QMap<QString, QString>{{"access_token", token}}));
}

void tst_TokenCalls::tokensNeverLogged() {
    // Runs last: every token any test obtained, against every line logged here and now.
    m_env.signIn();
    usePassword();
    m_env.sim().expireAllUserTokens();
    m_env.sim().injectFault("tokenInfo", Fault::closeMidBody());
    CallOutcome o;
    validate(o);
    QVERIFY(o.wait());
    Lookup lookup;
    lookup.start(QString::fromLatin1(VeloraSimulator::SamlUser));
    QTRY_COMPARE(lookup.calls(), 1);
    Record::ssoAuthRequest();
    for (const IssuedToken& t : m_env.sim().issuedTokens())
        m_seenTokens << t.token;
    QVERIFY(m_seenTokens.size() > 3);
    const QList<LogSpy::Line> lines = m_log->lines();
    QVERIFY(!lines.isEmpty());
    for (const LogSpy::Line& line : lines)
        for (const QString& token : m_seenTokens)
            QVERIFY2(!line.message.contains(token), qPrintable(line.message));
    QVERIFY(m_log->contains(Log::Debug, QStringLiteral("SSo Auth uRL is https://"), true));
}

TAMBER_TEST_MAIN_CORE(tst_TokenCalls)
#include "tst_TokenCalls.moc"
