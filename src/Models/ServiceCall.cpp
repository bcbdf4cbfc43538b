#include "Models/ServiceCall.h"

#include "Logging/Log.h"
#include "Models/ServerTrust.h"
#include "Models/TrustAnchors.h"
#include "Platform/MainQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QUrl>
#include <future>
#include <optional>

namespace {

constexpr int kDefaultTransferTimeoutMs = 60 * 1000;
constexpr const char* kCertificateRejected = "tamberCertificateRejected";
constexpr const char* kReplyTooLarge = "tamberReplyTooLarge";

int g_transferTimeoutMs = kDefaultTransferTimeoutMs;
QPointer<QNetworkAccessManager> g_network;

// The certificates of SSL_CERT_FILE, read off the main thread.
struct CaFile {
    QString path;
    QList<QSslCertificate> certificates;
    QString problem; // the warning to log instead, when nothing usable was read
};
std::optional<std::future<CaFile>> g_pendingCaLoad;

CaFile readCaFile(const QString& path) {
    CaFile result{path, {}, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem =
            QStringLiteral("SSL_CERT_FILE %1 cannot be read: %2").arg(path, file.errorString());
        return result;
    }
    const QByteArray data = file.read(16 * 1024 * 1024);
    result.certificates = QSslCertificate::fromData(data, QSsl::Pem);
    if (result.certificates.isEmpty())
        result.certificates = QSslCertificate::fromData(data, QSsl::Der);
    result.certificates.removeIf([](const QSslCertificate& c) { return c.isNull(); });
    if (result.certificates.isEmpty())
        result.problem = QStringLiteral("SSL_CERT_FILE %1 holds no certificate").arg(path);
    return result;
}

// SSL_CERT_FILE's certificates and any a test added: trusted next to the platform's store.
QList<QSslCertificate> g_trusted;

bool onMainThread() {
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Qt reports 4xx/5xx answers as reply errors; for this client they are answers, not failures.
bool isHttpStatusError(QNetworkReply::NetworkError e) {
    return (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError) ||
           e == QNetworkReply::ProtocolInvalidOperationError ||
           (e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError);
}

// Whether the platform's network information says the machine is offline. The backend is
// loaded at the first connection failure only, so calls that succeed never wait for it.
bool platformSaysOffline() {
    static const bool loaded = QNetworkInformation::loadDefaultBackend();
    const QNetworkInformation* info = loaded ? QNetworkInformation::instance() : nullptr;
    return info && info->reachability() == QNetworkInformation::Reachability::Disconnected;
}

int urlErrorCodeFor(QNetworkReply::NetworkError e, bool certificateRejected) {
    using R = QNetworkReply;
    switch (e) {
    // A refused connection or an unknown host is the server's or the name's fault, not the
    // network's, unless the machine is offline altogether.
    case R::HostNotFoundError:
        return platformSaysOffline() ? ServiceCall::NotConnectedToInternet
                                     : ServiceCall::CannotFindHost;
    case R::ConnectionRefusedError:
        return platformSaysOffline() ? ServiceCall::NotConnectedToInternet
                                     : ServiceCall::CannotConnectToHost;
    case R::TemporaryNetworkFailureError:
    case R::NetworkSessionFailedError:
    case R::UnknownNetworkError: // network unreachable and no route to host land here
        return ServiceCall::NotConnectedToInternet;
    case R::RemoteHostClosedError:
        return ServiceCall::NetworkConnectionLost;
    case R::TimeoutError:
    case R::OperationCanceledError: // nothing here aborts a call: only the transfer timeout does
        return ServiceCall::TimedOut;
    case R::SslHandshakeFailedError:
        return certificateRejected ? ServiceCall::ServerCertificateUntrusted
                                   : ServiceCall::SecureConnectionFailed;
    case R::ProxyConnectionRefusedError:
    case R::ProxyConnectionClosedError:
    case R::ProxyNotFoundError:
    case R::ProxyTimeoutError:
    case R::ProxyAuthenticationRequiredError:
        return ServiceCall::CannotConnectToHost;
    case R::ProtocolUnknownError:
        return ServiceCall::UnsupportedURL;
    case R::ProtocolFailure:
    case R::TooManyRedirectsError:
    case R::InsecureRedirectError:
        return ServiceCall::BadServerResponse;
    default:
        return ServiceCall::UnknownError;
    }
}

QNetworkReply* start(QNetworkAccessManager& nam, const QNetworkRequest& request,
                     const ServiceCall::Request& call) {
    const QByteArray verb = call.method.toUpper().toLatin1();
    if (verb == "GET" && !call.body)
        return nam.get(request);
    // A custom verb keeps Qt from adding a form Content-Type to bodies sent without one.
    if (call.body)
        return nam.sendCustomRequest(request, verb, *call.body);
    return nam.sendCustomRequest(request, verb);
}

// QUrl decodes "%2E" back into a dot, so a record value "." or ".." would become a path step
// ("/scheduled_meeting/.." is the user's own address). No service address has one.
bool hasDotSegment(const QUrl& url) {
    const QStringList segments = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
    return segments.contains(QLatin1String(".")) || segments.contains(QLatin1String(".."));
}

} // namespace

QNetworkAccessManager& ServiceCall::network() {
    ensureTrustedCaCertificates();
    if (!g_network)
        g_network = new QNetworkAccessManager(QCoreApplication::instance());
    return *g_network;
}

void ServiceCall::send(const Request& request, Completion done) {
    if (!onMainThread()) {
        MainQueue::async([request, done = std::move(done)]() mutable { send(request, done); });
        return;
    }
    const QUrl url(request.url);
    if (hasDotSegment(url)) {
        TLOG_WARN(QStringLiteral("Not sent: a path step in %1 %2")
                      .arg(request.method, url.path(QUrl::FullyEncoded)));
        MainQueue::async([done = std::move(done)] {
            if (done)
                done(ServiceReply{0, {}, urlError(UnsupportedURL)});
        });
        return;
    }
    QNetworkRequest netRequest{url};
    netRequest.setTransferTimeout(g_transferTimeoutMs);
    if (request.jsonContentType)
        netRequest.setHeader(QNetworkRequest::ContentTypeHeader,
                             QByteArrayLiteral("application/json"));

    QNetworkReply* reply = nullptr;
    if (request.serverTrust) {
        ServerTrust::configure(netRequest);
        reply = start(ServerTrust::network(), netRequest, request);
        ServerTrust::attach(reply);
    } else {
        reply = start(network(), netRequest, request);
        watchCertificateErrors(reply);
    }
    watchReplySize(reply);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
        const ServiceReply result = collect(reply);
        reply->deleteLater();
        if (done)
            done(result);
    });
}

void ServiceCall::watchCertificateErrors(QNetworkReply* reply) {
    watchCertificateErrors(reply, {});
}

void ServiceCall::watchCertificateErrors(QNetworkReply* reply,
                                         const QList<QSslCertificate>& anchors) {
    QObject::connect(
        reply, &QNetworkReply::sslErrors, reply, [reply, anchors](const QList<QSslError>& errors) {
            if (errors.isEmpty() ||
                TrustAnchors::acceptAnchored(reply, errors, trustedCaCertificates() + anchors))
                return;
            reply->setProperty(kCertificateRejected, true);
        });
}

bool ServiceCall::certificateRejected(const QNetworkReply* reply) {
    return reply->property(kCertificateRejected).toBool();
}

void ServiceCall::watchReplySize(QNetworkReply* reply) {
    QObject::connect(
        reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
            if ((received <= kMaxReplyBytes && total <= kMaxReplyBytes) ||
                reply->property(kReplyTooLarge).toBool())
                return;
            reply->setProperty(kReplyTooLarge, true);
            TLOG_ERROR(QStringLiteral("Reply refused: more than %1 bytes (%2 announced) from %3")
                           .arg(kMaxReplyBytes)
                           .arg(total)
                           .arg(reply->url().path()));
            reply->abort();
        });
}

ServiceReply ServiceCall::collect(QNetworkReply* reply) {
    ServiceReply result;
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->property(kReplyTooLarge).toBool()) {
        result.error = urlError(DataLengthExceedsMaximum);
        return result;
    }
    // A reply aborted by the timeout is closed already.
    if (reply->isOpen())
        result.body = reply->readAll();
    const auto e = reply->error();
    if (e == QNetworkReply::NoError || (result.httpStatus != 0 && isHttpStatusError(e)))
        return result;
    const bool rejected = certificateRejected(reply);
    result.error = urlError(urlErrorCodeFor(e, rejected));
    TLOG_VERBOSE(QStringLiteral("Transport error %1 (%2) maps to %3")
                     .arg(int(e))
                     .arg(reply->errorString())
                     .arg(result.error->code));
    return result;
}

ServiceError ServiceCall::urlError(int code) {
    QString text;
    switch (code) {
    case Cancelled:
        text = QStringLiteral("cancelled");
        break;
    case TimedOut:
        text = QStringLiteral("The request timed out.");
        break;
    case UnsupportedURL:
        text = QStringLiteral("unsupported URL");
        break;
    case CannotFindHost:
        text = QStringLiteral("A server with the specified hostname could not be found.");
        break;
    case CannotConnectToHost:
        text = QStringLiteral("Could not connect to the server.");
        break;
    case NetworkConnectionLost:
        text = QStringLiteral("The network connection was lost.");
        break;
    case NotConnectedToInternet:
        text = QStringLiteral("The Internet connection appears to be offline.");
        break;
    case BadServerResponse:
        text = QStringLiteral("The server returned a response that could not be read.");
        break;
    case DataLengthExceedsMaximum:
        text = QStringLiteral("The response from the server is too large.");
        break;
    case SecureConnectionFailed:
        text = QStringLiteral("An SSL error has occurred and a secure connection to the server "
                              "cannot be made.");
        break;
    case ServerCertificateUntrusted:
        text = QStringLiteral("The certificate for this server is invalid.");
        break;
    default:
        code = UnknownError;
        text = QStringLiteral("An unknown error occurred.");
        break;
    }
    return ServiceError{kUrlErrorDomain, code, text, 0, {}};
}

std::optional<ServiceError> ServiceCall::httpError(const ServiceReply& reply) {
    if (reply.httpStatus < 400)
        return std::nullopt;
    const QJsonObject body = reply.json().object();
    QString message;
    for (const char* key : {"message", "error_description"}) {
        const QJsonValue v = body.value(QLatin1String(key));
        if (v.isString() && !v.toString().trimmed().isEmpty()) {
            message = v.toString();
            break;
        }
    }
    if (message.isEmpty())
        message = QStringLiteral("The service could not complete the request (HTTP %1).")
                      .arg(reply.httpStatus);
    return ServiceError{kServiceErrorDomain, reply.httpStatus, message, reply.httpStatus,
                        reply.body};
}

QString ServiceCall::describe(const ServiceError& error) {
    QString text = QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
                       .arg(error.domain)
                       .arg(error.code)
                       .arg(error.description);
    if (error.httpStatus)
        text += QStringLiteral(" (HTTP %1)").arg(error.httpStatus);
    return text;
}

QString ServiceCall::describe(const std::optional<ServiceError>& error) {
    return error ? describe(*error) : QStringLiteral("(null)");
}

int ServiceCall::transferTimeoutMs() {
    return g_transferTimeoutMs;
}

void ServiceCall::setTransferTimeoutMs(int ms) {
    g_transferTimeoutMs = ms > 0 ? ms : kDefaultTransferTimeoutMs;
}

void ServiceCall::addTrustedCaCertificates(const QList<QSslCertificate>& certificates) {
    for (const QSslCertificate& c : certificates) {
        if (!c.isNull() && !g_trusted.contains(c))
            g_trusted.append(c);
    }
}

QList<QSslCertificate> ServiceCall::trustedCaCertificates() {
    ensureTrustedCaCertificates();
    return g_trusted;
}

void ServiceCall::loadExtraCaCertificatesInBackground() {
    const QString path = qEnvironmentVariable("SSL_CERT_FILE");
    if (path.isEmpty() || g_pendingCaLoad)
        return;
    g_pendingCaLoad = std::async(std::launch::async, [path] { return readCaFile(path); });
}

int ServiceCall::ensureTrustedCaCertificates() {
    if (!g_pendingCaLoad)
        return 0;
    const CaFile file = g_pendingCaLoad->get();
    g_pendingCaLoad.reset();
    if (!file.problem.isEmpty()) {
        TLOG_WARN(file.problem);
        return 0;
    }
    addTrustedCaCertificates(file.certificates);
    TLOG_INFO(QStringLiteral("Trusting %1 certificate(s) from SSL_CERT_FILE %2")
                  .arg(file.certificates.size())
                  .arg(file.path));
    return int(file.certificates.size());
}

int ServiceCall::installExtraCaCertificates() {
    loadExtraCaCertificatesInBackground();
    return ensureTrustedCaCertificates();
}
