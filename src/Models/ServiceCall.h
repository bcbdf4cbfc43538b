#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// A failed call: a transport error in the "NSURLErrorDomain" (-1009 not connected: no route or
// the platform says offline; -1004 connection refused; -1003 host not found; -1005 connection
// lost; -1001 timed out, ...) or a service error (an HTTP status >= 400 with the
// message of the reply's JSON body). description is what the user may be shown.
struct ServiceError {
    QString domain;
    int code = 0;
    QString description;
    int httpStatus = 0;
    QByteArray body;
};

struct ServiceReply {
    int httpStatus = 0; // 0 when no HTTP response arrived
    QByteArray body;
    std::optional<ServiceError> error; // transport error only; HTTP status is the caller's call
    // The body parsed as JSON (no options); null when it is not JSON.
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

// The block-driven call convention: asynchronous, one reply per call, the callback always on
// the main thread, a 60 s transfer timeout.
namespace ServiceCall {

inline const QString kUrlErrorDomain = QStringLiteral("NSURLErrorDomain");
inline const QString kServiceErrorDomain = QStringLiteral("VeloraServiceErrorDomain");

// The "NSURLErrorDomain" codes this client produces.
enum UrlErrorCode : int {
    UnknownError = -1,
    Cancelled = -999,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    NotConnectedToInternet = -1009,
    BadServerResponse = -1011,
    DataLengthExceedsMaximum = -1103,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
};

struct Request {
    QString method = QStringLiteral("GET");
    QString url;
    std::optional<QByteArray> body; // compact JSON text
    bool jsonContentType = false;   // send "Content-Type: application/json"
    // Delegate-driven connections (statistics, sign-on, log upload): sent through ServerTrust,
    // which logs each TLS handshake and also trusts the bundled certificate.
    bool serverTrust = false;
};

using Completion = std::function<void(const ServiceReply&)>;

// Sends on the main thread's network access manager (from any thread); `done` runs exactly once,
// on the main thread, after send() has returned.
void send(const Request& request, Completion done);

// The shared network access manager of the main thread.
QNetworkAccessManager& network();

// A service error from a reply with an HTTP status >= 400, or nothing for a success status.
std::optional<ServiceError> httpError(const ServiceReply& reply);

// An error of the "NSURLErrorDomain" with its user-facing description.
ServiceError urlError(int code);

// Collects a finished reply into the call convention's value: an HTTP answer of any status is
// a reply (its body is the service's word); only transport failures become errors.
ServiceReply collect(QNetworkReply* reply);

// The largest reply body read; a larger one is cut off and fails with -1103, so no reply can
// swell the record past what the preferences store holds.
inline constexpr qint64 kMaxReplyBytes = 8 * 1024 * 1024;
// Aborts the reply once its body (announced or received) passes kMaxReplyBytes; collect() then
// reports -1103. send() does this already.
void watchReplySize(QNetworkReply* reply);

// Makes collect() tell a refused certificate (-1202) from other TLS failures (-1200). send()
// and ServerTrust::attach() do this already.
void watchCertificateErrors(QNetworkReply* reply);
// The same, accepting chains that verify against `anchors` as well as the trusted CAs.
void watchCertificateErrors(QNetworkReply* reply, const QList<QSslCertificate>& anchors);
// Whether the reply's server certificate was refused.
bool certificateRejected(const QNetworkReply* reply);

// "Error Domain=NSURLErrorDomain Code=-1009 "..."": the text error log lines carry.
QString describe(const ServiceError& error);
QString describe(const std::optional<ServiceError>& error);

// Transfer (inactivity) timeout of every call, 60 s unless a test shortens it.
int transferTimeoutMs();
void setTransferTimeoutMs(int ms);

// Trusts CA certificates next to the platform's own, so both block-driven calls and ServerTrust
// connections accept servers they sign.
void addTrustedCaCertificates(const QList<QSslCertificate>& certificates);
// The CAs trusted next to the platform's (adding a pending SSL_CERT_FILE load first).
QList<QSslCertificate> trustedCaCertificates();

// Honours SSL_CERT_FILE (the OpenSSL convention that Qt itself ignores): the certificates of
// that PEM or DER file become trusted. Returns how many were added.
int installExtraCaCertificates();
// The same without holding up the start: the file is read on a worker thread, and the certificates
// are added when the first connection needs them.
void loadExtraCaCertificatesInBackground();
// Adds what a background load read (waiting for it if need be); 0 when none is pending.
// Both network access managers call it before any connection.
int ensureTrustedCaCertificates();

} // namespace ServiceCall
