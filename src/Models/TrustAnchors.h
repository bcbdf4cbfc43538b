#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

class QNetworkReply;

// CAs trusted next to the platform's store (SSL_CERT_FILE's, the server-trust anchor). Qt can
// only add CAs by replacing the platform's on-demand lookup with the whole store parsed into
// memory; instead the platform store stays on demand, and a handshake that fails only because
// its chain ends at a CA the platform does not know is accepted when that chain verifies against
// these anchors.
namespace TrustAnchors {

// Whether `chain` (leaf first, as a server presents it) verifies as a TLS server's for
// `hostName` (a name or an IP address) against `anchors` alone: signatures, validity dates,
// CA constraints, key usage and the name, as OpenSSL checks them.
bool verifies(const QList<QSslCertificate>& chain, const QString& hostName,
              const QList<QSslCertificate>& anchors);

// Whether every error only says that the chain's issuer is unknown (nothing expired, revoked,
// misnamed or malformed).
bool onlyUnknownIssuer(const QList<QSslError>& errors);

// Called on a reply's sslErrors: accepts the handshake (ignoring exactly these errors) when they
// only concern an unknown issuer and the presented chain verifies against `anchors` for the
// host the reply verifies. Returns whether it did.
bool acceptAnchored(QNetworkReply* reply, const QList<QSslError>& errors,
                    const QList<QSslCertificate>& anchors);

} // namespace TrustAnchors
