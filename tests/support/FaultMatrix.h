#pragma once

#include "VeloraSimulator.h"

#include <QList>
#include <QString>
#include <optional>

struct ServiceError;

// The faults the simulator injects, for the data-driven fault matrices of the service-call
// suites: kinds() gives one row per fault, faultOf() the fault to inject for a row.
namespace FaultMatrix {

struct Row {
    const char* name;
    Fault::Kind kind;
};
// HttpError, Garbage, Empty, CloseMidBody, Delay, Refuse.
const QList<Row>& kinds();

// The transfer timeout a delay runs under; the reply comes several times later.
constexpr int kShortTimeoutMs = 400;

// An HTTP error is `status` with the service's JSON error document carrying `message`. A delay
// also shortens the transfer timeout: the suite's cleanup puts it back.
Fault faultOf(Fault::Kind kind, int status, const QString& message);

// Faults that fail the connection itself (a transport error, not a reply).
bool isTransport(Fault::Kind kind);

// What the error of a call failed by `kind` must be: the service error with `status`, a
// transport error of the "NSURLErrorDomain" (-1001 for a delay), or nothing for a bad body.
// Empty when `error` fits, else what is wrong with it.
QString errorMismatch(Fault::Kind kind, int status, const std::optional<ServiceError>& error);

// Waits until every block-driven call has had its reply handled (none is left with the
// network), so a test can assert that a call ended without a word. False on timeout.
bool waitUntilRepliesHandled(int timeoutMs = 15000);

} // namespace FaultMatrix
