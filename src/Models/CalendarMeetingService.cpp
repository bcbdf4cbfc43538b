#include "CalendarMeetingService.h"

#include "Logging/Log.h"
#include "MeetingReplyParser.h"
#include "TamberDataModel.h"

#include <QAbstractNetworkCache>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

namespace {

QByteArray compactJson(const QVariantMap& body) {
    return QJsonDocument(QJsonObject::fromVariantMap(body)).toJson(QJsonDocument::Compact);
}

} // namespace

void CalendarMeetingService::fetchUpcomingMeetings(MeetingsCallback onSuccess,
                                                   ErrorCallback onError) {
    // A cached list would hide meetings changed elsewhere.
    if (QAbstractNetworkCache* cache = ServiceCall::network().cache())
        cache->clear();
    ServiceCall::send(
        {QStringLiteral("GET"), TamberDataModel::upcomingMeetingsURL(), std::nullopt, false},
        [onSuccess, onError](const ServiceReply& reply) {
            std::optional<ServiceError> error =
                reply.error ? reply.error : ServiceCall::httpError(reply);
            if (error) {
                TLOG_ERROR(ServiceCall::describe(*error));
                if (onError)
                    onError(error);
                return;
            }
            if (reply.body.isEmpty()) {
                TLOG_ERROR(QStringLiteral("Empty Data"));
                if (onError)
                    onError(std::nullopt);
                return;
            }
            int dropped = 0;
            const auto meetings = MeetingReplyParser::parseMeetingList(reply.body, &dropped);
            if (!meetings) {
                TLOG_ERROR(QStringLiteral("Meeting list reply is not a JSON list"));
                if (onError)
                    onError(std::nullopt);
                return;
            }
            if (dropped > 0)
                TLOG_WARN(QStringLiteral("Ignored %1 meeting list entries that are not objects")
                              .arg(dropped));
            if (onSuccess)
                onSuccess(*meetings);
        });
}

std::optional<ServiceError> CalendarMeetingService::judgeMeetingReply(const ServiceReply& reply) {
    if (reply.error)
        return reply.error;
    return ServiceCall::httpError(reply);
}

void CalendarMeetingService::sendMeetingRequest(ServiceCall::Request request,
                                                SuccessCallback onSuccess, ErrorCallback onError) {
    ServiceCall::send(request, [onSuccess, onError](const ServiceReply& reply) {
        if (const auto error = judgeMeetingReply(reply)) {
            if (onError)
                onError(error);
            return;
        }
        if (onSuccess)
            onSuccess();
    });
}

void CalendarMeetingService::createMeeting(const QVariantMap& body, SuccessCallback onSuccess,
                                           ErrorCallback onError) {
    sendMeetingRequest(
        {QStringLiteral("POST"), TamberDataModel::scheduleMeetingURL(), compactJson(body), true},
        std::move(onSuccess), std::move(onError));
}

void CalendarMeetingService::changeMeeting(const QVariantMap& meeting, const QVariantMap& body,
                                           SuccessCallback onSuccess, ErrorCallback onError) {
    sendMeetingRequest({QStringLiteral("PUT"), TamberDataModel::editScheduleMeetingURL(meeting),
                        compactJson(body), true},
                       std::move(onSuccess), std::move(onError));
}

void CalendarMeetingService::cancelMeeting(const QVariantMap& meeting,
                                           const QString& cancellationMessage, bool nextIfRecurring,
                                           SuccessCallback onSuccess, ErrorCallback onError) {
    sendMeetingRequest(
        {QStringLiteral("DELETE"),
         TamberDataModel::deleteScheduledMeetingURL(meeting, cancellationMessage, nextIfRecurring),
         std::nullopt, false},
        std::move(onSuccess), std::move(onError));
}
