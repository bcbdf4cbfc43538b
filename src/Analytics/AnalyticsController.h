#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <optional>

class TamberDataModel;

// Named usage events posted to the statistics endpoint. Fire-and-forget: no caller learns the
// outcome. Call on the main thread. A value that is absent (no client id, no calendar chosen)
// leaves its key out of the envelope or the data object.
class AnalyticsController {
public:
    // Wraps `data` (when given) in the envelope and posts it; obtains an application token
    // first when the record holds none.
    static void sendStats(const QString& event, const std::optional<QVariantMap>& data);

    static void sendAppFirstLaunch();
    static void sendAppHide(const QString& screen);
    static void sendAppFocus(const QString& screen);
    static void sendInitialCalendarSelected();
    static void sendConfigComplete();
    static void sendSignUpClick();
    static void sendJoinMeetingFromTab(const QString& meetingId,
                                       const std::optional<QString>& passcode);
    static void sendStartMeetingFromTab(const QString& meetingId,
                                        const std::optional<QString>& passcode);
    static void sendRefreshSettings(const QString& status);
    static void sendFetchSettings(const QString& status);
    static void sendUpdateSettings(const QString& status);
    static void sendChangeCalendar();
    static void sendCheckForUpdates();
    static void sendSubmitLog(const QString& status);
    static void sendProvideFeedback();
    static void sendContactSupport();
    static void sendSchedule(const QString& status, const std::optional<QString>& moreinfo);
    static void sendEditMeeting(const QString& status, const QVariant& meetingId,
                                const std::optional<QString>& moreinfo);
    static void sendCancelMeeting(const QString& status, const QVariant& meetingId);
    static void sendKeepMeeting();
    static void sendQuitAction(const QString& screen);
    // Runs `then` once the usage events sent so far have had their answer, or after
    // `timeoutMs`, whichever comes first (at once when none is on its way): quitting waits
    // for its own "quit" event this way.
    static void afterPendingEvents(int timeoutMs, std::function<void()> then);
    static constexpr int kQuitWaitMs = 2000;
    // Usage events sent and not yet answered.
    static int pendingEvents();
    static void sendSignOutAction(const QString& screen);
    static void sendFetchMeetingsAction(const QString& status);

    // --- Pure parts, exposed for tests ---
    // "yyyy-MM-dd'T'HH:mm:ss" and the offset as "+hh:mm", or "Z" at UTC.
    static QString timestamp(const QDateTime& at);
    static QJsonObject envelope(const QString& event, const std::optional<QVariantMap>& data,
                                const TamberDataModel& record, const QDateTime& now);
    // The statistics host while the API host is the default one, else the API host.
    static QString statisticsHost(const TamberDataModel& record);
    static QString statsURL(const TamberDataModel& record);
    // "timezone", "locale" and "version" of this machine and build.
    static QVariantMap environmentData();
};
