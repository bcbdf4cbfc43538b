#pragma once

#include "ServiceCall.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

// The service's scheduled meetings: the list, and the senders of create, change and cancel.
// Callbacks run on the main thread and may be empty.
class CalendarMeetingService {
public:
    using MeetingsCallback = std::function<void(const QList<QJsonObject>& meetings)>;
    using SuccessCallback = std::function<void()>;
    using ErrorCallback = std::function<void(const std::optional<ServiceError>&)>;

    // Always asks the service afresh. The success callback gets the meeting records (objects);
    // an error status, an empty body or a reply that is not a JSON list ends in the error
    // callback (with the error, or nothing for an unusable body). The caller validates the
    // user token first.
    static void fetchUpcomingMeetings(MeetingsCallback onSuccess, ErrorCallback onError);

    // Create (POST), change (PUT to the meeting's "id") and cancel (DELETE) a meeting. The
    // body is the request's JSON object. A transport error or an HTTP status >= 400 is a
    // failure; any other reply is a success and its body is not read.
    static void createMeeting(const QVariantMap& body, SuccessCallback onSuccess,
                              ErrorCallback onError);
    static void changeMeeting(const QVariantMap& meeting, const QVariantMap& body,
                              SuccessCallback onSuccess, ErrorCallback onError);
    static void cancelMeeting(const QVariantMap& meeting, const QString& cancellationMessage,
                              bool nextIfRecurring, SuccessCallback onSuccess,
                              ErrorCallback onError);

    // The outcome of a create, change or cancel reply: nothing on success, else the error.
    static std::optional<ServiceError> judgeMeetingReply(const ServiceReply& reply);

private:
    static void sendMeetingRequest(ServiceCall::Request request, SuccessCallback onSuccess,
                                   ErrorCallback onError);
};
