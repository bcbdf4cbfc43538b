#include "AnalyticsController.h"

#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLocale>
#include <QTimeZone>
#include <QTimer>
#include <memory>
#include <utility>

namespace {

const QString kAppName = QStringLiteral("tamber");

// Inserts the value only when it is present: an absent value leaves the key out.
void put(QVariantMap& map, const QString& key, const QVariant& value) {
    const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
    if (scalar.isValid())
        map.insert(key, scalar);
}

void put(QJsonObject& object, const QString& key, const QVariant& value) {
    const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
    if (scalar.isValid())
        object.insert(key, QJsonValue::fromVariant(scalar));
}

QVariantMap withCalendar(QVariantMap data) {
    put(data, QStringLiteral("calendar"), TamberDataModel::sharedData()->calendar);
    return data;
}

QVariantMap single(const QString& key, const QVariant& value) {
    QVariantMap data;
    put(data, key, value);
    return data;
}

void sendStatus(const QString& event, const QString& status) {
    AnalyticsController::sendStats(event, single(QStringLiteral("status"), status));
}

void sendMeetingEvent(const QString& event, const QVariant& meetingId,
                      const std::optional<QString>& passcode, const QString& passcodeKey) {
    QVariantMap data = single(QStringLiteral("meetingId"), meetingId);
    if (passcode)
        data.insert(passcodeKey, *passcode);
    AnalyticsController::sendStats(event, data);
}

// The envelope as the log shows it: every value under a key naming a passcode is replaced.
QJsonObject withoutPasscodes(QJsonObject object) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key().contains(QLatin1String("passcode"), Qt::CaseInsensitive))
            it.value() = QStringLiteral("<passcode>");
        else if (it.value().isObject())
            it.value() = withoutPasscodes(it.value().toObject());
    }
    return object;
}

ServiceCall::Request statsRequest(const QString& event, const std::optional<QVariantMap>& data) {
    const TamberDataModel& record = *TamberDataModel::sharedData();
    const QJsonObject envelope =
        AnalyticsController::envelope(event, data, record, QDateTime::currentDateTime());
    ServiceCall::Request request;
    request.method = QStringLiteral("POST");
    request.url = AnalyticsController::statsURL(record);
    request.body = QJsonDocument(envelope).toJson(QJsonDocument::Compact);
    request.jsonContentType = true;
    request.serverTrust = true;
    TLOG_DEBUG(QStringLiteral("Quokka URL is %1").arg(request.url));
    TLOG_VERBOSE(QString::fromUtf8(
        QJsonDocument(withoutPasscodes(envelope)).toJson(QJsonDocument::Compact)));
    return request;
}

// Usage events still on their way, and who waits for them to be gone.
struct Pending {
    int count = 0;
    QList<std::shared_ptr<std::function<void()>>> waiters;
};

Pending& pending() {
    static Pending state;
    return state;
}

// Runs a waiter once, whether the events or its time limit end the wait first.
void release(const std::shared_ptr<std::function<void()>>& waiter) {
    pending().waiters.removeOne(waiter);
    if (*waiter)
        std::exchange(*waiter, nullptr)();
}

void eventDone() {
    if (--pending().count > 0)
        return;
    for (const auto& waiter : QList(pending().waiters))
        release(waiter);
}

} // namespace

int AnalyticsController::pendingEvents() {
    return pending().count;
}

void AnalyticsController::afterPendingEvents(int timeoutMs, std::function<void()> then) {
    auto waiter = std::make_shared<std::function<void()>>(std::move(then));
    if (pending().count <= 0) {
        (*waiter)();
        return;
    }
    pending().waiters.append(waiter);
    QTimer::singleShot(timeoutMs, QCoreApplication::instance(), [waiter] { release(waiter); });
}

void AnalyticsController::sendStats(const QString& event, const std::optional<QVariantMap>& data) {
    ++pending().count;
    // The application token is fetched first when absent, and renewed once when refused.
    TamberDataModel::sendWithApplicationToken(
        [event, data] { return statsRequest(event, data); },
        [](const ServiceReply& reply) {
            eventDone();
            // The reply itself is not read; only a failed connection is worth a line.
            if (!reply.error)
                return;
            TLOG_DEBUG(QStringLiteral("Error while sending analytics data"));
            TLOG_DEBUG(ServiceCall::describe(*reply.error));
        });
}

QString AnalyticsController::timestamp(const QDateTime& at) {
    const QString local = QLocale::c().toString(at, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    const int offset = at.offsetFromUtc();
    if (offset == 0)
        return local + QLatin1Char('Z');
    const int minutes = qAbs(offset) / 60;
    return local + QStringLiteral("%1%2:%3")
                       .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                       .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                       .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject AnalyticsController::envelope(const QString& event,
                                          const std::optional<QVariantMap>& data,
                                          const TamberDataModel& record, const QDateTime& now) {
    QJsonObject envelope;
    envelope.insert(QStringLiteral("timestamp"), timestamp(now));
    envelope.insert(QStringLiteral("appName"), kAppName);
    put(envelope, QStringLiteral("cid"), record.CID);
    put(envelope, QStringLiteral("sid"), record.SID);
    if (data) {
        QVariantMap withUser = *data;
        put(withUser, QStringLiteral("userId"), record.userId);
        envelope.insert(QStringLiteral("data"), QJsonObject::fromVariantMap(withUser));
    }
    envelope.insert(QStringLiteral("event"), event);
    return envelope;
}

QString AnalyticsController::statisticsHost(const TamberDataModel& record) {
    const QString apiHost = TamberDataModel::textOrNull(record.apiHost);
    return apiHost == BundleInfo::defaultApiHost() ? BundleInfo::statisticsHost() : apiHost;
}

QString AnalyticsController::statsURL(const TamberDataModel& record) {
    return QStringLiteral("https://%1/ridgeapi/v1/quokkastats/app/%2?access_token=%3&sid=%4")
        .arg(statisticsHost(record), kAppName, TamberDataModel::queryValue(record.app_access_token),
             TamberDataModel::queryValue(record.SID));
}

QVariantMap AnalyticsController::environmentData() {
    QVariantMap data;
    put(data, QStringLiteral("timezone"), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    put(data, QStringLiteral("locale"), QLocale::system().uiLanguages().value(0));
    data.insert(QStringLiteral("version"), BundleInfo::version());
    return data;
}

// --- Events ---

void AnalyticsController::sendAppFirstLaunch() {
    QVariantMap data = environmentData();
    put(data, QStringLiteral("CID"), TamberDataModel::sharedData()->CID);
    sendStats(QStringLiteral("app_first_launch"), data);
}

void AnalyticsController::sendAppHide(const QString& screen) {
    sendStats(QStringLiteral("app_hide"), single(QStringLiteral("screen"), screen));
}

void AnalyticsController::sendAppFocus(const QString& screen) {
    sendStats(QStringLiteral("app_focus"), single(QStringLiteral("screen"), screen));
}

void AnalyticsController::sendInitialCalendarSelected() {
    sendStats(QStringLiteral("initial_calendar"), withCalendar(environmentData()));
}

void AnalyticsController::sendConfigComplete() {
    QVariantMap data = withCalendar(environmentData());
    put(data, QStringLiteral("authtype"), TamberDataModel::sharedData()->authenticationType);
    sendStats(QStringLiteral("config_success"), data);
}

void AnalyticsController::sendSignUpClick() {
    sendStats(QStringLiteral("click_signup"), withCalendar(environmentData()));
}

void AnalyticsController::sendJoinMeetingFromTab(const QString& meetingId,
                                                 const std::optional<QString>& passcode) {
    sendMeetingEvent(QStringLiteral("join_meeting_from_tab"), meetingId, passcode,
                     QStringLiteral("passcode"));
}

void AnalyticsController::sendStartMeetingFromTab(const QString& meetingId,
                                                  const std::optional<QString>& passcode) {
    sendMeetingEvent(QStringLiteral("start_meeting_from_tab"), meetingId, passcode,
                     QStringLiteral("passcode"));
}

void AnalyticsController::sendRefreshSettings(const QString& status) {
    sendStatus(QStringLiteral("refresh_settings"), status);
}

void AnalyticsController::sendFetchSettings(const QString& status) {
    sendStatus(QStringLiteral("fetch_settings"), status);
}

void AnalyticsController::sendUpdateSettings(const QString& status) {
    const TamberDataModel& r = *TamberDataModel::sharedData();
    QVariantMap modified;
    put(modified, QStringLiteral("encryptionType"), r.encryptionType);
    for (const auto& [key, member] : TamberDataModel::roomSwitches())
        put(modified, QLatin1String(key), r.*member);
    // The status tells the init, success and error events apart.
    QVariantMap data = single(QStringLiteral("status"), status);
    data.insert(QStringLiteral("modifieddata"), modified);
    sendStats(QStringLiteral("udpate_settings"), data);
}

void AnalyticsController::sendChangeCalendar() {
    sendStats(QStringLiteral("change_calendar"), withCalendar({}));
}

void AnalyticsController::sendCheckForUpdates() {
    sendStats(QStringLiteral("check_for_updates"), QVariantMap());
}

void AnalyticsController::sendSubmitLog(const QString& status) {
    sendStatus(QStringLiteral("submit_log"), status);
}

void AnalyticsController::sendProvideFeedback() {
    sendStats(QStringLiteral("provide_feedback"), QVariantMap());
}

void AnalyticsController::sendContactSupport() {
    sendStats(QStringLiteral("contact_support"), QVariantMap());
}

void AnalyticsController::sendSchedule(const QString& status,
                                       const std::optional<QString>& moreinfo) {
    QVariantMap data = withCalendar(single(QStringLiteral("status"), status));
    if (moreinfo)
        data.insert(QStringLiteral("moreinfo"), *moreinfo);
    sendStats(QStringLiteral("schedule"), data);
}

void AnalyticsController::sendEditMeeting(const QString& status, const QVariant& meetingId,
                                          const std::optional<QString>& moreinfo) {
    QVariantMap data = single(QStringLiteral("meetingId"), meetingId);
    put(data, QStringLiteral("status"), status);
    if (moreinfo)
        data.insert(QStringLiteral("moreinfo"), *moreinfo);
    sendStats(QStringLiteral("edit_meeting"), data);
}

void AnalyticsController::sendCancelMeeting(const QString& status, const QVariant& meetingId) {
    QVariantMap data = single(QStringLiteral("status"), status);
    put(data, QStringLiteral("meetingId"), meetingId);
    sendStats(QStringLiteral("cancel_meeting"), data);
}

void AnalyticsController::sendKeepMeeting() {
    sendStats(QStringLiteral("keep_meeting"), QVariantMap());
}

void AnalyticsController::sendQuitAction(const QString& screen) {
    sendStats(QStringLiteral("quit"), single(QStringLiteral("screen"), screen));
}

void AnalyticsController::sendSignOutAction(const QString& screen) {
    sendStats(QStringLiteral("signout"), single(QStringLiteral("screen"), screen));
}

void AnalyticsController::sendFetchMeetingsAction(const QString& status) {
    sendStatus(QStringLiteral("fetch_meetings"), status);
}
