#pragma once

#include "Models/UpcomingMeetingsFetcher.h"

#include <QDateTime>
#include <QWidget>
#include <functional>

class CalendarStore;
class ProgressIndicator;
class QLabel;
class QPushButton;
class QToolButton;
class UpcomingMeetingsListView;

// The upcoming-meetings page of the menu: the list of meetings by day (or "No upcoming
// meetings" with a Schedule button), the spinner while a fetch runs, a caution button and the
// reason in words with "Try again" when it failed (the previous list stays), and the schedule
// button whose title and action follow the default calendar. Fetching and merging belong to
// UpcomingMeetingsFetcher; this page shows its results and turns clicks into actions.
class UpcomingMeetingsViewController : public QWidget {
    Q_OBJECT
public:
    explicit UpcomingMeetingsViewController(QWidget* parent = nullptr);
    ~UpcomingMeetingsViewController() override;

    void fetchUpcomingMeetings(UpcomingMeetingsFetcher::SuccessCallback onSuccess = {},
                               UpcomingMeetingsFetcher::ErrorCallback onError = {});
    void showScheduleMeetingButtonAction();
    // The default calendar is Outlook: is it installed? Sets the schedule caution button.
    void checkOutlookPresence();

    UpcomingMeetingsFetcher* fetcher() const { return m_fetcher; }
    UpcomingMeetingsListView* unifiedTableView() const { return m_unifiedTableView; }
    QLabel* noMeetingsScheduled() const { return m_noMeetingsScheduled; }
    ProgressIndicator* fetchMeetingProgressIndicator() const {
        return m_fetchMeetingProgressIndicator;
    }
    QToolButton* cautionMessage() const { return m_cautionMessage; }
    QPushButton* scheduleMeetingButton() const { return m_scheduleMeetingButton; }
    QWidget* emptyState() const { return m_emptyState; }
    QPushButton* emptyScheduleButton() const { return m_emptyScheduleButton; }
    QWidget* failureNotice() const { return m_failureNotice; }
    QLabel* failureMessage() const { return m_failureMessage; }
    QPushButton* retryFetchButton() const { return m_retryFetchButton; }
    QToolButton* scheduleCautionButton() const { return m_scheduleCautionButton; }

    // What "now" is for "Completed" and clicks (tests move it).
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock);

private:
    void buildView();
    QWidget* buildBottomBar();
    void fetchStarted();
    void showMeetings(const QList<DayBucket>& days);
    void showFailure(const QString& description, bool connectivity, const QString& message);
    QWidget* buildEmptyState(QWidget* parent);
    QWidget* buildFailureNotice(QWidget* parent);
    void rowPressed(int row);
    CalendarStore& calendarStore() const;

    UpcomingMeetingsFetcher* m_fetcher = nullptr;
    UpcomingMeetingsListView* m_unifiedTableView = nullptr;
    QLabel* m_noMeetingsScheduled = nullptr;
    QWidget* m_listStack = nullptr;
    QWidget* m_emptyState = nullptr;
    QPushButton* m_emptyScheduleButton = nullptr;
    QWidget* m_failureNotice = nullptr;
    QLabel* m_failureMessage = nullptr;
    QPushButton* m_retryFetchButton = nullptr;
    ProgressIndicator* m_fetchMeetingProgressIndicator = nullptr;
    QLabel* m_launchingOutlookWarning = nullptr;
    ProgressIndicator* m_unifiedProgressIndicator = nullptr;
    QToolButton* m_cautionMessage = nullptr;
    QPushButton* m_scheduleMeetingButton = nullptr;
    QToolButton* m_scheduleCautionButton = nullptr;
    Clock m_clock;
};
