#pragma once

#include "Models/MeetingRecord.h"

#include <QDate>
#include <QString>
#include <QTimeZone>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

// What a click on a meeting row does.
enum class RowClick {
    None,        // finished meetings, records without an end, unknown sources
    ToggleStrip, // service meetings and drafts: show or hide Join / Edit / Delete
    JoinNow,     // meetings read from Outlook or Calendar: open the join address at once
};

// Everything a meeting row shows, worked out once per list reload so that painting stays
// cheap. Pure: no widgets, the clock and the local zone are parameters.
struct MeetingRowPresentation {
    QString title;    // one line (line breaks become spaces), cut to what a row can show
    QString toolTip;  // the title, cut at kToolTipLength
    QString timeSpan; // "3:00 PM - 4:00 PM CET"; empty without a usable start
    QString status;   // "Draft", "Completed" or empty
    bool recurring = false;
    bool serviceMeeting = false; // has "id": orange side bar
    bool draft = false;          // has "meetingDraftGuid": grey side bar
    RowClick click = RowClick::None;

    static constexpr int kTitleLength = 300;
    static constexpr int kToolTipLength = 1000;

    static MeetingRowPresentation present(const MeetingRecord& record, qint64 nowMs,
                                          const QTimeZone& localZone);

    // "h:mm a" start and end in the local zone (a series: its next occurrence's), then the
    // local zone's abbreviation, or the record's "timezone" abbreviation when the local one is
    // empty.
    static QString timeSpanText(const MeetingRecord& record, const QTimeZone& localZone);
    // A series is complete once its "last" occurrence has ended (never without "last"); a
    // single meeting once its "end" has passed.
    static bool isMeetingComplete(const MeetingRecord& record, qint64 nowMs);
    static bool isRecurring(const MeetingRecord& record);
    // "Draft", "Completed" (at nowMs) or empty.
    static QString statusText(const MeetingRecord& record, qint64 nowMs);
    static RowClick clickAction(const MeetingRecord& record, qint64 nowMs);

    // A calendar meeting's join address: its "meetingDomain" (the web domain when absent or
    // not a host name), "numericMeetingId", and "attendeePasscode" when "addAttendeePasscode".
    static QUrl calendarJoinAddress(const MeetingRecord& record);
    // The options strip's join address: the web domain, "numericMeetingId" and the user's
    // moderator passcode.
    static QUrl stripJoinAddress(const MeetingRecord& record);
    // The identifier usage events carry: "numericMeetingId", else "meetingDraftGuid".
    static QVariant eventMeetingId(const MeetingRecord& record);

    // The day header: "EEE MMM dd, yyyy" in the default locale ("Sat Dec 05, 2026").
    static QString dayHeaderText(const QDate& day);
};
