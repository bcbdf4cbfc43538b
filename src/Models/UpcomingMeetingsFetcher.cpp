#include "UpcomingMeetingsFetcher.h"

#include "Analytics/AnalyticsController.h"
#include "CalendarMeetingService.h"
#include "Calendars/CalendarFeeds.h"
#include "Calendars/CalendarStore.h"
#include "ErrorText.h"
#include "Logging/Log.h"
#include "MeetingListFeed.h"
#include "Platform/MainQueue.h"
#include "TamberDataModel.h"

#include <QPointer>

UpcomingMeetingsFetcher::UpcomingMeetingsFetcher(QObject* parent)
    : QObject(parent)
    , m_ownCalendarStore(new CalendarStore(nullptr, this)) {
    m_calendarStore = m_ownCalendarStore;
    // Feeds are read in the background: what they bring joins the list without a new fetch.
    connect(&CalendarFeeds::shared(), &CalendarFeeds::meetingsChanged, this,
            &UpcomingMeetingsFetcher::mergeFeedMeetings);
}

bool UpcomingMeetingsFetcher::readsFeeds() {
    return TamberDataModel::sharedData()->calendar.toString() == QLatin1String("ics_calendar");
}

void UpcomingMeetingsFetcher::mergeFeedMeetings() {
    if (m_fetching || !m_lastService || !readsFeeds())
        return;
    m_meetingDays = MeetingAggregator::merge(CalendarFeeds::shared().meetings(), *m_lastService,
                                             TamberDataModel::sharedData()->meetingDrafts);
    emit meetingsReady(m_meetingDays);
}

UpcomingMeetingsFetcher::~UpcomingMeetingsFetcher() = default;

void UpcomingMeetingsFetcher::setCalendarStore(CalendarStore* store) {
    m_calendarStore = store ? store : m_ownCalendarStore;
}

std::optional<QString> UpcomingMeetingsFetcher::scheduleButtonTitle(const QVariant& calendar) {
    const QString choice = calendar.toString();
    if (choice == QStringLiteral("velora_calendar"))
        return QStringLiteral("Schedule Meeting");
    if (choice == QStringLiteral("outlook_calendar"))
        return QStringLiteral("Schedule Meeting with Outlook");
    if (choice == QStringLiteral("apple_calendar"))
        return QStringLiteral("Schedule Meeting with Calendar");
    if (choice == QStringLiteral("ics_calendar"))
        return QStringLiteral("Schedule Meeting"); // feeds are read-only: the service schedules
    return std::nullopt;
}

QString UpcomingMeetingsFetcher::failureMessage(const std::optional<ServiceError>& error) {
    QString reason = QStringLiteral("the service's reply could not be read");
    if (error && error->httpStatus >= 400)
        reason = QStringLiteral("the service answered %1").arg(error->httpStatus);
    else if (error && !error->description.trimmed().isEmpty())
        reason = ErrorText::clause(error->description);
    return QStringLiteral("Meetings could not be loaded: %1.").arg(reason);
}

bool UpcomingMeetingsFetcher::isConnectivityError(const std::optional<ServiceError>& error) {
    return error && error->domain == ServiceCall::kUrlErrorDomain &&
           (error->code == ServiceCall::NotConnectedToInternet ||
            error->code == ServiceCall::NetworkConnectionLost ||
            error->code == ServiceCall::TimedOut);
}

std::optional<QVariantList> UpcomingMeetingsFetcher::readCalendar() {
    const QString choice = TamberDataModel::sharedData()->calendar.toString();
    if (choice == QStringLiteral("apple_calendar"))
        return m_calendarStore->fetchiCalMeetings();
    if (choice == QStringLiteral("outlook_calendar"))
        return m_calendarStore->fetchOutlookMeetings();
    if (readsFeeds()) {
        CalendarFeeds::shared().refresh(); // what changes arrives through meetingsChanged
        return CalendarFeeds::shared().meetings();
    }
    return std::nullopt;
}

void UpcomingMeetingsFetcher::fetchUpcomingMeetings(SuccessCallback onSuccess,
                                                    ErrorCallback onError) {
    // A newer fetch supersedes this one: its replies are then dropped, so two fetches never
    // both land in the list.
    const quint64 generation = ++m_generation;
    m_fetching = true;
    emit fetchStarted();
    if (m_sendsUsageEvents)
        AnalyticsController::sendFetchSettings(QStringLiteral("init"));
    const std::optional<QVariantList> calendar = readCalendar();

    const QPointer<UpcomingMeetingsFetcher> self(this);
    auto current = [self, generation] { return self && self->m_generation == generation; };
    TamberDataModel::validateTokenAndPerformAction(
        [self, current, generation, calendar, onSuccess, onError] {
            if (!current())
                return;
            CalendarMeetingService::fetchUpcomingMeetings(
                [self, current, generation, calendar,
                 onSuccess](const QList<QJsonObject>& meetings) {
                    if (!current())
                        return;
                    MainQueue::async(self, [self, generation, calendar, meetings] {
                        self->mergeAndPublish(generation, calendar, meetings);
                    });
                    if (onSuccess) {
                        if (self->m_sendsUsageEvents)
                            AnalyticsController::sendFetchSettings(QStringLiteral("success"));
                        onSuccess();
                    }
                },
                [self, current, generation, onError](const std::optional<ServiceError>& error) {
                    if (current())
                        self->fail(generation, error, onError, false);
                });
        },
        [self, current, generation, onError](const std::optional<ServiceError>& error) {
            if (current())
                self->fail(generation, error, onError, true);
        });
}

void UpcomingMeetingsFetcher::refreshUpcomingMeetings() {
    AnalyticsController::sendFetchMeetingsAction(QStringLiteral("init"));
    MainQueue::async(this, [this] {
        fetchUpcomingMeetings(
            [] {
                AnalyticsController::sendFetchMeetingsAction(QStringLiteral("success"));
                TLOG_INFO(QStringLiteral("Showing upcoming meetings"));
            },
            [](const std::optional<ServiceError>&) {
                AnalyticsController::sendFetchMeetingsAction(QStringLiteral("error"));
                TLOG_ERROR(QStringLiteral("Error while fetching upcoming meetings."));
            });
    });
}

void UpcomingMeetingsFetcher::mergeAndPublish(quint64 generation,
                                              const std::optional<QVariantList>& calendar,
                                              const QList<QJsonObject>& service) {
    if (generation != m_generation)
        return;
    m_lastService = service;
    // Feed copies parsed while the service answered are newer than those read at the start.
    const QVariantList calendarMeetings =
        readsFeeds() ? CalendarFeeds::shared().meetings() : calendar.value_or(QVariantList{});
    m_meetingDays = MeetingAggregator::merge(calendarMeetings, service,
                                             TamberDataModel::sharedData()->meetingDrafts);
    m_fetching = false;
    MeetingListFeed::shared().publish(m_meetingDays);
    emit meetingsReady(m_meetingDays);
}

void UpcomingMeetingsFetcher::fail(quint64 generation, const std::optional<ServiceError>& error,
                                   const ErrorCallback& onError, bool tokenCheck) {
    if (generation != m_generation)
        return;
    m_fetching = false;
    if (m_sendsUsageEvents)
        AnalyticsController::sendFetchSettings(QStringLiteral("error"));
    emit fetchFailed(error ? error->description : QString(),
                     tokenCheck && isConnectivityError(error), failureMessage(error));
    if (onError)
        onError(error);
    if (tokenCheck && m_sendsUsageEvents)
        AnalyticsController::sendFetchSettings(QStringLiteral("error_validation"));
}
