#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QVariant>
#include <optional>

class TamberDataModel;

// Pure readers of the user, room and personal-meeting replies and the writer of the room
// update body. Every value goes through TamberDataModel::scalarOrAbsent, so a list, map or
// null in a reply never lands in a field. A reply that is not a JSON object gives nothing:
// such a reply is unusable and must not blank what the record already holds.
namespace AccountReplyParser {

// One value of a reply bound for the account record: the field and what the reply gave for
// it (absent when the reply lacks the key).
struct FieldCopy {
    QVariant TamberDataModel::*field;
    QVariant value;
};
using Fields = QList<FieldCopy>;

struct DescriptionFields {
    QVariant personalMeetingDescription; // "participant" -> "create" -> "ICS"
    QJsonObject reply;                   // the whole parsed reply, for the log
};

// The body as a JSON object, or nothing when it is empty, not JSON, or another JSON value.
std::optional<QJsonObject> objectReply(const QByteArray& body);

// The six user fields ("emailId" goes to `email`).
std::optional<Fields> parseUser(const QByteArray& body);
// The twelve room fields ("id" goes to `roomId`).
std::optional<Fields> parseRoom(const QByteArray& body);
// `addAttendeePasscode` and `participantPasscode` (the service's "attendeePasscode").
std::optional<Fields> parsePersonalMeeting(const QByteArray& body);
std::optional<DescriptionFields> parseDescription(const QByteArray& body);

// Writes every value into its field, absent ones included.
void apply(const Fields& fields, TamberDataModel& record);

// The room update body: the seven switches are true only for the exact text "1";
// "encryptionType" is left out when the record holds no value for it.
QByteArray roomUpdateBody(const TamberDataModel& record);

} // namespace AccountReplyParser
