#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QVariant>
#include <optional>

class TamberDataModel;

// Pure readers of the user, room and personal-meeting replies and the writer of the room
// update body. Every value goes through TamberDataModel::scalarOrAbsent, so a list, map or
// null in a reply never lands in a field. A reply that is not a JSON object gives nothing:
// such a reply is unusable and must not blank what the record already holds.
namespace AccountReplyParser {

struct UserFields {
    QVariant firstName, lastName, email, profilePicture, timezone, language;
};

struct RoomFields {
    QVariant numericId, personalMeetingId, moderatorPasscode, roomId;
    QVariant publishMeeting, encryptionType, videoBestFit, showAllParticipantsInIcs,
        isModeratorLess, disallowChat, muteParticipantsOnEntry, isLargeMeeting;
};

struct PersonalMeetingFields {
    QVariant addAttendeePasscode, participantPasscode;
};

struct DescriptionFields {
    QVariant personalMeetingDescription; // "participant" -> "create" -> "ICS"
    QJsonObject reply;                   // the whole parsed reply, for the log
};

// The body as a JSON object, or nothing when it is empty, not JSON, or another JSON value.
std::optional<QJsonObject> objectReply(const QByteArray& body);

std::optional<UserFields> parseUser(const QByteArray& body);
std::optional<RoomFields> parseRoom(const QByteArray& body);
std::optional<PersonalMeetingFields> parsePersonalMeeting(const QByteArray& body);
std::optional<DescriptionFields> parseDescription(const QByteArray& body);

void apply(const UserFields& fields, TamberDataModel& record);
void apply(const RoomFields& fields, TamberDataModel& record);
void apply(const PersonalMeetingFields& fields, TamberDataModel& record);

// The room update body: the seven switches are true only for the exact text "1";
// "encryptionType" is left out when the record holds no value for it.
QByteArray roomUpdateBody(const TamberDataModel& record);

} // namespace AccountReplyParser
