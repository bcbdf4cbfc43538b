// User, room and personal-meeting calls: copy the service's records into the account record
// and send the room defaults back.
#include "AccountReplyParser.h"
#include "Logging/Log.h"
#include "ServiceCall.h"
#include "TamberDataModel.h"

#include <QJsonDocument>

namespace {

using ErrorCallback = std::function<void(const std::optional<ServiceError>&)>;
using SuccessCallback = std::function<void()>;

void fail(const ErrorCallback& onError, const std::optional<ServiceError>& error) {
    if (onError)
        onError(error);
}

// "https://<apiHost>/ridgeapi/v1/user/<userId><tail>?access_token=<token>"
QString userAddress(const QString& tail) {
    const TamberDataModel* r = TamberDataModel::sharedData();
    return QStringLiteral("https://%1/ridgeapi/v1/user/%2%3?access_token=%4")
        .arg(TamberDataModel::urlText(r->apiHost), TamberDataModel::pathSegment(r->userId), tail,
             TamberDataModel::queryValue(r->access_token));
}

QString userRecordAddress() {
    return userAddress(QString());
}
QString roomAddress() {
    return userAddress(QStringLiteral("/room/"));
}
QString personalMeetingAddress() {
    return userAddress(QStringLiteral("/personal_meeting/"));
}

// Why a read reply cannot be used, or nothing when it can. A transport error and an HTTP error
// status come back as the error; an empty body as nothing with a reason.
struct Rejection {
    std::optional<ServiceError> error;
    QString reason;
};

std::optional<Rejection> rejectionOf(const ServiceReply& reply) {
    if (reply.error)
        return Rejection{reply.error, ServiceCall::describe(*reply.error)};
    if (auto refused = ServiceCall::httpError(reply))
        return Rejection{refused, ServiceCall::describe(*refused)};
    if (reply.body.isEmpty())
        return Rejection{std::nullopt, QStringLiteral("Empty data")};
    return std::nullopt;
}

const QString kUnusableReply = QStringLiteral("Reply is not a JSON object");

// One GET of a chain: copy the record's fields when the reply is usable, then go on; else log
// "<what> <reason>" at error level, copy nothing and end in the error callback.
template <typename Parse>
void readStep(const QString& address, const QString& what, Parse parse, std::function<void()> next,
              ErrorCallback onError) {
    ServiceCall::send({QStringLiteral("GET"), address, std::nullopt, false},
                      [what, parse, next = std::move(next),
                       onError = std::move(onError)](const ServiceReply& reply) {
                          if (const auto rejected = rejectionOf(reply)) {
                              TLOG_ERROR(QStringLiteral("%1 %2").arg(what, rejected->reason));
                              fail(onError, rejected->error);
                              return;
                          }
                          const auto fields = parse(reply.body);
                          if (!fields) {
                              TLOG_ERROR(QStringLiteral("%1 %2").arg(what, kUnusableReply));
                              fail(onError, std::nullopt);
                              return;
                          }
                          AccountReplyParser::apply(*fields, *TamberDataModel::sharedData());
                          next();
                      });
}

void fetchUserRecord(std::function<void()> next, ErrorCallback onError) {
    readStep(userRecordAddress(), QStringLiteral("Error while fetching user details"),
             AccountReplyParser::parseUser, std::move(next), std::move(onError));
}

void fetchRoomRecord(std::function<void()> next, ErrorCallback onError) {
    readStep(roomAddress(), QStringLiteral("Error while fetching room settings"),
             AccountReplyParser::parseRoom, std::move(next), std::move(onError));
}

void fetchPersonalMeeting(std::function<void()> next, ErrorCallback onError) {
    readStep(personalMeetingAddress(), QStringLiteral("Error while fetching personal meeting"),
             AccountReplyParser::parsePersonalMeeting, std::move(next), std::move(onError));
}

} // namespace

QString TamberDataModel::userRecordURL() {
    return userRecordAddress();
}
QString TamberDataModel::roomURL() {
    return roomAddress();
}
QString TamberDataModel::personalMeetingURL() {
    return personalMeetingAddress();
}

void TamberDataModel::fetchAggregatedUserDetails(SuccessCallback onSuccess, ErrorCallback onError) {
    auto invitation = [onSuccess, onError] {
        fetchPersonalMeetingDescription(
            [onSuccess] {
                saveDataToBundle();
                if (onSuccess)
                    onSuccess();
            },
            [onError](const std::optional<ServiceError>& error) {
                TLOG_DEBUG(
                    QStringLiteral("Error while fetching updated personal meeting description"));
                fail(onError, error);
            });
    };
    auto personal = [invitation, onError] { fetchPersonalMeeting(invitation, onError); };
    auto room = [personal, onError] { fetchRoomRecord(personal, onError); };
    fetchUserRecord(room, onError);
}

void TamberDataModel::fetchRoomSettingDetails(SuccessCallback onSuccess, ErrorCallback onError) {
    fetchRoomRecord(
        [onSuccess, onError] {
            fetchPersonalMeeting(
                [onSuccess] {
                    saveDataToBundle();
                    if (onSuccess)
                        onSuccess();
                },
                onError);
        },
        onError);
}

void TamberDataModel::fetchPersonalMeetingDescription(SuccessCallback onSuccess,
                                                      ErrorCallback onError) {
    ServiceCall::send({QStringLiteral("GET"), meetinDescriptionURL(), std::nullopt, false},
                      [onSuccess, onError](const ServiceReply& reply) {
                          if (const auto rejected = rejectionOf(reply)) {
                              // The error as it is: "(null)" for an empty reply.
                              TLOG_ERROR(ServiceCall::describe(rejected->error));
                              fail(onError, rejected->error);
                              return;
                          }
                          const auto fields = AccountReplyParser::parseDescription(reply.body);
                          if (!fields) {
                              TLOG_ERROR(kUnusableReply);
                              fail(onError, std::nullopt);
                              return;
                          }
                          TamberDataModel* r = sharedData();
                          r->personalMeetingDescription = fields->personalMeetingDescription;
                          // The invitation holds the passcode: its length says enough.
                          TLOG_INFO(QStringLiteral("Invitation text received: %1 characters")
                                        .arg(fields->personalMeetingDescription.toString().size()));
                          saveDataToBundle();
                          if (onSuccess)
                              onSuccess();
                      });
}

void TamberDataModel::updateRoomSettings(SuccessCallback onSuccess, ErrorCallback onError) {
    ServiceCall::Request request;
    request.method = QStringLiteral("PUT");
    request.url = roomAddress();
    request.body = AccountReplyParser::roomUpdateBody(*sharedData());
    request.jsonContentType = true;
    ServiceCall::send(request, [onSuccess, onError](const ServiceReply& reply) {
        TLOG_DEBUG(QStringLiteral("Successful %1").arg(reply.httpStatus));
        // A refusal by status is a failure too: the service did not take the new defaults.
        std::optional<ServiceError> error =
            reply.error ? reply.error : ServiceCall::httpError(reply);
        if (error) {
            TLOG_ERROR(QStringLiteral("Error while updating room settings %1")
                           .arg(ServiceCall::describe(*error)));
            fail(onError, error);
            return;
        }
        if (onSuccess)
            onSuccess();
    });
    // The new defaults are kept even when the service refuses them.
    saveDataToBundle();
}
