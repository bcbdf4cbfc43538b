// Server trust of the delegate-driven connections against the simulator over real TLS. The test
// CA is NOT trusted by this process: only ServerTrust's anchor can make the simulator acceptable.
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServerTrust.h"
#include "Models/ServiceCall.h"
#include "Models/TrustAnchors.h"
#include "PresentedChain.h"
#include "TestEnvironment.h"
#include "VeloraSimulator.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QSignalSpy>

namespace {

std::optional<ServiceReply> call(const QString& url, bool serverTrust) {
    ServiceCall::Request request;
    request.url = url;
    request.serverTrust = serverTrust;
    std::optional<ServiceReply> reply;
    ServiceCall::send(request, [&reply](const ServiceReply& r) { reply = r; });
    (void)QTest::qWaitFor([&] { return reply.has_value(); }, 20000); // the caller sees none
    return reply;
}

// How many handshakes logged their three challenge lines, the last one `verdict` (status result).
qsizetype handshakesLogged(const LogSpy& log, const QString& verdict) {
    return (u'\n' + log.messages(Log::Debug).join(u'\n') + u'\n')
        .count("\nHello can authenticate against protection space\n"
               "Did receive authentication challenge\n" +
               verdict + u'\n');
}

} // namespace

class tst_ServerTrust : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup() { ServerTrust::setAnchorCertificates(VeloraSimulator::caCertificates()); }
    void handshakes_data();
    void handshakes();
    void hostNameMustMatch();
    void anchoredChains_data();
    void anchoredChains();
    void onlyAnUnknownIssuerIsForgiven();

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

void tst_ServerTrust::handshakes_data() {
    QTest::addColumn<int>("anchor");       // 0: the test CA, 1: the bundled one, 2: none
    QTest::addColumn<bool>("otherCa");     // the server's chain comes from another CA
    QTest::addColumn<bool>("serverTrust"); // the call goes through ServerTrust
    QTest::addColumn<QString>("verdict");  // the challenge's logged status and result, or none
    QTest::newRow("anchored") << 0 << false << true << "0 4";
    // The production anchor does not vouch for the simulator.
    QTest::newRow("bundled anchor") << 1 << false << true << "0 5";
    QTest::newRow("unknown CA") << 0 << true << true << "0 5";
    QTest::newRow("no anchor") << 2 << true << true
                               << QStringLiteral("%1 5").arg(ServerTrust::kAnchorUnreadable);
    // A block-driven call neither trusts the anchor nor reuses an open trusted connection.
    QTest::newRow("block-driven") << 0 << false << false << QString();
}

void tst_ServerTrust::handshakes() {
    QFETCH(int, anchor);
    QFETCH(bool, otherCa);
    QFETCH(bool, serverTrust);
    QFETCH(QString, verdict);
    if (anchor == 1) {
        ServerTrust::resetAnchorCertificates();
        QCOMPARE(ServerTrust::anchorCertificates().size(), 1);
        QCOMPARE(ServerTrust::anchorCertificates()[0].subjectInfo(QSslCertificate::CommonName),
                 QStringList{QStringLiteral("Velora Root CA")});
    } else if (anchor == 2) {
        ServerTrust::setAnchorCertificates({});
    }
    VeloraSimulator& server = otherCa ? m_other : m_sim;
    const QString url = server.baseUrl() + QStringLiteral("/oauth2/tokenInfo?access_token=x");
    if (!serverTrust)
        QVERIFY(call(url, true));
    server.clearRequests();
    LogSpy log;
    const auto reply = call(url, serverTrust);
    QVERIFY(reply);
    const bool accepted = verdict.endsWith(QLatin1String(" 4"));
    QVERIFY2(reply->error.has_value() != accepted, qPrintable(ServiceCall::describe(reply->error)));
    QCOMPARE(reply->httpStatus, accepted ? 401 : 0); // 401: an answer of the service itself
    if (accepted) {
        QVERIFY(log.messages(Log::Warning).isEmpty());
    } else {
        QCOMPARE(reply->error->domain, QStringLiteral("NSURLErrorDomain"));
        QCOMPARE(reply->error->code, int(ServiceCall::ServerCertificateUntrusted));
        QCOMPARE(server.requestCount(), 0); // nothing reached the untrusted server
    }
    QCOMPARE(log.contains(Log::Warning, QStringLiteral("Server not trusted: "), true),
             serverTrust && !accepted);
    QCOMPARE(handshakesLogged(log, verdict.isEmpty() ? QStringLiteral("0 5") : verdict),
             verdict.isEmpty() ? 0 : 1);
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

void tst_ServerTrust::anchoredChains_data() {
    QTest::addColumn<bool>("otherChain"); // the chain of the simulator with the untrusted CA
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("anchors"); // 0 none, 1 the test CA, 2 the other CA, 3 both
    QTest::addColumn<bool>("verifies");
    QTest::newRow("anchored name") << false << "localhost" << 1 << true;
    QTest::newRow("anchored address") << false << "127.0.0.1" << 1 << true;
    QTest::newRow("one of several anchors") << false << "LOCALHOST" << 3 << true;
    QTest::newRow("other name") << false << "api.velora.example" << 1 << false;
    QTest::newRow("other address") << false << "127.0.0.2" << 1 << false;
    QTest::newRow("no name") << false << "" << 1 << false;
    QTest::newRow("no anchors") << false << "localhost" << 0 << false;
    QTest::newRow("another CA's chain") << true << "localhost" << 1 << false;
    QTest::newRow("the wrong anchor") << false << "localhost" << 2 << false;
}

void tst_ServerTrust::anchoredChains() {
    QFETCH(bool, otherChain);
    QFETCH(QString, host);
    QFETCH(int, anchors);
    QFETCH(bool, verifies);
    const QList<QSslCertificate> chain = presentedChain(otherChain ? m_other : m_sim);
    QVERIFY(!chain.isEmpty());
    // The other CA is the root of the other simulator's presented chain, or its leaf's issuer.
    QList<QSslCertificate> trusted;
    if (anchors & 1)
        trusted += VeloraSimulator::caCertificates();
    if (anchors & 2)
        trusted += presentedChain(m_other).constLast();
    QCOMPARE(TrustAnchors::verifies(chain, host, trusted), verifies);
    // Only the leaf, with its issuer as the anchor, verifies just as well; a leaf alone as its
    // own anchor does not.
    QCOMPARE(TrustAnchors::verifies({chain.first()}, host, trusted), verifies);
    QVERIFY(!TrustAnchors::verifies({chain.first()}, host, {chain.first()}));
}

void tst_ServerTrust::onlyAnUnknownIssuerIsForgiven() {
    const QSslCertificate leaf = presentedChain(m_sim).value(0);
    using E = QSslError;
    const auto errors = [&leaf](std::initializer_list<E::SslError> codes) {
        QList<QSslError> list;
        for (const E::SslError code : codes)
            list.append(QSslError(code, leaf));
        return list;
    };
    QVERIFY(TrustAnchors::onlyUnknownIssuer(
        errors({E::UnableToGetLocalIssuerCertificate, E::UnableToVerifyFirstCertificate})));
    QVERIFY(TrustAnchors::onlyUnknownIssuer(errors({E::SelfSignedCertificateInChain})));
    QVERIFY(!TrustAnchors::onlyUnknownIssuer({}));
    QVERIFY(!TrustAnchors::onlyUnknownIssuer(
        errors({E::UnableToGetLocalIssuerCertificate, E::HostNameMismatch})));
    QVERIFY(!TrustAnchors::onlyUnknownIssuer(
        errors({E::UnableToGetLocalIssuerCertificate, E::CertificateExpired})));
    QVERIFY(!TrustAnchors::onlyUnknownIssuer(errors({E::CertificateRevoked})));
}

TAMBER_TEST_MAIN_CORE(tst_ServerTrust)
#include "tst_ServerTrust.moc"
