#include "AccountReplyParser.h"

#include "TamberDataModel.h"

#include <QJsonDocument>
#include <span>

namespace {

using Record = TamberDataModel;

// Which reply key fills which record field.
using KeyField = Record::KeyedField;

constexpr KeyField kUserKeys[] = {
    {"firstName", &Record::firstName}, {"lastName", &Record::lastName},
    {"emailId", &Record::email},       {"profilePicture", &Record::profilePicture},
    {"timezone", &Record::timezone},   {"language", &Record::language},
};

// With the seven room switches (Record::roomSwitches()).
constexpr KeyField kRoomKeys[] = {
    {"numericId", &Record::numericId},
    {"personalMeetingId", &Record::personalMeetingId},
    {"moderatorPasscode", &Record::moderatorPasscode},
    {"id", &Record::roomId},
    {"encryptionType", &Record::encryptionType},
};

constexpr KeyField kPersonalMeetingKeys[] = {
    {"addAttendeePasscode", &Record::addAttendeePasscode},
    {"attendeePasscode", &Record::participantPasscode},
};

QVariant field(const QJsonObject& reply, const char* key) {
    return Record::scalarOrAbsent(reply.value(QLatin1String(key)).toVariant());
}

std::optional<AccountReplyParser::Fields>
read(const QByteArray& body, std::initializer_list<std::span<const KeyField>> tables) {
    const auto reply = AccountReplyParser::objectReply(body);
    if (!reply)
        return std::nullopt;
    AccountReplyParser::Fields fields;
    for (const auto& table : tables)
        for (const auto& [key, member] : table)
            fields.append({member, field(*reply, key)});
    return fields;
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

std::optional<AccountReplyParser::Fields> AccountReplyParser::parseUser(const QByteArray& body) {
    return read(body, {kUserKeys});
}

std::optional<AccountReplyParser::Fields> AccountReplyParser::parseRoom(const QByteArray& body) {
    return read(body, {kRoomKeys, Record::roomSwitches()});
}

std::optional<AccountReplyParser::Fields>
AccountReplyParser::parsePersonalMeeting(const QByteArray& body) {
    return read(body, {kPersonalMeetingKeys});
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

void AccountReplyParser::apply(const Fields& fields, TamberDataModel& record) {
    for (const FieldCopy& copy : fields)
        record.*copy.field = copy.value;
}

QByteArray AccountReplyParser::roomUpdateBody(const TamberDataModel& r) {
    QJsonObject body;
    for (const auto& [key, member] : Record::roomSwitches())
        body.insert(QLatin1String(key), isTextOne(r.*member));
    if (r.encryptionType.isValid())
        body.insert(QLatin1String("encryptionType"), r.encryptionType.toString());
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}
