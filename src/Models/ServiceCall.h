#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// A failed call: a transport error in the "NSURLErrorDomain" (-1009 not connected, -1005
// connection lost, -1001 timed out, ...) or a service error (an HTTP status >= 400 with the
// message of the reply's JSON body). description is what the user may be shown.
struct ServiceError {
    QString domain;
    int code = 0;
    QString description;
    int httpStatus = 0;
    QByteArray body;
};

struct ServiceReply {
    int httpStatus = 0;               // 0 when no HTTP response arrived
    QByteArray body;
    std::optional<ServiceError> error; // transport error only; HTTP status is the caller's call
    // The body parsed as JSON (no options); null when it is not JSON.
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

// The block-driven call convention: asynchronous, one reply per call, the callback always on
// the main thread, a 60 s transfer timeout.
namespace ServiceCall {

struct Request {
    QString method = QStringLiteral("GET");
    QString url;
    std::optional<QByteArray> body;   // compact JSON text
    bool jsonContentType = false;     // send "Content-Type: application/json"
};

using Completion = std::function<void(const ServiceReply&)>;

void send(const Request& request, Completion done);

// The shared network access manager of the main thread.
QNetworkAccessManager& network();

// A service error from a reply with an HTTP status >= 400, or nothing for a success status.
std::optional<ServiceError> httpError(const ServiceReply& reply);

} // namespace ServiceCall
