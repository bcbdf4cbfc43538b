// Token grants, security-profile lookup, validation and revocation against the simulator over
// real TLS: the exact requests sent, and every injected fault.
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

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

namespace {

using Record = TamberDataModel;
constexpr int kShortTimeoutMs = 1500;

Record& rec() {
    return *Record::sharedData();
}

// What one call reported.
struct Outcome {
    int password = 0, sso = 0, fb = 0, successes = 0, errors = 0;
    std::optional<ServiceError> error;
    int calls() const { return password + sso + fb + successes + errors; }
    Record::TokenErrorCallback onError() {
        return [this](const std::optional<ServiceError>& e) {
            ++errors;
            error = e;
        };
    }
    std::function<void()> count(int& counter) {
        return [&counter] { ++counter; };
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

void lookup(const QString& account, Outcome& o) {
    Record::fetchSecurityProfileDetails(account, o.count(o.password), o.count(o.sso), o.count(o.fb),
                                        o.onError());
}

} // namespace

class tst_TokenCalls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void lookupSendsFreshGrantThenProfile();
    void lookupProfileKinds();
    void lookupFaults_data();
    void lookupFaults();
    void passwordGrantRequestAndRecord();
    void passwordGrantFaults_data();
    void passwordGrantFaults();
    void onlyAcceptedPasswordsReachTheKeychain();
    void validationValidAndRenewed();
    void validationReauthentication();
    void validationFaults_data();
    void validationFaults();
    void renewalFaults_data();
    void renewalFaults();
    void twoValidationsAtOnce();
    void oddRepliesHandled();
    void applicationTokenRenewedOnceOn401();
    void revocation();
    void revocationFaults_data();
    void revocationFaults();
    void tokensNeverLogged();

private:
    void expectTransportError(const Outcome& o, int code);

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

void tst_TokenCalls::expectTransportError(const Outcome& o, int code) {
    QCOMPARE(o.errors, 1);
    QVERIFY(o.error);
    QCOMPARE(o.error->domain, QStringLiteral("NSURLErrorDomain"));
    QCOMPARE(o.error->code, code);
    QVERIFY(!o.error->description.isEmpty());
}

void tst_TokenCalls::lookupSendsFreshGrantThenProfile() {
    VeloraSimulator& sim = m_env.sim();
    rec().app_access_token = QStringLiteral("stale-app-token");
    Outcome o;
    lookup(QString::fromLatin1(VeloraSimulator::PasswordUser), o);
    QCOMPARE(sim.requestCount(), 0); // sent after the current event
    QTRY_COMPARE(o.calls(), 1);
    QCOMPARE(o.password, 1);

    const QList<RecordedRequest> sent = sim.requests();
    QCOMPARE(sent.size(), 2);
    const RecordedRequest& grant = sent[0];
    QCOMPARE(grant.endpoint, QStringLiteral("token"));
    QCOMPARE(grant.method, QByteArray("POST"));
    QCOMPARE(grant.path, QStringLiteral("/oauth2/token"));
    QVERIFY(grant.query.isEmpty());
    QVERIFY(!grant.hasHeader("Content-Type"));
    QCOMPARE(grant.body, QByteArray(R"({"client_id":"plumCode","client_secret":"plumPrivate",)"
                                    R"("grant_type":"client_credentials"})"));

    const RecordedRequest& profile = sent[1];
    QCOMPARE(profile.endpoint, QStringLiteral("securityProfile"));
    QCOMPARE(profile.method, QByteArray("GET"));
    QCOMPARE(profile.query.keys(), (QStringList{"access_token", "user"}));
    QCOMPARE(profile.queryValue("user"), QStringLiteral("ada@example.com"));
    QVERIFY(profile.body.isEmpty());
    // The new application token is used and kept; the stale one is gone.
    const QString appToken = profile.queryValue(QStringLiteral("access_token"));
    QCOMPARE(sim.tokenInfo(appToken).kind, QStringLiteral("app"));
    QCOMPARE(rec().app_access_token.toString(), appToken);
    QCOMPARE(rec().app_expires_in.toInt(), 3600);
    QCOMPARE(rec().authenticationType.toString(), QStringLiteral("PASSWORD"));

    // A typed name with query characters stays one value: nobody else's profile comes back.
    Outcome hostile;
    const QString typed = QStringLiteral("nobody@x.example&user=ada@example.com#");
    lookup(typed, hostile);
    QTRY_COMPARE(hostile.calls(), 1);
    QCOMPARE(hostile.errors, 1);
    QCOMPARE(sim.lastRequest("securityProfile").queryValue("user"), typed);
    QCOMPARE(sim.lastRequest("securityProfile").query.size(), 2);
}

void tst_TokenCalls::lookupProfileKinds() {
    Outcome saml;
    lookup(QString::fromLatin1(VeloraSimulator::SamlUser), saml);
    QTRY_COMPARE(saml.calls(), 1);
    QCOMPARE(saml.sso, 1);
    QCOMPARE(rec().authenticationType.toString(), QStringLiteral("SAML"));
    QCOMPARE(rec().enterpriseId.toString(), QString::fromLatin1(VeloraSimulator::SamlEnterprise));
    QCOMPARE(rec().idpURL.toString(), m_env.sim().baseUrl() + QStringLiteral("/idp/login"));

    Outcome fb;
    lookup(QString::fromLatin1(VeloraSimulator::FbUser), fb);
    QTRY_COMPARE(fb.calls(), 1);
    QCOMPARE(fb.fb, 1);
    QCOMPARE(rec().authenticationType.toString(), QStringLiteral("FB"));

    const auto lookupAnswered = [this](const QByteArray& profile) {
        m_env.sim().injectFault("securityProfile", Fault::replyWith(200, profile));
        auto o = std::make_unique<Outcome>();
        lookup(QStringLiteral("someone@example.com"), *o);
        (void)QTest::qWaitFor([&] { return o->calls() > 0; }, 15000); // checked by the caller
        return o;
    };
    // An unknown type is stored and reported as an error with nothing.
    const auto unknown = lookupAnswered(R"({"authenticationType":"KERBEROS","enterpriseId":[1]})");
    QCOMPARE(unknown->calls(), 1);
    QCOMPARE(unknown->errors, 1);
    QVERIFY(!unknown->error);
    QCOMPARE(rec().authenticationType.toString(), QStringLiteral("KERBEROS"));
    // A PASSWORD profile with a JSON null enterprise id keeps the stored one.
    const auto password =
        lookupAnswered(R"({"authenticationType":"PASSWORD","enterpriseId":null})");
    QCOMPARE(password->calls(), 1);
    QCOMPARE(password->password, 1);
    QCOMPARE(rec().enterpriseId.toString(), QString::fromLatin1(VeloraSimulator::SamlEnterprise));
}

void tst_TokenCalls::lookupFaults_data() {
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code");          // expected transport error, 0 for none
    QTest::addColumn<QString>("errorLine"); // expected error-level line (prefix), or empty
    const QString noToken = QStringLiteral("Error. No Access Token.");
    QTest::newRow("grant http error")
        << "token" << Fault::httpError(500, {{"message", "down"}}) << 0 << noToken;
    QTest::newRow("grant garbage") << "token" << Fault::garbage() << 0 << noToken;
    QTest::newRow("grant empty") << "token" << Fault::empty() << 0 << "Error. Empty data";
    QTest::newRow("grant cut off") << "token" << Fault::closeMidBody() << -1005
                                   << "Error Error Domain=NSURLErrorDomain Code=-1005";
    QTest::newRow("grant late") << "token" << Fault::delay(kShortTimeoutMs * 3) << -1001
                                << "Error Error Domain=NSURLErrorDomain Code=-1001";
    QTest::newRow("grant reset") << "token" << Fault::refuse() << -1005
                                 << "Error Error Domain=NSURLErrorDomain Code=-1005";
    QTest::newRow("server down") << "*" << Fault::refuse() << -1004
                                 << "Error Error Domain=NSURLErrorDomain Code=-1004";
    QTest::newRow("profile http error")
        << "securityProfile" << Fault::httpError(503, {{"message", "busy"}}) << 0 << QString();
    QTest::newRow("profile garbage") << "securityProfile" << Fault::garbage() << 0 << QString();
    QTest::newRow("profile empty") << "securityProfile" << Fault::empty() << 0 << QString();
    QTest::newRow("profile cut off")
        << "securityProfile" << Fault::closeMidBody() << -1005 << QString();
    QTest::newRow("profile late") << "securityProfile" << Fault::delay(kShortTimeoutMs * 3) << -1001
                                  << QString();
}

void tst_TokenCalls::lookupFaults() {
    QFETCH(QString, endpoint);
    QFETCH(Fault, fault);
    QFETCH(int, code);
    QFETCH(QString, errorLine);
    rec().app_access_token = QStringLiteral("kept-app-token");
    rec().authenticationType = QStringLiteral("PASSWORD");
    QVERIFY(m_env.sim().injectFault(endpoint, fault));
    Outcome o;
    lookup(QString::fromLatin1(VeloraSimulator::PasswordUser), o);
    QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
    if (code)
        expectTransportError(o, code);
    else
        QVERIFY(o.errors == 1 && !o.error);
    if (!errorLine.isEmpty())
        QVERIFY2(m_log->contains(Log::Error, errorLine, true),
                 qPrintable(m_log->messages(Log::Error).join('\n')));
    if (endpoint == QLatin1String("securityProfile")) {
        // The profile failed after a good grant: the new token is kept.
        QVERIFY(rec().app_access_token.toString() != QLatin1String("kept-app-token"));
        QVERIFY(m_log->messages(Log::Error).isEmpty());
    } else {
        // A failed grant neither blanks the stored token nor asks for the profile.
        QCOMPARE(rec().app_access_token.toString(), QStringLiteral("kept-app-token"));
        QCOMPARE(m_env.sim().requestCount("securityProfile"), 0);
    }
    // An error document has no "authenticationType": stored as it is (absent).
    if (endpoint == QLatin1String("securityProfile") && fault.kind == Fault::Kind::HttpError)
        QVERIFY(!rec().authenticationType.isValid());
    else
        QCOMPARE(rec().authenticationType.toString(), QStringLiteral("PASSWORD"));
}

void tst_TokenCalls::passwordGrantRequestAndRecord() {
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    rec().authenticationType = QStringLiteral("PASSWORD");
    Outcome o;
    Record::refreshAccessToken(o.count(o.successes), o.onError());
    QTRY_COMPARE(o.calls(), 1);
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
    Outcome refused;
    Record::refreshAccessToken(refused.count(refused.successes), refused.onError());
    QTRY_COMPARE(refused.calls(), 1);
    QCOMPARE(refused.successes, 1);
    QVERIFY(!m_env.sim().lastRequest("token").jsonBody().contains("password"));
    QVERIFY(!rec().access_token.isValid());
    QVERIFY(!rec().userId.isValid());
    QVERIFY(!stored("access_token").isValid());
}

void tst_TokenCalls::passwordGrantFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code");          // transport error; 0 none
    QTest::addColumn<bool>("success");      // success callback (a reply was applied)
    QTest::addColumn<QString>("errorLine"); // error-level line prefix, or empty
    QTest::newRow("http error") << Fault::httpError(401) << 0 << true << QString();
    QTest::newRow("garbage") << Fault::garbage() << 0 << true << QString();
    QTest::newRow("empty") << Fault::empty() << 0 << false << "Error. Empty data.";
    QTest::newRow("cut off") << Fault::closeMidBody() << -1005 << false
                             << "Error Domain=NSURLErrorDomain Code=-1005";
    QTest::newRow("late") << Fault::delay(kShortTimeoutMs * 3) << -1001 << false
                          << "Error Domain=NSURLErrorDomain Code=-1001";
    QTest::newRow("reset") << Fault::refuse() << -1005 << false
                           << "Error Domain=NSURLErrorDomain Code=-1005";
}

void tst_TokenCalls::passwordGrantFaults() {
    QFETCH(Fault, fault);
    QFETCH(int, code);
    QFETCH(bool, success);
    QFETCH(QString, errorLine);
    m_env.signIn();
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    const QString before = m_env.token();
    m_env.sim().injectFault("token", fault);
    Outcome o;
    Record::refreshAccessToken(o.count(o.successes), o.onError());
    QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
    if (success) {
        QCOMPARE(o.successes, 1);
        QVERIFY(!rec().access_token.isValid()); // the reply held no token
    } else if (code) {
        expectTransportError(o, code);
        QCOMPARE(rec().access_token.toString(), before);
    } else {
        QVERIFY(o.errors == 1 && !o.error);
        QCOMPARE(rec().access_token.toString(), before);
    }
    if (!errorLine.isEmpty())
        QVERIFY2(m_log->contains(Log::Error, errorLine, true),
                 qPrintable(m_log->messages(Log::Error).join('\n')));
    else
        QVERIFY(m_log->messages(Log::Error).isEmpty());
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
        rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
        rec().authenticationType = QStringLiteral("PASSWORD");
        rec().password = QString::fromLatin1(password);
        Outcome o;
        Record::refreshAccessToken(o.count(o.successes), o.onError());
        return QTest::qWaitFor([&] { return o.calls() > 0; }, 20000);
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

void tst_TokenCalls::validationValidAndRenewed() {
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    Outcome valid;
    Record::validateTokenAndPerformAction(valid.count(valid.successes), valid.onError());
    QTRY_COMPARE(valid.calls(), 1);
    QCOMPARE(valid.successes, 1);
    const RecordedRequest check = sim.lastRequest();
    QCOMPARE(check.endpoint, QStringLiteral("tokenInfo"));
    QCOMPARE(check.method, QByteArray("GET"));
    QCOMPARE(check.query, (QMap<QString, QString>{{"access_token", token}}));
    QCOMPARE(sim.requestCount(), 1);
    QCOMPARE(stored("access_token").toString(), token); // the record is saved

    // Expired: a password account is renewed silently with the stored credentials.
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    sim.expireToken(token);
    sim.clearRequests();
    Reauth reauth;
    Outcome renewed;
    Record::validateTokenAndPerformAction(renewed.count(renewed.successes), renewed.onError());
    QTRY_COMPARE(renewed.calls(), 1);
    QCOMPARE(renewed.successes, 1);
    QCOMPARE(sim.requests().size(), 2);
    QCOMPARE(sim.requests()[1].jsonBody().value("grant_type").toString(),
             QStringLiteral("password"));
    const QString fresh = rec().access_token.toString();
    QVERIFY(fresh != token);
    QVERIFY(sim.tokenInfo(fresh).isValid(QDateTime::currentDateTimeUtc()));
    QCOMPARE(stored("access_token").toString(), fresh);
    QCOMPARE(reauth.auth + reauth.saml, 0);

    // A validation without callbacks still renews and saves.
    sim.expireToken(fresh);
    Record::validateTokenAndPerformAction({}, {});
    QTRY_VERIFY(rec().access_token.toString() != fresh);
    QTRY_COMPARE(stored("access_token").toString(), rec().access_token.toString());
}

void tst_TokenCalls::validationReauthentication() {
    VeloraSimulator& sim = m_env.sim();
    Reauth reauth;

    // SAML: back through single sign-on; the caller never hears back.
    m_env.signIn(QString::fromLatin1(VeloraSimulator::SamlUser));
    rec().authenticationType = QStringLiteral("SAML");
    sim.expireAllUserTokens();
    Outcome saml;
    Record::validateTokenAndPerformAction(saml.count(saml.successes), saml.onError());
    QTRY_COMPARE(reauth.saml, 1);
    QCOMPARE(saml.calls(), 0);
    QCOMPARE(sim.requestCount("token"), 0);

    // Renewal refused (the password changed): back through sign-in, token left as it was.
    const QString old = m_env.signIn();
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QStringLiteral("an old password");
    sim.expireToken(old);
    Outcome refused;
    Record::validateTokenAndPerformAction(refused.count(refused.successes), refused.onError());
    QTRY_COMPARE(reauth.auth, 1);
    QCOMPARE(refused.calls(), 0);
    QCOMPARE(rec().access_token.toString(), old);
    QCOMPARE(sim.requestCount("token"), 1);

    // Social login or an unknown profile: error with nothing, no renewal.
    for (const QVariant& type : {QVariant(QStringLiteral("FB")), QVariant()}) {
        m_env.signIn();
        rec().authenticationType = type;
        sim.expireAllUserTokens();
        Outcome other;
        Record::validateTokenAndPerformAction(other.count(other.successes), other.onError());
        QTRY_COMPARE(other.calls(), 1);
        QVERIFY(other.errors == 1 && !other.error);
        QCOMPARE(sim.requestCount("token"), 0);
    }
    QCOMPARE(reauth.saml, 1);
    QCOMPARE(reauth.auth, 1);
}

void tst_TokenCalls::validationFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("renewed"); // a definitive "not valid": renewed, success
    QTest::addColumn<int>("code");     // otherwise the operation's error code
    const auto json = [](const char* body) { return Fault::replyWith(200, body); };
    QTest::newRow("401") << Fault::httpError(401) << true << 0;
    QTest::newRow("invalid_token document")
        << Fault::httpError(400, {{"error", "invalid_token"}}) << true << 0;
    QTest::newRow("token without user")
        << json(R"({"token_type":"bearer","client":"c"})") << true << 0;
    // A hiccup says nothing about the token: the session stays and the call fails.
    QTest::newRow("503") << Fault::httpError(503) << false << 503;
    QTest::newRow("proxy page") << Fault::replyWith(200, "<html>Sign in to Wi-Fi</html>") << false
                                << -1011;
    QTest::newRow("garbage") << Fault::garbage() << false << -1011;
    QTest::newRow("empty") << Fault::empty() << false << -1011;
    QTest::newRow("json without user") << json(R"({"status":"ok"})") << false << -1011;
    QTest::newRow("cut off") << Fault::closeMidBody() << false << -1005;
    QTest::newRow("late") << Fault::delay(kShortTimeoutMs * 3) << false << -1001;
    QTest::newRow("reset") << Fault::refuse() << false << -1005;
}

void tst_TokenCalls::validationFaults() {
    QFETCH(Fault, fault);
    QFETCH(bool, renewed);
    QFETCH(int, code);
    const QString token = m_env.signIn();
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    Record::saveDataToBundle();
    m_env.sim().injectFault("tokenInfo", fault);
    Reauth reauth;
    Outcome o;
    Record::validateTokenAndPerformAction(o.count(o.successes), o.onError());
    QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
    QCOMPARE(reauth.auth + reauth.saml, 0);
    if (renewed) {
        QCOMPARE(o.successes, 1);
        QVERIFY(rec().access_token.toString() != token);
        return;
    }
    QCOMPARE(o.errors, 1);
    QVERIFY(o.error);
    QCOMPARE(o.error->code, code);
    QVERIFY(!o.error->description.isEmpty());
    const QString line = fault.kind == Fault::Kind::Empty ? QStringLiteral("Error. Empty data.")
                                                          : QStringLiteral("Code=%1").arg(code);
    QVERIFY2(m_log->messages(Log::Error).join('\n').contains(line),
             qPrintable(m_log->messages(Log::Error).join('\n')));
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(stored("access_token").toString(), token);
    QCOMPARE(m_env.sim().requestCount("token"), 0);
}

void tst_TokenCalls::renewalFaults_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("code"); // 0: a refusal the service means, back to sign-in
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

void tst_TokenCalls::renewalFaults() {
    QFETCH(Fault, fault);
    QFETCH(int, code);
    const QString token = m_env.signIn();
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    rec().partitionName = QStringLiteral("z7");
    Record::saveDataToBundle();
    m_env.sim().expireToken(token);
    m_env.sim().injectFault("token", fault);
    Reauth reauth;
    Outcome o;
    Record::validateTokenAndPerformAction(o.count(o.successes), o.onError());
    if (code == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(reauth.auth, 1, kShortTimeoutMs * 6);
        QCOMPARE(o.calls(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(o.calls(), 1, kShortTimeoutMs * 6);
        QVERIFY(o.error);
        QCOMPARE(o.error->code, code);
        QCOMPARE(reauth.auth, 0);
    }
    // A failed renewal changes nothing: tokens, credentials and partition stay, also stored.
    QCOMPARE(rec().access_token.toString(), token);
    QCOMPARE(stored("access_token").toString(), token);
    QCOMPARE(rec().userId.toString(), m_env.userId());
    QCOMPARE(rec().password.toString(), QString::fromLatin1(VeloraSimulator::PasswordUserPassword));
    QCOMPARE(stored("username").toString(), QString::fromLatin1(VeloraSimulator::PasswordUser));
    QCOMPARE(rec().partitionName.toString(), QStringLiteral("z7"));
    QVERIFY(m_log->contains(Log::Warning, QStringLiteral("Silent token renewal failed"), true));
}

void tst_TokenCalls::twoValidationsAtOnce() {
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    sim.expireToken(token);
    Outcome first, second;
    Record::validateTokenAndPerformAction(first.count(first.successes), first.onError());
    Record::validateTokenAndPerformAction(second.count(second.successes), second.onError());
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
    Outcome a, b;
    Record::validateTokenAndPerformAction(a.count(a.successes), a.onError());
    Record::validateTokenAndPerformAction(b.count(b.successes), b.onError());
    QTRY_COMPARE(reauth.saml, 2);
    QCOMPARE(a.calls() + b.calls(), 0);
}

void tst_TokenCalls::oddRepliesHandled() {
    VeloraSimulator& sim = m_env.sim();
    m_env.signIn();
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    const auto grantWith = [&](const QByteArray& body) {
        sim.injectFault("token", Fault::replyWith(200, body));
        Outcome o;
        Record::refreshAccessToken(o.count(o.successes), o.onError());
        return QTest::qWaitFor([&] { return o.calls() > 0; }, 20000) && o.successes == 1;
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
    // Deeply nested bodies; a body over 8 MiB is refused before it reaches the record.
    QVERIFY(grantWith(QByteArray(100000, '[') + QByteArray(100000, ']')));
    QVERIFY(!rec().access_token.isValid());
    QVERIFY(
        grantWith(R"({"pad":")" + QByteArray(7 * 1024 * 1024, 'x') + R"(","access_token":"big"})"));
    QCOMPARE(rec().access_token.toString(), QStringLiteral("big"));
    QVERIFY(!grantWith(R"({"pad":")" + QByteArray(9 * 1024 * 1024, 'x') +
                       R"(","access_token":"huge"})"));
    QCOMPARE(rec().access_token.toString(), QStringLiteral("big"));
    QVERIFY(m_log->contains(Log::Error, QStringLiteral("Reply refused: more than 8388608 bytes"),
                            true));
}

void tst_TokenCalls::applicationTokenRenewedOnceOn401() {
    VeloraSimulator& sim = m_env.sim();
    const auto build = [] {
        ServiceCall::Request r;
        r.url = Record::securityProfileURL(QString::fromLatin1(VeloraSimulator::PasswordUser));
        return r;
    };
    // Refused stored token: one new grant, then the call once more.
    rec().app_access_token = sim.issueAppToken();
    sim.expireAllAppTokens();
    std::optional<ServiceReply> reply;
    Record::sendWithApplicationToken(build, [&](const ServiceReply& r) { reply = r; });
    QTRY_VERIFY(reply);
    QCOMPARE(reply->httpStatus, 200);
    QStringList order;
    for (const RecordedRequest& r : sim.requests())
        order << r.endpoint;
    QCOMPARE(order, (QStringList{"securityProfile", "token", "securityProfile"}));
    QCOMPARE(sim.requests()[2].queryValue("access_token"), rec().app_access_token.toString());

    // Refused again after the renewal: the 401 is the answer, no third attempt.
    sim.clearRequests();
    sim.injectFault("securityProfile", Fault::httpError(401));
    reply.reset();
    Record::sendWithApplicationToken(build, [&](const ServiceReply& r) { reply = r; });
    QTRY_VERIFY(reply);
    QCOMPARE(reply->httpStatus, 401);
    QCOMPARE(sim.requestCount("securityProfile"), 2);
    QCOMPARE(sim.requestCount("token"), 1);

    // No token yet: one is fetched first; a failed fetch sends nothing and answers empty.
    sim.clearFaults();
    sim.clearRequests();
    rec().app_access_token = QVariant();
    reply.reset();
    Record::sendWithApplicationToken(build, [&](const ServiceReply& r) { reply = r; });
    QTRY_VERIFY(reply);
    QCOMPARE(reply->httpStatus, 200);
    QCOMPARE(sim.requests().first().endpoint, QStringLiteral("token"));
    rec().app_access_token = QVariant();
    sim.injectFault("token", Fault::empty());
    reply.reset();
    Record::sendWithApplicationToken(build, [&](const ServiceReply& r) { reply = r; });
    QTRY_VERIFY(reply);
    QVERIFY(reply->body.isEmpty() && !reply->error);
    QCOMPARE(sim.requestCount("securityProfile"), 1);
}

void tst_TokenCalls::revocation() {
    VeloraSimulator& sim = m_env.sim();
    const QString token = m_env.signIn();
    int failures = 0;
    Record::revokeAccessToken([&] { ++failures; });
    QTRY_VERIFY(sim.tokenInfo(token).revoked);
    const RecordedRequest sent = sim.lastRequest("revoke");
    QCOMPARE(sent.method, QByteArray("DELETE"));
    QCOMPARE(sent.path, QStringLiteral("/oauth2/token"));
    QCOMPARE(sent.query, (QMap<QString, QString>{{"access_token", token}}));

    // The service unreachable: reported, nothing else happens.
    sim.injectFault("*", Fault::refuse());
    Record::revokeAccessToken([&] { ++failures; });
    QTRY_COMPARE(failures, 1);
}

void tst_TokenCalls::revocationFaults_data() {
    QTest::addColumn<int>("kind");
    for (const FaultMatrix::Row& row : FaultMatrix::kinds())
        QTest::newRow(row.name) << int(row.kind);
}

void tst_TokenCalls::revocationFaults() {
    // Sign-out does not wait for the answer: only a failed connection is reported, once, and
    // the record is left to the caller.
    QFETCH(int, kind);
    const auto faultKind = Fault::Kind(kind);
    const QString token = m_env.signIn();
    m_env.sim().injectFault("revoke", FaultMatrix::faultOf(faultKind, 500, "down"));
    int failures = 0;
    Record::revokeAccessToken([&] { ++failures; });
    QTRY_VERIFY_WITH_TIMEOUT(m_env.sim().requestCount("revoke") > 0, 15000);
    QVERIFY(FaultMatrix::waitUntilRepliesHandled());
    QCOMPARE(failures, FaultMatrix::isTransport(faultKind) ? 1 : 0);
    QCOMPARE(rec().access_token.toString(), token);
}

void tst_TokenCalls::tokensNeverLogged() {
    // Runs last: every token any test obtained, against every line logged here and now.
    m_env.signIn();
    rec().authenticationType = QStringLiteral("PASSWORD");
    rec().username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    rec().password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    m_env.sim().expireAllUserTokens();
    m_env.sim().injectFault("tokenInfo", Fault::closeMidBody());
    Outcome o;
    Record::validateTokenAndPerformAction(o.count(o.successes), o.onError());
    QTRY_COMPARE(o.calls(), 1);
    Outcome lookupOutcome;
    lookup(QString::fromLatin1(VeloraSimulator::SamlUser), lookupOutcome);
    QTRY_COMPARE(lookupOutcome.calls(), 1);
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
