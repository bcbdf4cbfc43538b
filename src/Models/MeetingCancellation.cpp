#include "MeetingCancellation.h"

#include "Analytics/AnalyticsController.h"
#include "CalendarMeetingService.h"
#include "Logging/Log.h"
#include "MeetingDraftStore.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "TamberDataModel.h"

#include <QCoreApplication>

MeetingCancellation::MeetingCancellation(const QVariantMap& meeting, const QString& message,
                                         bool nextIfRecurring)
    // Parented to the application only so that one whose token check never answers (sign-in
    // took over) is still released at exit.
    : QObject(QCoreApplication::instance())
    , m_meeting(meeting)
    , m_message(message)
    , m_nextIfRecurring(nextIfRecurring) {}

MeetingCancellation* MeetingCancellation::start(const QVariantMap& meeting, const QString& message,
                                                bool nextIfRecurring) {
    auto* cancellation = new MeetingCancellation(meeting, message, nextIfRecurring);
    AnalyticsController::sendCancelMeeting(QStringLiteral("init"), cancellation->meetingId());
    // Like every other write: an expired token is renewed first instead of being refused.
    TamberDataModel::validateTokenAndPerformAction(
        [cancellation] { cancellation->send(); },
        [cancellation](const std::optional<ServiceError>& error) { cancellation->fail(error); });
    return cancellation;
}

void MeetingCancellation::keepMeeting() {
    AnalyticsController::sendKeepMeeting();
    NotificationCenter::defaultCenter().post(QStringLiteral("CLOSE_DELETE_MEETING"));
}

QString MeetingCancellation::failureText(const std::optional<ServiceError>& error) {
    if (!error || error->description.trimmed().isEmpty())
        return QStringLiteral("The meeting was not cancelled. Please try again.");
    // One line: a service message may hold line breaks.
    const QString reason = error->description.simplified();
    return QStringLiteral("The meeting was not cancelled: %1").arg(reason);
}

QVariant MeetingCancellation::meetingId() const {
    return m_meeting.value(QStringLiteral("numericMeetingId"));
}

void MeetingCancellation::send() {
    CalendarMeetingService::cancelMeeting(
        m_meeting, m_message, m_nextIfRecurring, [this] { succeed(); },
        [this](const std::optional<ServiceError>& error) { fail(error); });
}

void MeetingCancellation::succeed() {
    updateMeetingDraftsAsPerDeletedMeeting();
    AnalyticsController::sendCancelMeeting(QStringLiteral("success"), meetingId());
    emit succeeded();
    letOthersKnowThatMeetingWasDeleted();
    deleteLater();
}

void MeetingCancellation::fail(const std::optional<ServiceError>& error) {
    AnalyticsController::sendCancelMeeting(QStringLiteral("error"), meetingId());
    TLOG_DEBUG(QStringLiteral("Error while deleting meeting %1").arg(ServiceCall::describe(error)));
    emit failed(failureText(error));
    deleteLater();
}

void MeetingCancellation::updateMeetingDraftsAsPerDeletedMeeting() {
    const int detached = MeetingDraftStore::detachFrom(m_meeting);
    if (detached > 0)
        TLOG_INFO(QStringLiteral("Detached %1 drafts from the cancelled meeting").arg(detached));
}

void MeetingCancellation::letOthersKnowThatMeetingWasDeleted() {
    MainQueue::async([] {
        keepMeeting();
        NotificationCenter::defaultCenter().post(QStringLiteral("REFRESH_UPCOMING_MEETINGS"));
    });
}
