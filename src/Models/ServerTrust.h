#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// Server trust of the delegate-driven connections (statistics upload, single sign-on, log
// upload). A server is accepted when its own chain verifies for the requested host name with
// the platform's CAs plus the bundled certificate (":/cert.der") as an extra anchor; nothing is
// ever ignored. Each TLS handshake logs the challenge lines at debug level:
// "Hello can authenticate against protection space", "Did receive authentication challenge"
// and "%d %d" (anchor status, trust result).
//
// Usage: configure(request); reply = network().get(request); attach(reply).
// ServiceCall::send() does this for requests with serverTrust set.
namespace ServerTrust {

// The anchor's load status in the "%d %d" line: 0 loaded, kAnchorUnreadable otherwise.
constexpr int kAnchorUnreadable = -26275;
// The trust result in the "%d %d" line (the values of the platform's trust result type).
enum TrustResult : int { Unspecified = 4, RecoverableTrustFailure = 5 };

// A network access manager of its own, so that connections trusted through the anchor are never
// reused by block-driven calls (which use the platform's verification only), and vice versa.
QNetworkAccessManager& network();

// Makes the request verify its peer; attach() then accepts chains that end at an anchor (or at
// a CA of SSL_CERT_FILE) next to the platform's.
void configure(QNetworkRequest& request);

// Logs the challenge lines at each TLS handshake of the reply; a refused chain leaves the reply
// to fail with its TLS error.
void attach(QNetworkReply* reply);
// The same, with `logSuffix` ending both challenge lines (" from SSO Login").
void attach(QNetworkReply* reply, const QString& logSuffix);

// The anchors: the bundled certificate unless a test set others.
QList<QSslCertificate> anchorCertificates();
void setAnchorCertificates(const QList<QSslCertificate>& anchors); // test seam
void resetAnchorCertificates();                                    // back to ":/cert.der"

// Starts a new network access manager for later connections (after a change of trusted CAs).
void renewNetwork();

} // namespace ServerTrust
