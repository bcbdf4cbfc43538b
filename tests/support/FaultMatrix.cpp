#include "FaultMatrix.h"

#include "Models/ServiceCall.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

const QList<FaultMatrix::Row>& FaultMatrix::kinds() {
    static const QList<Row> rows{
        {"HttpError", Fault::Kind::HttpError}, {"Garbage", Fault::Kind::Garbage},
        {"Empty", Fault::Kind::Empty},         {"CloseMidBody", Fault::Kind::CloseMidBody},
        {"Delay", Fault::Kind::Delay},         {"Refuse", Fault::Kind::Refuse}};
    return rows;
}

Fault FaultMatrix::faultOf(Fault::Kind kind, int status, const QString& message) {
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

bool FaultMatrix::isTransport(Fault::Kind kind) {
    return kind == Fault::Kind::CloseMidBody || kind == Fault::Kind::Delay ||
           kind == Fault::Kind::Refuse;
}

QString FaultMatrix::errorMismatch(Fault::Kind kind, int status,
                                   const std::optional<ServiceError>& error) {
    const bool badBody = kind == Fault::Kind::Garbage || kind == Fault::Kind::Empty;
    if (badBody)
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

bool FaultMatrix::waitUntilRepliesHandled(int timeoutMs) {
    return QTest::qWaitFor(
        [] { return ServiceCall::network().findChildren<QNetworkReply*>().isEmpty(); }, timeoutMs);
}
