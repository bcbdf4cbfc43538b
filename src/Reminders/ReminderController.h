#pragma once

#include "MeetingOccurrence.h"
#include "ReminderScheduler.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>

class Notifier;
class ReminderClock;
class UpcomingMeetingsFetcher;

// Reminders, the tray's tooltip and "join the next meeting", all from the last fetched list
// (the menu's fetches and a background fetch every 5 minutes while signed in, and after the
// computer wakes up). Timers run for the next event only: the next reminder, the next minute
// of the tooltip and the next background fetch.
class ReminderController : public QObject {
    Q_OBJECT
public:
    enum class JoinResult { Joined, NotSignedIn, NothingToJoin };

    // More meetings than this due at once share one notification.
    static constexpr int kSeparateNoticesUpTo = 3;
    static constexpr int kBackgroundFetchMs = 5 * 60 * 1000;

    explicit ReminderController(std::unique_ptr<Notifier> notifier, const ReminderClock& clock,
                                QObject* parent = nullptr);
    ~ReminderController() override;

    // Probes the notification service, reads the settings and starts the timers.
    void start();

    JoinResult joinNext();
    // The one-line reason a join was not made ("not signed in", ...); empty for Joined.
    static QString reason(JoinResult result);
    std::optional<MeetingOccurrence> nextToJoin() const;
    QString toolTip() const { return m_toolTip; }
    qint64 nowMs() const;

    // A fetch with the same token check as the menu's; the list arrives through the feed.
    void fetchInBackground();
    // A new list (from any fetch).
    void setMeetingDays(const QList<DayBucket>& days);

    ReminderScheduler& scheduler() { return m_scheduler; }
    bool notificationsAvailable() const { return m_notificationsAvailable; }

signals:
    void toolTipChanged(const QString& toolTip);
    // The grouped notification's "Open Tamber".
    void openRequested();

private:
    void onAvailability(bool available, const QString& why);
    void remind(const QList<MeetingOccurrence>& due);
    void onAction(const QString& tag, const QString& actionKey);
    void withdraw(const QStringList& keys);
    void minuteTick();
    void forgetEndedNotices(qint64 nowMs);
    void armMinuteTick();
    void updateToolTip();
    void signedOut();
    void applySettings();
    bool join(const MeetingOccurrence& occurrence);

    std::unique_ptr<Notifier> m_notifier;
    const ReminderClock& m_clock;
    ReminderScheduler m_scheduler;
    std::unique_ptr<UpcomingMeetingsFetcher> m_fetcher;
    QTimer m_minuteTimer;
    QTimer m_fetchTimer;
    // Wall clock against elapsed time at the last tick: a jump means suspend or a clock change.
    QElapsedTimer m_sinceTick;
    qint64 m_wallAtTick = 0;
    QString m_toolTip;
    bool m_listKnown = false;
    // What the scheduler's occurrences were last built from: the list, and the account's
    // domain and passcode that go into their join addresses.
    QList<DayBucket> m_builtFromDays;
    QStringList m_builtFromAccount;
    bool m_notificationsAvailable = false;
    bool m_fetchFailureLogged = false;
    // Occurrence key -> notification tag, and what each shown notification offers to join.
    QHash<QString, QString> m_tagByKey;
    QHash<QString, QList<MeetingOccurrence>> m_shown;
};
