#pragma once

#include "Models/ServiceCall.h"
#include "VeloraSimulator.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

// The faults the simulator injects, for the data-driven fault matrices of the service-call
// suites: kinds() gives one row per fault, faultOf() the fault to inject for a row.
namespace FaultMatrix {

struct Row {
    const char* name;
    Fault::Kind kind;
};
inline const QList<Row>& kinds() {
    static const QList<Row> rows{
        {"HttpError", Fault::Kind::HttpError}, {"Garbage", Fault::Kind::Garbage},
        {"Empty", Fault::Kind::Empty},         {"CloseMidBody", Fault::Kind::CloseMidBody},
        {"Delay", Fault::Kind::Delay},         {"Refuse", Fault::Kind::Refuse}};
    return rows;
}

// The transfer timeout a delay runs under; the reply comes several times later.
constexpr int kShortTimeoutMs = 400;

// An HTTP error is `status` with the service's JSON error document carrying `message`. A delay
// also shortens the transfer timeout: the suite's cleanup puts it back.
inline Fault faultOf(Fault::Kind kind, int status, const QString& message) {
    switch (kind) {
    case Fault::Kind::HttpError:
        return Fault::httpError(status, {{"errorCode", status}, {"message", message}});
    case Fault::Kind::Garbage:
        return Fault::garbage();
    case Fault::Kind::Empty:
        return Fault::empty();
    case Fault::Kind::CloseMidBody:
        return Fault::closeMidBody();
    case Fault::Kind::Delay:
        ServiceCall::setTransferTimeoutMs(kShortTimeoutMs);
        return Fault::delay(kShortTimeoutMs * 6);
    case Fault::Kind::Refuse:
        return Fault::refuse();
    }
    return {};
}

// Faults that fail the connection itself (a transport error, not a reply).
inline bool isTransport(Fault::Kind kind) {
    return kind == Fault::Kind::CloseMidBody || kind == Fault::Kind::Delay ||
           kind == Fault::Kind::Refuse;
}

// What the error of a call failed by `kind` must be: the service error with `status`, a
// transport error of the "NSURLErrorDomain" (-1001 for a delay), or nothing for a bad body.
// Empty when `error` fits, else what is wrong with it.
inline QString errorMismatch(Fault::Kind kind, int status,
                             const std::optional<ServiceError>& error) {
    if (kind == Fault::Kind::Garbage || kind == Fault::Kind::Empty)
        return error ? QStringLiteral("an error for a bad body: ") + ServiceCall::describe(error)
                     : QString();
    if (!error)
        return QStringLiteral("no error");
    if (kind == Fault::Kind::HttpError)
        return error->httpStatus == status ? QString() : ServiceCall::describe(error);
    const int expectedCode = kind == Fault::Kind::Delay ? ServiceCall::TimedOut : error->code;
    if (error->domain != ServiceCall::kUrlErrorDomain || error->code != expectedCode)
        return QStringLiteral("not a transport error: ") + ServiceCall::describe(error);
    return {};
}

// Waits until every block-driven call has had its reply handled (none is left with the
// network), so a test can assert that a call ended without a word. False on timeout.
inline bool waitUntilRepliesHandled(int timeoutMs = 15000) {
    return QTest::qWaitFor(
        [] { return ServiceCall::network().findChildren<QNetworkReply*>().isEmpty(); }, timeoutMs);
}

} // namespace FaultMatrix
