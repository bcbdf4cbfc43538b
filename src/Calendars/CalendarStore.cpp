#include "CalendarStore.h"

#include "Analytics/AnalyticsController.h"
#include "CalendarScripts.h"
#include "Logging/Log.h"
#include "Models/MeetingLinkRecognizer.h"
#include "Models/TamberDataModel.h"
#include "Platform/MainQueue.h"
#include "Platform/UrlOpener.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <cmath>

namespace {

const QString kEntryType = QStringLiteral("calendar_entry_type");

QString describe(const QVariantMap& map) {
    return QString::fromUtf8(QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact));
}

// A whole number of a script record field, or -1.
int wholeNumber(const QVariant& value) {
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 1e6)
        return -1;
    return int(d);
}

// "dd/MM/yyyy HH:mm" in local time from the record's day, month, year, hours and minutes.
std::optional<double> localTime(const QVariantMap& event, const QString& prefix) {
    auto field = [&](const char* name) {
        return wholeNumber(event.value(prefix + QLatin1String(name)));
    };
    const QDate date(field("year"), field("month"), field("day"));
    const QTime time(field("hours"), field("minutes"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime at(date, time, Qt::LocalTime);
    if (!at.isValid())
        return std::nullopt;
    return double(at.toSecsSinceEpoch()) * 1000.0;
}

QString textOf(const QVariant& value) {
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        return list.isEmpty() ? QString() : textOf(list.first());
    }
    return value.toString();
}

// Copies the link of the first of `texts` that holds one; false when none does.
bool takeLink(QVariantMap& record, const QList<std::optional<QString>>& texts) {
    for (const auto& text : texts) {
        const auto link = MeetingLinkRecognizer::extractMeetingIdAndPasscode(text);
        if (!link)
            continue;
        record.insert(QStringLiteral("numericMeetingId"),
                      link->value(QStringLiteral("numericMeetingId")));
        if (link->contains(QStringLiteral("meetingDomain")))
            record.insert(QStringLiteral("meetingDomain"),
                          link->value(QStringLiteral("meetingDomain")));
        if (link->contains(QStringLiteral("attendeePasscode"))) {
            record.insert(QStringLiteral("addAttendeePasscode"), true);
            record.insert(QStringLiteral("attendeePasscode"),
                          link->value(QStringLiteral("attendeePasscode")));
        }
        return true;
    }
    return false;
}

std::optional<QString> present(const QVariantMap& map, const QString& key) {
    const QVariant v = map.value(key);
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    return textOf(v);
}

// What a logged creation script holds instead of the invitation and the join link: neither
// may reach the log with its passcode.
QString invitationPlaceholder() {
    return QStringLiteral("<invitation text: %1 characters>")
        .arg(TamberDataModel::sharedData()->personalMeetingDescription.toString().size());
}

QString loggableLink() {
    return UrlOpener::loggable(QUrl(TamberDataModel::personalMeetingLocation()));
}

} // namespace

CalendarStore::CalendarStore(std::unique_ptr<ScriptHost> host, QObject* parent)
    : QObject(parent)
    , m_host(host ? std::move(host) : std::make_unique<ScriptHost>())
    , m_clock([] { return QDateTime::currentDateTime(); }) {}

CalendarStore::~CalendarStore() = default;

void CalendarStore::setClock(Clock clock) {
    m_clock = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
}

QString CalendarStore::calendarFailureHint() {
    return QStringLiteral("Please verify if Apple Calendar is configured and necessary "
                          "persmissions are provided to VeloraNetwork");
}

std::optional<QVariantList> CalendarStore::fetchOutlookMeetings() {
    emit outlookReadStarted();
    const QString script = CalendarScripts::outlookReadScript();
    const ScriptResult result = m_host->runSynchronously(script, kOutlookReadTimeoutMs);
    std::optional<QVariant> value;
    if (result.succeeded())
        value = CalendarScripts::parseValue(result.output);
    if (!result.succeeded() || !value) {
        TLOG_DEBUG(QStringLiteral("Error while retrieving outlook events"));
        // The events' notes hold passcodes: only the size of an unreadable result is logged.
        TLOG_DEBUG(
            result.succeeded()
                ? QStringLiteral("unreadable result of %1 characters").arg(result.output.size())
                : describe(result.error));
        TLOG_DEBUG(script);
        emit outlookReadFinished();
        return std::nullopt;
    }
    emit outlookReadFinished();
    return arrayFromDescriptor(*value);
}

QVariantList CalendarStore::arrayFromDescriptor(const QVariant& result) {
    QVariantList records;
    const QVariantList events = result.toList();
    for (const QVariant& item : events) {
        if (item.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap event = item.toMap();
        QVariantMap record;
        if (const auto start = localTime(event, QStringLiteral("s")))
            record.insert(QStringLiteral("start"), *start);
        if (const auto end = localTime(event, QStringLiteral("e")))
            record.insert(QStringLiteral("end"), *end);
        const auto title = present(event, QStringLiteral("title"));
        const auto description = present(event, QStringLiteral("description"));
        const auto location = present(event, QStringLiteral("location"));
        record.insert(QStringLiteral("title"), title.value_or(QString()));
        if (const auto zone = present(event, QStringLiteral("timezone")))
            record.insert(QStringLiteral("timezone"), *zone);
        if (description)
            record.insert(QStringLiteral("description"), *description);
        if (location)
            record.insert(QStringLiteral("location"), *location);
        if (!takeLink(record, {description, location, title}))
            continue;
        record.insert(kEntryType, QStringLiteral("outlook"));
        records.append(record);
    }
    return records;
}

std::optional<QVariantList> CalendarStore::fetchiCalMeetings() {
    // The system calendar store is EventKit, which this build does not link; the list
    // therefore holds the service meetings and drafts only.
    TLOG_DEBUG(
        QStringLiteral("No calendar store to read events from (window %1 to %2)")
            .arg(m_clock().toString(Qt::ISODate), m_clock().addDays(2).toString(Qt::ISODate)));
    return std::nullopt;
}

std::optional<QVariantMap> CalendarStore::iCalRecord(const CalendarEvent& event) {
    if (!event.start.isValid() || !event.end.isValid() || event.timeZoneName.isEmpty() ||
        event.title.isNull())
        return std::nullopt; // floating events (no zone) and incomplete ones are not listed
    QVariantMap record{
        {QStringLiteral("start"), double(event.start.toMSecsSinceEpoch())},
        {QStringLiteral("end"), double(event.end.toMSecsSinceEpoch())},
        {QStringLiteral("title"), event.title},
        {QStringLiteral("timezone"), event.timeZoneName},
        {kEntryType, QStringLiteral("ical")},
    };
    auto text = [](const QString& s) {
        return s.isNull() ? std::nullopt : std::optional<QString>(s);
    };
    if (!takeLink(record, {text(event.notes), text(event.location), event.title}))
        return std::nullopt;
    return record;
}

CalendarStore::AppLookup CalendarStore::findApplication(const QString& bundleIdentifier) const {
#ifdef Q_OS_MACOS
    QProcess mdfind;
    mdfind.start(QStringLiteral("/usr/bin/mdfind"),
                 {QStringLiteral("kMDItemCFBundleIdentifier == '%1'").arg(bundleIdentifier)});
    if (!mdfind.waitForFinished(3000) || mdfind.exitStatus() != QProcess::NormalExit ||
        mdfind.exitCode() != 0) {
        mdfind.kill();
        return {AppLookup::Failed, QString(), mdfind.exitCode() ? mdfind.exitCode() : -1};
    }
    const QString first =
        QString::fromUtf8(mdfind.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
    if (first.isEmpty())
        return {AppLookup::NotFound, QString(), 0};
    return {AppLookup::Found, first, 0};
#else
    Q_UNUSED(bundleIdentifier);
    return {AppLookup::NotFound, QString(), 0};
#endif
}

QVariant CalendarStore::calendarDefaultCalendar() const {
#ifdef Q_OS_MACOS
    const QSettings plist(QDir::homePath() +
                              QStringLiteral("/Library/Preferences/com.apple.iCal.plist"),
                          QSettings::NativeFormat);
    return plist.value(QStringLiteral("CalDefaultCalendar"));
#else
    return {};
#endif
}

void CalendarStore::scheduleOutlookMeeting(ErrorCallback onError) {
    // Where applications can be looked up, a missing Outlook ends here quietly; elsewhere the
    // script runs and fails through the error path, so the user learns why nothing happened.
    if (ScriptHost::isAvailable()) {
        const AppLookup outlook = findApplication(QStringLiteral("com.microsoft.Outlook"));
        if (outlook.status != AppLookup::Found) {
            TLOG_DEBUG(QStringLiteral("There seems to be an error with outlook installation"));
            return;
        }
    }
    const TamberDataModel* model = TamberDataModel::sharedData();
    const QString script = CalendarScripts::outlookCreateScript(
        TamberDataModel::personalMeetingLocation(), model->personalMeetingDescription.toString());
    const QString logged =
        CalendarScripts::outlookCreateScript(loggableLink(), invitationPlaceholder());
    executeAppleScript(script, logged, [onError = std::move(onError)] {
        TLOG_ERROR(QStringLiteral("Error while scheduling outlook meetings."));
        if (onError)
            onError();
    });
}

void CalendarStore::scheduleCalendarMeeting(ErrorCallback onError) {
    const TamberDataModel* model = TamberDataModel::sharedData();
    const QString script = CalendarScripts::calendarCreateScript(
        TamberDataModel::personalMeetingLocation(), model->personalMeetingDescription.toString(),
        CalendarScripts::calendarIdFrom(calendarDefaultCalendar()), model->email.toString());
    const QString logged = CalendarScripts::calendarCreateScript(
        loggableLink(), invitationPlaceholder(),
        CalendarScripts::calendarIdFrom(calendarDefaultCalendar()), model->email.toString());
    AnalyticsController::sendSchedule(QStringLiteral("init"), std::nullopt);
    executeAppleScript(script, logged, [onError = std::move(onError)] {
        TLOG_ERROR(QStringLiteral("Error while scheduling calendar meeting."));
        if (onError)
            onError();
    });
}

void CalendarStore::executeAppleScript(const QString& script, const QString& loggedScript,
                                       ErrorCallback onError) {
    emit scriptStarted();
    MainQueue::async(this, [this, script, loggedScript, onError = std::move(onError)]() mutable {
        TLOG_DEBUG(QStringLiteral("Apple script being executed is %1").arg(loggedScript));
        m_host->run(script, [this, onError = std::move(onError)](const ScriptResult& result) {
            if (result.succeeded()) {
                emit scriptFinished(true);
                AnalyticsController::sendSchedule(QStringLiteral("success"), std::nullopt);
                return;
            }
            const QString error = describe(result.error);
            TLOG_DEBUG(error);
            AnalyticsController::sendSchedule(QStringLiteral("error"), std::nullopt);
            emit scriptFinished(false);
            if (onError)
                onError();
            // Again after the caller's error line, so the cause stands next to it in the log.
            TLOG_DEBUG(error);
        });
    });
}
