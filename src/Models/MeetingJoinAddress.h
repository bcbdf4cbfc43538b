#pragma once

#include "MeetingRecord.h"

#include <QString>
#include <QUrl>
#include <QVariant>

// The addresses that join a listed meeting. The meeting row, its options strip, reminders and
// "join the next meeting" all open the same address for the same record.
namespace MeetingJoinAddress {

// A calendar meeting's own address: its "meetingDomain" (the web domain when absent or not a
// host name), "numericMeetingId", and "attendeePasscode" when "addAttendeePasscode".
QUrl forCalendarMeeting(const MeetingRecord& record);
// A service meeting, as its options strip joins it: the web domain, "numericMeetingId" and the
// signed-in user's moderator passcode.
QUrl forServiceMeeting(const MeetingRecord& record);
// What joining the record opens, by its source; empty for drafts, unknown sources and records
// without a meeting id (nothing to join).
QUrl forRecord(const MeetingRecord& record);

// A value as plain text; maps and lists give nothing.
QString textOf(const QVariant& value);

} // namespace MeetingJoinAddress
