#include "ReminderController.h"

#include "Logging/Log.h"
#include "Models/MeetingJoinAddress.h"
#include "Models/MeetingListFeed.h"
#include "Models/TamberDataModel.h"
#include "Models/UpcomingMeetingsFetcher.h"
#include "Platform/BundleInfo.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Notifier.h"
#include "Platform/UrlOpener.h"
#include "ReminderClock.h"
#include "ReminderPlan.h"
#include "ReminderSettings.h"

#include <QTimeZone>
#include <algorithm>

namespace {

// The wall clock may drift from elapsed time by this much between two ticks before it counts
// as a jump (suspend, a clock set by hand or by NTP).
constexpr qint64 kClockJumpMs = 30 * 1000;
constexpr int kListedInGroup = 5;
constexpr int kJoinActionsInGroup = 10;
// A reminder stays until a few minutes past the start.
constexpr qint64 kShownPastStartMs = 5 * 60 * 1000;
const QString kJoinPrefix = QStringLiteral("join:");

bool signedIn() {
    return TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token);
}

QString span(const MeetingOccurrence& o, qint64 nowMs) {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    return QStringLiteral("%1 - %2").arg(ReminderPlan::timeText(o.startMs, nowMs, zone),
                                         ReminderPlan::timeText(o.endMs, nowMs, zone));
}

int expireMs(const QList<MeetingOccurrence>& due, qint64 nowMs) {
    const qint64 until = due.constFirst().startMs + kShownPastStartMs - nowMs;
    return int(qBound(qint64(30 * 1000), until, qint64(60 * 60 * 1000)));
}

} // namespace

ReminderController::ReminderController(std::unique_ptr<Notifier> notifier,
                                       const ReminderClock& clock, QObject* parent)
    : QObject(parent)
    , m_notifier(std::move(notifier))
    , m_clock(clock)
    , m_scheduler(clock) {
    m_minuteTimer.setSingleShot(true);
    m_minuteTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_minuteTimer, &QTimer::timeout, this, &ReminderController::minuteTick);
    m_fetchTimer.setInterval(kBackgroundFetchMs);
    connect(&m_fetchTimer, &QTimer::timeout, this, &ReminderController::fetchInBackground);

    connect(&m_scheduler, &ReminderScheduler::due, this, &ReminderController::remind);
    connect(&m_scheduler, &ReminderScheduler::withdrawn, this, &ReminderController::withdraw);
    connect(&m_scheduler, &ReminderScheduler::remindedChanged, this,
            [this] { ReminderSettings::setReminded(m_scheduler.reminded()); });
    connect(&MeetingListFeed::shared(), &MeetingListFeed::listFetched, this,
            &ReminderController::setMeetingDays);
    connect(m_notifier.get(), &Notifier::availabilityKnown, this,
            &ReminderController::onAvailability);
    connect(m_notifier.get(), &Notifier::actionInvoked, this, &ReminderController::onAction);

    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("REMINDER_SETTINGS_CHANGED"),
                       [this](const QVariant&) { applySettings(); });
    center.addObserver(this, QStringLiteral("SIGN_OUT_ACTION"),
                       [this](const QVariant&) { signedOut(); });
    for (const char* name : {"PASSWORD_CONFIG_SUCCESSFUL", "SAML_CONFIG_SUCCESSFUL"}) {
        center.addObserver(this, QString::fromLatin1(name),
                           [this](const QVariant&) { fetchInBackground(); });
    }
}

ReminderController::~ReminderController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void ReminderController::start() {
    m_scheduler.setReminded(ReminderSettings::reminded());
    m_notifier->probe();
    m_sinceTick.start();
    m_wallAtTick = m_clock.nowMs();
    armMinuteTick();
    updateToolTip();
    m_fetchTimer.start();
    fetchInBackground();
}

void ReminderController::onAvailability(bool available, const QString& why) {
    m_notificationsAvailable = available;
    ReminderSettings::setNotificationsAvailable(available);
    if (available) {
        TLOG_INFO(QStringLiteral("Reminders through the notification service %1").arg(why));
    } else {
        TLOG_WARN(
            QStringLiteral("No notification service (%1); meeting reminders are off").arg(why));
    }
    applySettings();
}

void ReminderController::applySettings() {
    m_scheduler.setLeadMinutes(m_notificationsAvailable ? ReminderSettings::leadMinutes()
                                                        : std::nullopt);
}

void ReminderController::setMeetingDays(const QList<DayBucket>& days) {
    // Every fetch (each menu open) announces its list, mostly the same as the last one: the
    // occurrences are built again only when the list or the account's join details changed.
    const QStringList account{
        TamberDataModel::VLRdomain(),
        MeetingJoinAddress::textOf(TamberDataModel::sharedData()->moderatorPasscode)};
    if (!m_listKnown || days != m_builtFromDays || account != m_builtFromAccount) {
        m_scheduler.setOccurrences(MeetingOccurrence::fromDays(days));
        m_builtFromDays = days;
        m_builtFromAccount = account;
    } else {
        m_scheduler.evaluate();
    }
    m_listKnown = true;
    updateToolTip();
}

void ReminderController::fetchInBackground() {
    if (!signedIn())
        return;
    if (!m_fetcher) {
        m_fetcher = std::make_unique<UpcomingMeetingsFetcher>();
        m_fetcher->setSendsUsageEvents(false);
    }
    m_fetcher->fetchUpcomingMeetings(
        [this] {
            if (m_fetchFailureLogged)
                TLOG_INFO(QStringLiteral("Background meeting fetch works again"));
            m_fetchFailureLogged = false;
        },
        [this](const std::optional<ServiceError>& error) {
            // The reminders of the last list stay; one line until a fetch works again.
            if (m_fetchFailureLogged)
                return;
            m_fetchFailureLogged = true;
            TLOG_WARN(QStringLiteral("Background meeting fetch failed (%1); keeping the "
                                     "reminders of the last list")
                          .arg(error ? error->description : QStringLiteral("empty reply")));
        });
}

void ReminderController::remind(const QList<MeetingOccurrence>& due) {
    const qint64 now = m_clock.nowMs();
    if (due.size() <= kSeparateNoticesUpTo) {
        for (const MeetingOccurrence& occurrence : due) {
            Notifier::Notice notice;
            notice.tag = occurrence.key;
            notice.summary =
                occurrence.title.isEmpty() ? QStringLiteral("Meeting") : occurrence.title;
            notice.body = span(occurrence, now);
            notice.actions = {{QStringLiteral("default"), QStringLiteral("Join")},
                              {kJoinPrefix + occurrence.key, QStringLiteral("Join")},
                              {QStringLiteral("dismiss"), QStringLiteral("Dismiss")}};
            notice.expireMs = expireMs({occurrence}, now);
            m_tagByKey.insert(occurrence.key, notice.tag);
            m_shown.insert(notice.tag, {occurrence});
            TLOG_INFO(QStringLiteral("Reminder for meeting %1 at %2")
                          .arg(occurrence.meetingId)
                          .arg(occurrence.startMs));
            m_notifier->show(notice);
        }
        return;
    }
    Notifier::Notice notice;
    notice.tag = QStringLiteral("group|") + due.constFirst().key;
    notice.summary = QStringLiteral("%1 meetings are starting").arg(due.size());
    QStringList lines;
    for (const MeetingOccurrence& occurrence : due.mid(0, kListedInGroup))
        lines << QStringLiteral("%1 (%2)").arg(occurrence.title, span(occurrence, now));
    if (due.size() > kListedInGroup)
        lines << QStringLiteral("and %1 more").arg(due.size() - kListedInGroup);
    notice.body = lines.join(QLatin1Char('\n'));
    notice.actions = {
        {QStringLiteral("default"), QStringLiteral("Open %1").arg(BundleInfo::appName())}};
    for (const MeetingOccurrence& occurrence : due.mid(0, kJoinActionsInGroup))
        notice.actions.append(
            {kJoinPrefix + occurrence.key, QStringLiteral("Join %1").arg(occurrence.title)});
    notice.actions.append({QStringLiteral("dismiss"), QStringLiteral("Dismiss")});
    notice.expireMs = expireMs(due, now);
    for (const MeetingOccurrence& occurrence : due)
        m_tagByKey.insert(occurrence.key, notice.tag);
    m_shown.insert(notice.tag, due);
    TLOG_INFO(QStringLiteral("One reminder for %1 meetings starting together").arg(due.size()));
    m_notifier->show(notice);
}

void ReminderController::onAction(const QString& tag, const QString& actionKey) {
    const QList<MeetingOccurrence> shown = m_shown.value(tag);
    if (actionKey == QLatin1String("dismiss")) {
        m_notifier->withdraw(tag);
        return;
    }
    if (actionKey == QLatin1String("default") && shown.size() > 1) {
        emit openRequested();
        return;
    }
    const QString key =
        actionKey.startsWith(kJoinPrefix) ? actionKey.mid(kJoinPrefix.size()) : shown.value(0).key;
    for (const MeetingOccurrence& occurrence : shown) {
        if (occurrence.key == key) {
            TLOG_INFO(
                QStringLiteral("Joining meeting %1 from its reminder").arg(occurrence.meetingId));
            join(occurrence);
            return;
        }
    }
}

void ReminderController::withdraw(const QStringList& keys) {
    for (const QString& key : keys) {
        const QString tag = m_tagByKey.take(key);
        if (tag.isEmpty())
            continue;
        // A grouped notice goes once none of its meetings is left.
        if (std::none_of(m_tagByKey.cbegin(), m_tagByKey.cend(),
                         [&tag](const QString& other) { return other == tag; })) {
            m_shown.remove(tag);
            m_notifier->withdraw(tag);
        }
    }
}

bool ReminderController::join(const MeetingOccurrence& occurrence) {
    return UrlOpener::open(occurrence.joinUrl);
}

qint64 ReminderController::nowMs() const {
    return m_clock.nowMs();
}

std::optional<MeetingOccurrence> ReminderController::nextToJoin() const {
    if (!signedIn())
        return std::nullopt;
    return ReminderPlan::nextToJoin(m_scheduler.occurrences(), m_clock.nowMs());
}

ReminderController::JoinResult ReminderController::joinNext() {
    if (!signedIn())
        return JoinResult::NotSignedIn;
    const std::optional<MeetingOccurrence> next = nextToJoin();
    if (!next)
        return JoinResult::NothingToJoin;
    TLOG_INFO(QStringLiteral("Joining the next meeting %1").arg(next->meetingId));
    join(*next);
    return JoinResult::Joined;
}

QString ReminderController::reason(JoinResult result) {
    switch (result) {
    case JoinResult::Joined:
        return {};
    case JoinResult::NotSignedIn:
        return QStringLiteral("not signed in");
    case JoinResult::NothingToJoin:
        return QStringLiteral("no meeting to join in the next hour");
    }
    return {};
}

void ReminderController::signedOut() {
    m_listKnown = false;
    m_scheduler.setOccurrences({});
    updateToolTip();
}

void ReminderController::minuteTick() {
    const qint64 wall = m_clock.nowMs();
    const qint64 drift = (wall - m_wallAtTick) - m_sinceTick.restart();
    m_wallAtTick = wall;
    if (qAbs(drift) > kClockJumpMs) {
        // Woken up, or the clock was set: reminders look at the new time (stale ones are
        // dropped) and the list is fetched again.
        TLOG_INFO(QStringLiteral("The clock moved by %1 s; checking reminders and the list")
                      .arg(drift / 1000));
        m_scheduler.evaluate();
        fetchInBackground();
    }
    forgetEndedNotices(wall);
    updateToolTip();
    armMinuteTick();
}

void ReminderController::forgetEndedNotices(qint64 nowMs) {
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        const bool over = std::all_of(it->cbegin(), it->cend(),
                                      [nowMs](const auto& o) { return o.hasEnded(nowMs); });
        if (!over) {
            ++it;
            continue;
        }
        for (const MeetingOccurrence& occurrence : std::as_const(*it))
            m_tagByKey.remove(occurrence.key);
        it = m_shown.erase(it);
    }
}

void ReminderController::armMinuteTick() {
    // Just past the next minute, so the tooltip changes with the clock.
    const qint64 now = m_clock.nowMs();
    m_minuteTimer.start(int(60000 - now % 60000 + 50));
}

void ReminderController::updateToolTip() {
    QString text;
    if (signedIn() && m_listKnown)
        text = ReminderPlan::toolTip(m_scheduler.occurrences(), m_clock.nowMs(),
                                     QTimeZone::systemTimeZone());
    if (text != m_toolTip) {
        m_toolTip = text;
        emit toolTipChanged(text);
    }
}
