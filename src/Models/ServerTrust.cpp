#include "Models/ServerTrust.h"

#include "Logging/Log.h"
#include "Models/ServiceCall.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <optional>

// Resources of a static library must be registered by hand.
static void initCoreResources() {
    Q_INIT_RESOURCE(core);
}

namespace {

QPointer<QNetworkAccessManager> g_network;
std::optional<QList<QSslCertificate>> g_anchors; // unset: the bundled certificate

QList<QSslCertificate> bundledAnchor() {
    initCoreResources();
    QFile file(QStringLiteral(":/cert.der"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QSslCertificate certificate(file.readAll(), QSsl::Der);
    if (certificate.isNull())
        return {};
    return {certificate};
}

void logChallenge(bool verified, const QString& suffix) {
    TLOG_DEBUG(QStringLiteral("Hello can authenticate against protection space") + suffix);
    TLOG_DEBUG(QStringLiteral("Did receive authentication challenge") + suffix);
    const int status =
        ServerTrust::anchorCertificates().isEmpty() ? ServerTrust::kAnchorUnreadable : 0;
    const int result = verified ? ServerTrust::Unspecified : ServerTrust::RecoverableTrustFailure;
    TLOG_DEBUG(QStringLiteral("%1 %2").arg(status).arg(result));
}

} // namespace

QNetworkAccessManager& ServerTrust::network() {
    ServiceCall::ensureTrustedCaCertificates();
    if (!g_network)
        g_network = new QNetworkAccessManager(QCoreApplication::instance());
    return *g_network;
}

QList<QSslCertificate> ServerTrust::anchorCertificates() {
    if (!g_anchors)
        g_anchors = bundledAnchor();
    return *g_anchors;
}

// A connection that Qt keeps keeps the TLS configuration it was made with: new anchors get a
// new manager. The old one stays with the application, so calls under way still finish.
void ServerTrust::renewNetwork() {
    g_network.clear();
}

void ServerTrust::setAnchorCertificates(const QList<QSslCertificate>& anchors) {
    g_anchors = anchors;
    renewNetwork();
}

void ServerTrust::resetAnchorCertificates() {
    g_anchors.reset();
    renewNetwork();
}

void ServerTrust::configure(QNetworkRequest& request) {
    QSslConfiguration config = request.sslConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(config);
}

void ServerTrust::attach(QNetworkReply* reply) {
    attach(reply, QString());
}

void ServerTrust::attach(QNetworkReply* reply, const QString& logSuffix) {
    ServiceCall::watchCertificateErrors(reply, anchorCertificates());
    QObject::connect(reply, &QNetworkReply::encrypted, reply,
                     [logSuffix] { logChallenge(true, logSuffix); });
    QObject::connect(
        reply, &QNetworkReply::sslErrors, reply,
        [reply, logSuffix](const QList<QSslError>& errors) {
            if (!ServiceCall::certificateRejected(reply))
                return; // anchored: the handshake goes on to `encrypted`
            logChallenge(false, logSuffix);
            QStringList texts;
            for (const QSslError& e : errors)
                texts << e.errorString();
            TLOG_WARN(
                QStringLiteral("Server not trusted: %1").arg(texts.join(QStringLiteral("; "))));
        });
}
