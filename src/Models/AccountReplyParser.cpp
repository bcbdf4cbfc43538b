#include "AccountReplyParser.h"

#include "TamberDataModel.h"

#include <QJsonDocument>

namespace {

QVariant field(const QJsonObject& reply, const char* key) {
    return TamberDataModel::scalarOrAbsent(reply.value(QLatin1String(key)).toVariant());
}

bool isTextOne(const QVariant& value) {
    return value.typeId() == QMetaType::QString && value.toString() == QLatin1String("1");
}

} // namespace

std::optional<QJsonObject> AccountReplyParser::objectReply(const QByteArray& body) {
    if (body.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<AccountReplyParser::UserFields>
AccountReplyParser::parseUser(const QByteArray& body) {
    const auto reply = objectReply(body);
    if (!reply)
        return std::nullopt;
    UserFields f;
    f.firstName = field(*reply, "firstName");
    f.lastName = field(*reply, "lastName");
    f.email = field(*reply, "emailId");
    f.profilePicture = field(*reply, "profilePicture");
    f.timezone = field(*reply, "timezone");
    f.language = field(*reply, "language");
    return f;
}

std::optional<AccountReplyParser::RoomFields>
AccountReplyParser::parseRoom(const QByteArray& body) {
    const auto reply = objectReply(body);
    if (!reply)
        return std::nullopt;
    RoomFields f;
    f.numericId = field(*reply, "numericId");
    f.personalMeetingId = field(*reply, "personalMeetingId");
    f.moderatorPasscode = field(*reply, "moderatorPasscode");
    f.roomId = field(*reply, "id");
    f.publishMeeting = field(*reply, "publishMeeting");
    f.encryptionType = field(*reply, "encryptionType");
    f.videoBestFit = field(*reply, "videoBestFit");
    f.showAllParticipantsInIcs = field(*reply, "showAllParticipantsInIcs");
    f.isModeratorLess = field(*reply, "isModeratorLess");
    f.disallowChat = field(*reply, "disallowChat");
    f.muteParticipantsOnEntry = field(*reply, "muteParticipantsOnEntry");
    f.isLargeMeeting = field(*reply, "isLargeMeeting");
    return f;
}

std::optional<AccountReplyParser::PersonalMeetingFields>
AccountReplyParser::parsePersonalMeeting(const QByteArray& body) {
    const auto reply = objectReply(body);
    if (!reply)
        return std::nullopt;
    PersonalMeetingFields f;
    f.addAttendeePasscode = field(*reply, "addAttendeePasscode");
    f.participantPasscode = field(*reply, "attendeePasscode");
    return f;
}

std::optional<AccountReplyParser::DescriptionFields>
AccountReplyParser::parseDescription(const QByteArray& body) {
    const auto reply = objectReply(body);
    if (!reply)
        return std::nullopt;
    DescriptionFields f;
    f.reply = *reply;
    // A level that is not an object simply yields no text.
    const QJsonObject create = reply->value(QLatin1String("participant"))
                                   .toObject()
                                   .value(QLatin1String("create"))
                                   .toObject();
    f.personalMeetingDescription = field(create, "ICS");
    return f;
}

void AccountReplyParser::apply(const UserFields& f, TamberDataModel& r) {
    r.firstName = f.firstName;
    r.lastName = f.lastName;
    r.email = f.email;
    r.profilePicture = f.profilePicture;
    r.timezone = f.timezone;
    r.language = f.language;
}

void AccountReplyParser::apply(const RoomFields& f, TamberDataModel& r) {
    r.numericId = f.numericId;
    r.personalMeetingId = f.personalMeetingId;
    r.moderatorPasscode = f.moderatorPasscode;
    r.roomId = f.roomId;
    r.publishMeeting = f.publishMeeting;
    r.encryptionType = f.encryptionType;
    r.videoBestFit = f.videoBestFit;
    r.showAllParticipantsInIcs = f.showAllParticipantsInIcs;
    r.isModeratorLess = f.isModeratorLess;
    r.disallowChat = f.disallowChat;
    r.muteParticipantsOnEntry = f.muteParticipantsOnEntry;
    r.isLargeMeeting = f.isLargeMeeting;
}

void AccountReplyParser::apply(const PersonalMeetingFields& f, TamberDataModel& r) {
    r.addAttendeePasscode = f.addAttendeePasscode;
    r.participantPasscode = f.participantPasscode;
}

QByteArray AccountReplyParser::roomUpdateBody(const TamberDataModel& r) {
    QJsonObject body;
    body.insert(QLatin1String("publishMeeting"), isTextOne(r.publishMeeting));
    if (r.encryptionType.isValid())
        body.insert(QLatin1String("encryptionType"), r.encryptionType.toString());
    body.insert(QLatin1String("videoBestFit"), isTextOne(r.videoBestFit));
    body.insert(QLatin1String("showAllParticipantsInIcs"), isTextOne(r.showAllParticipantsInIcs));
    body.insert(QLatin1String("isModeratorLess"), isTextOne(r.isModeratorLess));
    body.insert(QLatin1String("disallowChat"), isTextOne(r.disallowChat));
    body.insert(QLatin1String("muteParticipantsOnEntry"), isTextOne(r.muteParticipantsOnEntry));
    body.insert(QLatin1String("isLargeMeeting"), isTextOne(r.isLargeMeeting));
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}
