#pragma once

#include "MeetingAggregator.h"
#include "ServiceCall.h"

#include <QList>
#include <QObject>
#include <QVariantList>
#include <functional>
#include <optional>

class CalendarStore;

// One fetch of the upcoming-meetings list: the calendar of the default-calendar choice (read
// first, synchronously), the token check, the service's list and the drafts, merged into day
// buckets. Each finished fetch replaces the list as a whole; when fetches overlap, only the
// latest one started is merged or reported, so no meeting is listed twice. Main thread only.
//
// The owner (the upcoming-meetings page) registers for "REFRESH_UPCOMING_MEETINGS" and calls
// refreshUpcomingMeetings(); the menu calls fetchUpcomingMeetings() without callbacks.
class UpcomingMeetingsFetcher : public QObject {
    Q_OBJECT
public:
    using SuccessCallback = std::function<void()>;
    using ErrorCallback = std::function<void(const std::optional<ServiceError>&)>;

    // Reads calendars through its own CalendarStore unless one is set.
    explicit UpcomingMeetingsFetcher(QObject* parent = nullptr);
    ~UpcomingMeetingsFetcher() override;

    CalendarStore& calendarStore() const { return *m_calendarStore; }
    void setCalendarStore(CalendarStore* store); // not owned; null restores the own one

    // Starts a fetch. The callbacks (either may be empty) belong to this fetch only: a fetch
    // superseded by a later one calls neither. onSuccess runs before meetingsReady.
    void fetchUpcomingMeetings(SuccessCallback onSuccess = {}, ErrorCallback onError = {});
    // The refresh notification's path: usage event "init", then (after the current event) a
    // fetch that logs and reports "success" or "error".
    void refreshUpcomingMeetings();

    bool isFetching() const { return m_fetching; }
    // Usage events for fetches the user asked for; a background fetch sends none.
    void setSendsUsageEvents(bool send) { m_sendsUsageEvents = send; }
    const QList<DayBucket>& meetingDays() const { return m_meetingDays; }

    // The schedule button's title for a default-calendar value; nothing = leave it as it is.
    static std::optional<QString> scheduleButtonTitle(const QVariant& calendar);
    // What the page says when a fetch failed: "Meetings could not be loaded: <reason>."
    static QString failureMessage(const std::optional<ServiceError>& error);
    // A transport failure that disables the schedule button (-1009, -1005, -1001).
    static bool isConnectivityError(const std::optional<ServiceError>& error);

signals:
    void fetchStarted(); // show the spinner, hide the caution button
    // The list is replaced by `days` (empty: show the "no meetings" label). Spinner off.
    void meetingsReady(const QList<DayBucket>& days);
    // Spinner off, caution button with `description` as tooltip; the previous list stays, with
    // `message` (failureMessage) under it. `connectivity`: disable the schedule button.
    void fetchFailed(const QString& description, bool connectivity, const QString& message);

private:
    void mergeAndPublish(quint64 generation, const std::optional<QVariantList>& calendar,
                         const QList<QJsonObject>& service);
    void fail(quint64 generation, const std::optional<ServiceError>& error,
              const ErrorCallback& onError, bool tokenCheck);
    std::optional<QVariantList> readCalendar();
    static bool readsFeeds();
    void mergeFeedMeetings(); // the last service list with the feeds' newest meetings

    CalendarStore* m_calendarStore = nullptr;
    CalendarStore* m_ownCalendarStore = nullptr;
    QList<DayBucket> m_meetingDays;
    std::optional<QList<QJsonObject>> m_lastService;
    quint64 m_generation = 0;
    bool m_fetching = false;
    bool m_sendsUsageEvents = true;
};
