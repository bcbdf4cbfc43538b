// Server trust of the delegate-driven connections against the simulator over real TLS. The test
// CA is NOT trusted by this process: only ServerTrust's anchor can make the simulator acceptable.
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServerTrust.h"
#include "Models/ServiceCall.h"
#include "TestEnvironment.h"
#include "VeloraSimulator.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QSignalSpy>

namespace {

const QStringList kChallengeLines{QStringLiteral("Hello can authenticate against protection space"),
                                  QStringLiteral("Did receive authentication challenge")};

std::optional<ServiceReply> call(const QString& url, bool serverTrust) {
    ServiceCall::Request request;
    request.url = url;
    request.serverTrust = serverTrust;
    std::optional<ServiceReply> reply;
    ServiceCall::send(request, [&reply](const ServiceReply& r) { reply = r; });
    if (!QTest::qWaitFor([&] { return reply.has_value(); }, 20000))
        return std::nullopt;
    return reply;
}

// The three challenge lines, in order, ending in `status result`; how many handshakes logged.
int handshakesLogged(const LogSpy& log, const QString& statusAndResult) {
    const QStringList debug = log.messages(Log::Debug);
    int count = 0;
    for (qsizetype i = 0; i + 2 < debug.size(); ++i) {
        if (debug[i] == kChallengeLines[0] && debug[i + 1] == kChallengeLines[1] &&
            debug[i + 2] == statusAndResult)
            ++count;
    }
    return count;
}

} // namespace

class tst_ServerTrust : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup() { ServerTrust::setAnchorCertificates(VeloraSimulator::caCertificates()); }
    void bundledAnchorLoads();
    void anchoredServerAccepted();
    void unknownCaRefused();
    void hostNameMustMatch();
    void missingAnchorDecidesNothing();

private:
    VeloraSimulator m_sim;
    VeloraSimulator m_other;
};

void tst_ServerTrust::initTestCase() {
    m_other.setCertificateChain(VeloraSimulator::CertificateChain::OtherCa);
    QVERIFY(m_sim.start());
    QVERIFY(m_other.start());
    ServerTrust::setAnchorCertificates(VeloraSimulator::caCertificates());
}

void tst_ServerTrust::bundledAnchorLoads() {
    ServerTrust::resetAnchorCertificates();
    const QList<QSslCertificate> anchors = ServerTrust::anchorCertificates();
    QCOMPARE(anchors.size(), 1);
    QCOMPARE(anchors.first().subjectInfo(QSslCertificate::CommonName),
             QStringList{QStringLiteral("Velora Root CA")});
    // The production anchor does not vouch for the simulator.
    LogSpy log;
    const auto reply = call(m_sim.baseUrl() + QStringLiteral("/oauth2/tokenInfo"), true);
    QVERIFY(reply && reply->error);
    QCOMPARE(reply->error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(handshakesLogged(log, QStringLiteral("0 5")), 1);
}

void tst_ServerTrust::anchoredServerAccepted() {
    LogSpy log;
    const QString url = m_sim.baseUrl() + QStringLiteral("/oauth2/tokenInfo?access_token=x");
    const auto trusted = call(url, true);
    QVERIFY(trusted);
    QVERIFY2(!trusted->error, qPrintable(ServiceCall::describe(trusted->error) + " " +
                                         log.messages(Log::Warning).join(' ')));
    QCOMPARE(trusted->httpStatus, 401); // an answer from the service itself
    QCOMPARE(handshakesLogged(log, QStringLiteral("0 4")), 1);
    QVERIFY(log.messages(Log::Warning).isEmpty());

    // A block-driven call to the same host neither trusts the anchor nor reuses the trusted
    // connection.
    const auto plain = call(url, false);
    QVERIFY(plain && plain->error);
    QCOMPARE(plain->error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(plain->httpStatus, 0);
    // Its handshake is not a server-trust challenge.
    QCOMPARE(handshakesLogged(log, QStringLiteral("0 5")), 0);
}

void tst_ServerTrust::unknownCaRefused() {
    LogSpy log;
    const auto reply = call(m_other.baseUrl() + QStringLiteral("/oauth2/tokenInfo"), true);
    QVERIFY(reply && reply->error);
    QCOMPARE(reply->error->domain, QStringLiteral("NSURLErrorDomain"));
    QCOMPARE(reply->error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(reply->httpStatus, 0);
    QCOMPARE(handshakesLogged(log, QStringLiteral("0 5")), 1);
    QVERIFY(log.contains(Log::Warning, QStringLiteral("Server not trusted: "), true));
    QCOMPARE(m_other.requestCount(), 0); // nothing reached the untrusted server
}

void tst_ServerTrust::hostNameMustMatch() {
    // The chain verifies with the anchor, but not for another name: refused.
    m_sim.clearRequests();
    QNetworkRequest request(QUrl(m_sim.baseUrl() + QStringLiteral("/oauth2/tokenInfo")));
    request.setPeerVerifyName(QStringLiteral("api.velora.example"));
    ServerTrust::configure(request);
    QNetworkReply* reply = ServerTrust::network().get(request);
    ServerTrust::attach(reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(20000));
    const ServiceReply result = ServiceCall::collect(reply);
    reply->deleteLater();
    QVERIFY(result.error);
    QCOMPARE(result.error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(m_sim.requestCount(), 0);
}

void tst_ServerTrust::missingAnchorDecidesNothing() {
    ServerTrust::setAnchorCertificates({});
    LogSpy log;
    const auto reply = call(m_other.baseUrl() + QStringLiteral("/x"), true);
    QVERIFY(reply && reply->error);
    QCOMPARE(reply->error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(handshakesLogged(log, QStringLiteral("%1 5").arg(ServerTrust::kAnchorUnreadable)), 1);
}

TAMBER_TEST_MAIN_CORE(tst_ServerTrust)
#include "tst_ServerTrust.moc"
