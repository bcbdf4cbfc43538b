#include "Authentication/SSOLogin/Helper/SAMLFormCapture.h"
#include "Authentication/SSOLogin/Helper/SSOCertificateTrust.h"
#include "Authentication/SSOLogin/SSOHelperProcess.h"
#include "Authentication/SSOLogin/SSOHelperProtocol.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "Authentication/SSOLogin/SSOTokenReply.h"
#include "GuiSuite.h"
#include "Models/ServiceCall.h"
#include "Platform/PreferencesStore.h"
#include "PresentedChain.h"
#include "SignOnWindow.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <QUrlQuery>
#include <cerrno>
#include <csignal>
#include <optional>

using namespace Qt::StringLiterals;
using EP = VeloraSimulator::Endpoint;

namespace {

const QString kSamlSuccess = u"SAML_CONFIG_SUCCESSFUL"_s;
const QString kIdpPassword = QString::fromLatin1(VeloraSimulator::SamlUserIdpPassword);

// Runs a script in the page of the window process and waits for its value. The answer is
// shared: one that comes after the wait gave up must not write into a finished call.
QVariant evaluate(const SSOLoginWindowController& controller, const QString& script) {
    auto answer = std::make_shared<std::optional<QVariant>>();
    controller.helper()->evaluate(
        script, [answer](const QJsonValue& result) { *answer = result.toVariant(); });
    if (!QTest::qWaitFor([&] { return answer->has_value() || !controller.helper()->isRunning(); },
                         10000))
        qWarning("Script did not answer: %s", qPrintable(script));
    return answer->value_or(QVariant());
}

bool waitForScript(SSOLoginWindowController& controller, const QString& condition,
                   int timeoutMs = 30000) {
    return QTest::qWaitFor(
        [&] {
            return controller.helper()->isRunning() && evaluate(controller, condition).toBool();
        },
        timeoutMs);
}

bool waitForLoginForm(SSOLoginWindowController& controller) {
    return waitForScript(controller, u"!!document.getElementById('password')"_s);
}

void signInAtIdentityProvider(SSOLoginWindowController& controller, const QString& password) {
    evaluate(controller, QStringLiteral("document.getElementById('username').value = '%1';"
                                        "document.getElementById('password').value = '%2';"
                                        "document.getElementById('signin').click();")
                             .arg(QLatin1String(VeloraSimulator::SamlUser), password));
}

// With TAMBER_SCREENSHOT_DIR set, the window process saves what it shows there.
void snapshot(const SSOLoginWindowController& controller, const QString& name) {
    if (qEnvironmentVariableIsEmpty("TAMBER_SCREENSHOT_DIR"))
        return;
    auto saved = std::make_shared<bool>(false);
    controller.helper()->snapshot(name, [saved] { *saved = true; });
    if (!QTest::qWaitFor([&] { return *saved; }, 10000))
        qWarning("No screenshot %s", qPrintable(name));
}

const SSOWindowState& windowOf(const SSOLoginWindowController& controller) {
    return controller.helper()->state();
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}
} // namespace

class tst_SSOLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv(SSOHelperProtocol::kTestHooksVariable, "1");
        VeloraSimulator::trustTestCaForThisProcess();
        QVERIFY(m_sim.start());
        NotificationCenter::defaultCenter().addObserver(
            &m_observer, kSamlSuccess, [this](const QVariant&) { ++m_successPosts; });
    }

    void init() {
        TamberDataModel::resetForTesting();
        TamberDataModel& model = *TamberDataModel::sharedData();
        model.apiHost = m_sim.apiHost();
        model.authenticationType = u"SAML"_s;
        model.enterpriseId = QString::fromLatin1(VeloraSimulator::SamlEnterprise);
        m_sim.clearFaults();
        m_sim.clearRequests();
        m_successPosts = 0;
    }

    void cleanup() { m_controller.reset(); }

    void tokenReplyAndFormHandling() {
        // Browsers' application/x-www-form-urlencoded: space as "+", only *-._ and alphanumerics
        // kept, line breaks as CRLF, UTF-8 bytes percent-encoded in upper case.
        QCOMPARE(
            SAMLFormCapture::urlEncoded({{u"SAMLResponse"_s, u"PHNh+bWw/="_s},
                                         {u"Relay State"_s, u"a&b=c*-._~\u00e9\n"_s}}),
            QByteArray("SAMLResponse=PHNh%2BbWw%2F%3D&Relay+State=a%26b%3Dc*-._%7E%C3%A9%0D%0A"));
        QCOMPARE(SAMLFormCapture::urlEncoded({{u"x"_s, u"1\r2\r\n3"_s}}),
                 QByteArray("x=1%0D%0A2%0D%0A3"));

        const QVariantMap noted{{u"action"_s, u"https://h/sso/saml2/"_s},
                                {u"method"_s, u"post"_s},
                                {u"fields"_s, QVariantList{QVariantList{u"a"_s, u"1"_s}}}};
        const auto form = SAMLFormCapture::formFromScriptResult(noted);
        QVERIFY(form);
        QCOMPARE(form->fields.size(), 1);
        QCOMPARE(form->fields.first().second, u"1"_s);
        // Whatever a page may have left in the note is refused unless it has the expected shape.
        QVariantMap broken = noted;
        broken[u"fields"_s] = QVariantList{QVariantList{u"a"_s}};
        QVERIFY(!SAMLFormCapture::formFromScriptResult(broken));
        QVERIFY(!SAMLFormCapture::formFromScriptResult(QVariant()));
        QVERIFY(!SAMLFormCapture::formFromScriptResult(u"text"_s));

        // Token replies: without a usable token nothing changes; without "scope" the identity is
        // left empty; values that are not scalars never land in the record.
        TamberDataModel& model = *TamberDataModel::sharedData();
        model.userId = u"previous"_s;
        QVERIFY(!SSOTokenReply::store(R"({"errorCode":"INVALID_SAML_RESPONSE"})"));
        QVERIFY(!SSOTokenReply::store(R"({"access_token":""})"));
        QVERIFY(!SSOTokenReply::store(R"({"access_token":{"v":"x"}})"));
        QVERIFY(!SSOTokenReply::store("not json") && !model.access_token.isValid());
        QCOMPARE(model.userId.toString(), u"previous"_s);
        QVERIFY(SSOTokenReply::store(R"({"access_token":"t1","expires_in":3600})"));
        QCOMPARE(model.access_token.toString(), u"t1"_s);
        QCOMPARE(model.expires_in.toInt(), 3600);
        QVERIFY(!model.userId.isValid());
        QVERIFY(SSOTokenReply::store(
            R"({"access_token":"t2","scope":{"user":1001,"enterprise":"acme","partitionName":["x"],)"
            R"("partition":{"id":7}}})"));
        QCOMPARE(model.userId.toInt(), 1001);
        QCOMPARE(model.enterpriseId.toString(), u"acme"_s);
        QVERIFY(!model.partitionName.isValid());
        QCOMPARE(model.partitionId.toInt(), 7);

        // The consumer address follows the API host's web domain.
        TamberDataModel::sharedData()->apiHost = u"api.acme.example:8443"_s;
        QCOMPARE(SSOLoginWindowController::assertionConsumerURL(),
                 u"https://acme.example:8443/sso/saml2/"_s);
    }

    void certificateTrustOfTheWebView() {
        const QList<QSslCertificate> chain = presentedChain(m_sim);
        QVERIFY(!chain.isEmpty());
        const QUrl simUrl(m_sim.baseUrl() + u"/idp/login"_s);

        SSOCertificateTrust trust;
        // This process trusts the test CA: its chain verifies for the name it was issued to.
        QVERIFY(trust.accepts(simUrl, chain));
        QUrl otherName = simUrl;
        otherName.setHost(u"evil.example"_s);
        QVERIFY(!trust.accepts(otherName, chain));
        QUrl plain = simUrl;
        plain.setScheme(u"http"_s);
        QVERIFY(!trust.accepts(plain, chain));

        VeloraSimulator untrusted;
        untrusted.setCertificateChain(VeloraSimulator::CertificateChain::OtherCa);
        QVERIFY(untrusted.start());
        const QList<QSslCertificate> otherChain = presentedChain(untrusted);
        QVERIFY(!otherChain.isEmpty());
        const QUrl untrustedUrl(untrusted.baseUrl() + u"/idp/login"_s);
        QVERIFY(!trust.accepts(untrustedUrl, otherChain) && !trust.accepts(untrustedUrl, {}));
        // A certificate the application's server trust accepted for this very host and port.
        trust.noteVerified(untrustedUrl, otherChain.first());
        QVERIFY(trust.accepts(untrustedUrl, otherChain));
        QUrl otherPort = untrustedUrl;
        otherPort.setPort(untrusted.port() + 1);
        QVERIFY(!trust.accepts(otherPort, otherChain));
    }

    void signsInThroughTheIdentityProvider() {
        LogSpy logs;
        // No application token yet: one is fetched before the auth request.
        startSignOn();
        QTRY_VERIFY_WITH_TIMEOUT(window().visible, 20000);
        QVERIFY(window().overlay && waitForLoginForm(*m_controller));
        QTRY_VERIFY(!window().overlay);
        // The bar names whose page asks for the password, reached over a verified connection.
        QTRY_COMPARE(window().host, u"localhost"_s);
        QVERIFY(window().verified);
        QCOMPARE(m_controller->currentRequest(), int(SSOLoginWindowController::TokenRequest));

        const QString appToken = TamberDataModel::sharedData()->app_access_token.toString();
        QVERIFY(!appToken.isEmpty());
        QCOMPARE(m_sim.requestCount(EP::Token), 1);
        const RecordedRequest auth = m_sim.lastRequest(EP::SamlAuthRequest);
        QCOMPARE(auth.method, QByteArray("POST"));
        QCOMPARE(auth.queryValue(u"enterprise"_s), QLatin1String(VeloraSimulator::SamlEnterprise));
        QCOMPARE(auth.queryValue(u"mode"_s), u"token_request"_s);
        QCOMPARE(auth.queryValue(u"access_token"_s), appToken);
        QCOMPARE(m_controller->idpURLString().section(u'?', 0, 0),
                 m_sim.baseUrl() + u"/idp/login"_s);

        snapshot(*m_controller, u"1-identity-provider"_s);

        // A wrong password stays at the identity provider.
        signInAtIdentityProvider(*m_controller, u"wrong"_s);
        QVERIFY(waitForScript(*m_controller, u"!!document.getElementById('error')"_s));
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 0);

        // The identity provider answers with a page whose script calls form.submit().
        const qint64 helperPid = m_controller->helper()->processId();
        QSignalSpy closed(m_controller.get(), &SSOLoginWindowController::windowClosed);
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QTRY_COMPARE_WITH_TIMEOUT(m_successPosts, 1, 20000);

        const TamberDataModel& model = *TamberDataModel::sharedData();
        const QString userId = m_sim.userIdOf(QString::fromLatin1(VeloraSimulator::SamlUser));
        QVERIFY(TamberDataModel::isPresent(model.access_token));
        QCOMPARE(m_sim.tokenInfo(model.access_token.toString()).userId, userId);
        QCOMPARE(model.userId.toString(), userId);
        QCOMPARE(model.enterpriseId.toString(), QLatin1String(VeloraSimulator::SamlEnterprise));
        QVERIFY(model.expires_in.isValid());

        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 1);
        const RecordedRequest consumer = m_sim.lastRequest(EP::SamlConsumer);
        QCOMPARE(consumer.method, QByteArray("POST"));
        QCOMPARE(consumer.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        const QMap<QString, QString> fields = consumer.formBody();
        QCOMPARE(fields.keys(), (QStringList{u"RelayState"_s, u"SAMLResponse"_s}));
        QCOMPARE(fields.value(u"RelayState"_s),
                 QUrlQuery(QUrl(m_controller->idpURLString()))
                     .queryItemValue(u"RelayState"_s, QUrl::FullyDecoded));

        // Done: the window process is gone (the web engine's memory with it), nothing reported as
        // abandoned.
        QVERIFY(!m_controller->helper()->isRunning());
        QTRY_VERIFY(processGone(helperPid));
        QCOMPARE(closed.count(), 0);
        QVERIFY(!QTest::qWaitFor(
            [&] { return m_sim.requestCount(EP::SamlConsumer) > 1 || m_successPosts > 1; }, 300));

        // The log tells the story without the token or the assertion.
        m_controller.reset();
        const QString consumerUrl = SSOLoginWindowController::assertionConsumerURL();
        const QStringList verbose = logs.messages(Log::Verbose);
        QVERIFY(std::any_of(verbose.begin(), verbose.end(), [&](const QString& line) {
            return line.startsWith(u"\n\nuser navigating from: \n\t"_s) &&
                   line.endsWith(u"\nto:\n\t"_s + consumerUrl);
        }));
        QCOMPARE(verbose.count(u"Looks like request url was successful"_s), 1);
        QVERIFY(logs.contains(Log::Verbose, u"Launching "_s, true));
        QVERIFY(
            logs.contains(Log::Debug, QStringLiteral("Hello can authenticate against protection "
                                                     "space from SSO Login")));
        QVERIFY(
            logs.contains(Log::Debug, u"Did receive authentication challenge from SSO Login"_s));
        QVERIFY(
            logs.contains(Log::Debug, u"******** DEALLOC: <SSOLoginWindowController: 0x"_s, true));
        const QString token = model.access_token.toString();
        const QString assertion = fields.value(u"SAMLResponse"_s);
        for (const LogSpy::Line& line : logs.lines()) {
            QVERIFY2(!line.message.contains(token), qPrintable(line.message));
            QVERIFY2(!line.message.contains(assertion), qPrintable(line.message));
        }
    }

    void userSubmittedAssertionIsPostedOnce() {
        startSignOn(true);
        QVERIFY(waitForLoginForm(*m_controller));
        QCOMPARE(m_sim.requestCount(EP::Token), 0);

        // The page fetches an assertion itself and shows it in a form the user submits with a
        // named button, twice in a row.
        const QUrlQuery idp(QUrl(m_controller->idpURLString()));
        evaluate(*m_controller, QStringLiteral(R"JS(
            fetch('/idp/login', {method: 'POST', body: new URLSearchParams({
                username: '%1', password: '%2', SAMLRequest: '%3', RelayState: '%4'})})
            .then(r => r.text()).then(html => {
                const issued = new DOMParser().parseFromString(html, 'text/html').forms[0];
                const form = document.createElement('form');
                form.method = 'post';
                form.action = issued.getAttribute('action');
                for (const name of ['SAMLResponse', 'RelayState']) {
                    const input = document.createElement('input');
                    input.name = name;
                    input.value = issued.elements[name].value;
                    form.appendChild(input);
                }
                const button = document.createElement('button');
                button.name = 'continue';
                button.value = 'yes please';
                form.appendChild(button);
                document.body.appendChild(form);
                button.click();
                button.click();
            });)JS")
                                    .arg(QLatin1String(VeloraSimulator::SamlUser),
                                         QLatin1String(VeloraSimulator::SamlUserIdpPassword),
                                         idp.queryItemValue(u"SAMLRequest"_s),
                                         idp.queryItemValue(u"RelayState"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(m_successPosts, 1, 20000);
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 1);
        const QMap<QString, QString> fields = m_sim.lastRequest(EP::SamlConsumer).formBody();
        QCOMPARE(fields.value(u"continue"_s), u"yes please"_s);
        QCOMPARE(fields.value(u"RelayState"_s), idp.queryItemValue(u"RelayState"_s));
        QVERIFY(TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    }

    void staleAppTokenAndTokenlessReply() {
        // A stored application token the service no longer accepts.
        const QString stale = m_sim.issueAppToken();
        m_sim.expireToken(stale);
        TamberDataModel::sharedData()->app_access_token = stale;
        startSignOn();
        QVERIFY(waitForLoginForm(*m_controller));
        const QList<RecordedRequest> auths = m_sim.requests(EP::SamlAuthRequest);
        QCOMPARE(auths.size(), 2);
        QCOMPARE(auths.first().queryValue(u"access_token"_s), stale);
        const QString fresh = TamberDataModel::sharedData()->app_access_token.toString();
        QVERIFY(fresh != stale);
        QCOMPARE(auths.last().queryValue(u"access_token"_s), fresh);
        QCOMPARE(m_sim.requestCount(EP::Token), 1);

        // The consumer answers without "access_token": a failed sign-in, not a success.
        m_sim.injectFault(EP::SamlConsumer,
                          Fault::httpError(500, QJsonObject{{"errorCode", "INTERNAL"}}).times(1));
        const QString firstIdpUrl = m_controller->idpURLString();
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->message().isEmpty(), 20000);
        QVERIFY(m_controller->message().contains(u"access token"_s));
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 1);
        QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
        QCOMPARE(m_successPosts, 0);

        // The identity provider's page is shown again (a new request) under the message.
        QVERIFY(waitForLoginForm(*m_controller) && m_controller->idpURLString() != firstIdpUrl);
        QTRY_VERIFY(!window().overlay);
        QVERIFY(window().visible);
        snapshot(*m_controller, u"3-message"_s);

        // And the second attempt signs in.
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QTRY_COMPARE_WITH_TIMEOUT(m_successPosts, 1, 20000);
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 2);
        QVERIFY(TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    }

    void closingTheWindowAbandonsTheExchange() {
        TamberDataModel::sharedData()->app_access_token = m_sim.issueAppToken();

        // Closed while the auth request is on its way: the late reply starts nothing.
        // (The window process may take seconds to start on a busy machine.)
        const int replyDelayMs = 10000;
        m_sim.injectFault(EP::SamlAuthRequest, Fault::delay(replyDelayMs));
        startSignOn();
        QTRY_COMPARE(m_sim.requestCount(EP::SamlAuthRequest), 1);
        QElapsedTimer sinceRequest;
        sinceRequest.start();
        QVERIFY(closedByHand());
        QVERIFY(!m_controller->helper()->isRunning());
        // Past the delayed reply: no probe, no page.
        QVERIFY(!QTest::qWaitFor([&] { return m_sim.requestCount(EP::IdpLogin) > 0; },
                                 int(replyDelayMs + 500 - sinceRequest.elapsed())));
        m_controller.reset();
        m_sim.clearFaults();

        // Closed while the assertion is being posted; the owner releases the controller as soon
        // as it hears of it, as the application controller does.
        m_sim.injectFault(EP::SamlConsumer, Fault::delay(1500));
        startSignOn();
        QVERIFY(waitForLoginForm(*m_controller));
        connect(m_controller.get(), &SSOLoginWindowController::windowClosed, this,
                [this] { m_controller.reset(); });
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.requestCount(EP::SamlConsumer), 1, 20000);
        QTRY_VERIFY(window().successLabel);
        snapshot(*m_controller, u"2-signing-in"_s);
        QVERIFY(closeSignOnWindowByHand(*m_controller));
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller, 10000);
        QVERIFY(!QTest::qWaitFor([&] { return m_successPosts > 0; }, 1700)); // past the reply
        QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    }

    void failuresBeforeThePageAreShown() {
        // The service keeps refusing: the application token is renewed once, not in a loop.
        TamberDataModel::sharedData()->enterpriseId = u"no-such-enterprise"_s;
        startSignOn(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->message().isEmpty(), 20000);
        QVERIFY(!window().overlay);
        QCOMPARE(m_sim.requestCount(EP::SamlAuthRequest), 2);
        QCOMPARE(m_sim.requestCount(EP::Token), 1);
        QCOMPARE(m_sim.requestCount(EP::IdpLogin), 0);
        m_controller.reset();

        // No connection at all: the platform's description of the failure, no renewal.
        m_sim.clearRequests();
        TamberDataModel::sharedData()->enterpriseId =
            QString::fromLatin1(VeloraSimulator::SamlEnterprise);
        m_sim.injectFault(EP::SamlAuthRequest, Fault::refuse());
        startSignOn();
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->message().isEmpty(), 20000);
        QCOMPARE(m_controller->message(),
                 ServiceCall::urlError(ServiceCall::NetworkConnectionLost).description);
        QCOMPARE(m_sim.requestCount(EP::Token), 0);
        QCOMPARE(m_successPosts, 0);
        m_controller.reset();

        // The identity provider does not answer the probe in time: the spinner stops, a message
        // names the problem, and the page is never loaded.
        m_sim.clearFaults();
        m_sim.clearRequests();
        m_sim.injectFault(EP::IdpLogin, Fault::delay(3000));
        ServiceCall::setTransferTimeoutMs(300);
        startSignOn();
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->message().isEmpty(), 20000);
        ServiceCall::setTransferTimeoutMs(60 * 1000);
        QVERIFY(m_controller->message().contains(
            ServiceCall::urlError(ServiceCall::TimedOut).description));
        QVERIFY(!window().overlay && !window().spinning);
        QCOMPARE(m_sim.requestCount(EP::IdpLogin), 1);
        QVERIFY(!QTest::qWaitFor([&] { return m_sim.requestCount(EP::IdpLogin) > 1; }, 500));
    }

    void identityProviderPageFaultsLeaveAWayOut() {
        TamberDataModel::sharedData()->app_access_token = m_sim.issueAppToken();

        // The probe is answered, then the page itself never arrives: no spinner is left turning
        // over a blank page, and closing the window ends the exchange cleanly.
        QObject injector;
        bool held = false;
        connect(&m_sim, &VeloraSimulator::requestReceived, &injector,
                [this, &held](const RecordedRequest& request) {
                    if (!held && request.endpoint == QLatin1String(EP::IdpLogin)) {
                        // The probe is answered; the page request that follows is held back.
                        held = true;
                        m_sim.injectFault(EP::IdpLogin, Fault::delay(2500));
                    }
                });
        startSignOn();
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.requestCount(EP::IdpLogin), 2, 20000);
        QTRY_VERIFY(!window().overlay);
        QVERIFY(!window().spinning);
        QVERIFY(closedByHand());
        QVERIFY(!m_controller->helper()->isRunning());
        m_controller.reset();
        // Past the late page: nothing more happens.
        QVERIFY(!QTest::qWaitFor([&] { return m_successPosts > 0; }, 3000));
        m_sim.clearFaults();

        // The identity provider answers the sign-in with an error page of its own (its sign-in
        // request has expired): the page is shown as it is, nothing reaches the service, and the
        // window can still be closed.
        startSignOn();
        QVERIFY(waitForLoginForm(*m_controller));
        evaluate(*m_controller,
                 u"document.querySelector('[name=SAMLRequest]').value = 'expired';"_s);
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QVERIFY(waitForScript(*m_controller,
                              u"document.body.innerText.includes('unknown or expired')"_s));
        QVERIFY(!window().overlay && window().visible);
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 0);
        QVERIFY(closedByHand());
        m_controller.reset();
        QCOMPARE(m_successPosts, 0);
        QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
    }

    void userDetailsFailureIsShownWithTryAgain() {
        QVERIFY(m_sim.injectFault(EP::User, Fault::httpError(503)));
        startSignOn();
        QVERIFY(waitForLoginForm(*m_controller));
        signInAtIdentityProvider(*m_controller, kIdpPassword);

        // Signed in at the service, but the account's details did not come: said here, no token
        // kept, and the window waits for the user.
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->message(),
                                  QStringLiteral("Signed in, but your account details could not be "
                                                 "loaded: the service failed to process the "
                                                 "request. Try again."),
                                  20000);
        QVERIFY(window().retry && !window().overlay && window().visible);
        QVERIFY(!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
        QVERIFY(!PreferencesStore(PreferencesStore::defaultPath()).contains("access_token"));
        QCOMPARE(m_successPosts, 0);
        snapshot(*m_controller, u"3-details-failed"_s);

        // Try again with the service healthy: signed in without a second visit to the provider.
        m_sim.clearFaults();
        m_controller->helper()->send(
            {{"do", SSOHelperProtocol::kPress}, {"name", u"retryButton"_s}});
        QTRY_COMPARE_WITH_TIMEOUT(m_successPosts, 1, 20000);
        QVERIFY(TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token));
        QVERIFY(!m_controller->helper()->isRunning());
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 1);
    }

    void windowProcessFailureOffersATryAgain_data() {
        QTest::addColumn<bool>("crash");
        QTest::newRow("crashed, tried again") << true;
        QTest::newRow("not found, cancelled") << false;
    }

    void windowProcessFailureOffersATryAgain() {
        QFETCH(bool, crash);
        TamberDataModel::sharedData()->app_access_token = m_sim.issueAppToken();
        const QByteArray program = qgetenv("TAMBER_SSO_HELPER");
        if (!crash)
            qputenv("TAMBER_SSO_HELPER", "/nonexistent/tamber-sso");
        startSignOn();
        if (crash) {
            QVERIFY(waitForLoginForm(*m_controller));
            ::kill(pid_t(m_controller->helper()->processId()), SIGKILL);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->failureNotice(), 20000);
        qputenv("TAMBER_SSO_HELPER", program);
        QMessageBox* notice = m_controller->failureNotice();
        QTRY_VERIFY(notice->isVisible());
        QVERIFY(notice->informativeText().contains(crash ? u"stopped unexpectedly"_s
                                                         : u"could not be started"_s));
        QVERIFY(m_controller->isWindowOpen());
        QCOMPARE(m_successPosts, 0);
        QSignalSpy closed(m_controller.get(), &SSOLoginWindowController::windowClosed);
        if (!crash) {
            notice->button(QMessageBox::Cancel)->click();
            QCOMPARE(closed.count(), 1);
            QVERIFY(!m_controller->isWindowOpen());
            return;
        }
        MenuSession::snapshot(notice, u"sso-4-window-failed"_s);

        // A new window process and a new exchange, which signs in; the assertion is posted once.
        notice->button(QMessageBox::Retry)->click();
        QVERIFY(!m_controller->failureNotice() && waitForLoginForm(*m_controller));
        signInAtIdentityProvider(*m_controller, kIdpPassword);
        QTRY_COMPARE_WITH_TIMEOUT(m_successPosts, 1, 20000);
        QCOMPARE(m_sim.requestCount(EP::SamlConsumer), 1);
        QCOMPARE(closed.count(), 0);
    }

    void windowProcessLivesOnlyWithItsController() {
        startSignOn(true);
        QVERIFY(waitForLoginForm(*m_controller));

        // Opened centred on the icon's screen (the cursor's here).
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((window().frame.center() - available.center()).manhattanLength() <= 4);

        // Cancelled by the application (replaced, or the application quits): the process is killed.
        const qint64 pid = m_controller->helper()->processId();
        QVERIFY(!processGone(pid));
        m_controller.reset();
        QTRY_VERIFY(processGone(pid));
    }

private:
    // With an application token held, the exchange starts without fetching one.
    void startSignOn(bool holdAppToken = false) {
        if (holdAppToken)
            TamberDataModel::sharedData()->app_access_token = m_sim.issueAppToken();
        m_controller = std::make_unique<SSOLoginWindowController>();
        m_controller->loadIDPURL();
    }

    bool closedByHand() {
        QSignalSpy closed(m_controller.get(), &SSOLoginWindowController::windowClosed);
        return closeSignOnWindowByHand(*m_controller) && closed.wait(10000);
    }
    const SSOWindowState& window() const { return windowOf(*m_controller); }

    VeloraSimulator m_sim;
    std::unique_ptr<SSOLoginWindowController> m_controller;
    int m_successPosts = 0;
    QObject m_observer;
};

TAMBER_TEST_MAIN_GUI(tst_SSOLogin)
#include "tst_SSOLogin.moc"
