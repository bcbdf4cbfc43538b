#pragma once

#include "MeetingRecord.h"

#include <QString>
#include <QTimeZone>

// The plain text a user pastes to invite others to a listed meeting: title, time, the
// attendees' join address, meeting id and (when the meeting has one for attendees) passcode.
// The moderator passcode never goes into it.
namespace MeetingInvitation {

QString text(const MeetingRecord& record, const QTimeZone& zone);
// The meeting id as the service gives it; empty when the record has none.
QString meetingId(const MeetingRecord& record);

} // namespace MeetingInvitation
