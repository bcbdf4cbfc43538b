#pragma once

#include "Platform/ScriptHost.h"

#include <QDateTime>
#include <QObject>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

// One event read from the system calendar store.
struct CalendarEvent {
    QDateTime start, end; // invalid when absent
    QString title;
    QString timeZoneName; // IANA name; empty for a floating event
    QString notes, location;
};

// Outlook and Apple Calendar: the readers that list the meetings found in the calendar and the
// creators of the personal-meeting event. Main thread only.
class CalendarStore : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    using ErrorCallback = std::function<void()>;

    // `host` null: the platform's script host.
    explicit CalendarStore(std::unique_ptr<ScriptHost> host = nullptr, QObject* parent = nullptr);
    ~CalendarStore() override;

    void setClock(Clock clock); // "now" for the Calendar reader's window
    ScriptHost& scriptHost() const { return *m_host; }

    // --- Readers: synchronous; nothing when the calendar cannot be read ---
    // Blocks for the script's run, at most kOutlookReadTimeoutMs.
    std::optional<QVariantList> fetchOutlookMeetings();
    // From now to now + 2 days. Linux has no calendar store: nothing.
    std::optional<QVariantList> fetchiCalMeetings();
    static constexpr int kOutlookReadTimeoutMs = 15000;

    // The Outlook reader's result (parsed records) as meeting records; events without a
    // meeting link are dropped.
    static QVariantList arrayFromDescriptor(const QVariant& result);
    // A calendar-store event as a meeting record, or nothing when it lacks a start, end, time
    // zone, title or meeting link.
    static std::optional<QVariantMap> iCalRecord(const CalendarEvent& event);

    // --- Application presence (the Outlook check of the schedule button) ---
    struct AppLookup {
        enum Status { Found, NotFound, Failed } status = NotFound;
        QString location; // when found
        int code = 0;     // when failed
    };
    virtual AppLookup findApplication(const QString& bundleIdentifier) const;

    // --- Creators of the personal-meeting event ---
    // Use the personal meeting's join link and description and the account's e-mail address.
    // The store sends the "schedule" usage events and, on failure, logs the error line
    // ("Error while scheduling outlook meetings." / "Error while scheduling calendar
    // meeting."); `onError` (after scriptFinished(false)) is only for the view: caution button
    // and its tooltip. Without a script host (Linux) both fail this way.
    void scheduleOutlookMeeting(ErrorCallback onError);
    void scheduleCalendarMeeting(ErrorCallback onError);
    // Runs a creation script after the current event; "init" is not sent here.
    // `loggedScript` is what the log shows in its place (no invitation text, no passcode).
    void executeAppleScript(const QString& script, const QString& loggedScript,
                            ErrorCallback onError);

    // "CalDefaultCalendar" of the Calendar preferences (macOS); nothing elsewhere.
    virtual QVariant calendarDefaultCalendar() const;

    // The tooltip of the schedule caution button after a failed Calendar event.
    static QString calendarFailureHint();

signals:
    void outlookReadStarted();           // show the "launching Outlook" warning
    void outlookReadFinished();          // hide it
    void scriptStarted();                // hide the schedule caution, start the spinner
    void scriptFinished(bool succeeded); // stop the spinner; on failure show the caution

private:
    std::unique_ptr<ScriptHost> m_host;
    Clock m_clock;
};
