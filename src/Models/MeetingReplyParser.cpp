#include "MeetingReplyParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<QJsonArray> arrayReply(const QByteArray& body) {
    if (body.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return document.array();
}

} // namespace

std::optional<QList<QJsonObject>> MeetingReplyParser::parseMeetingList(const QByteArray& body,
                                                                       int* dropped) {
    const auto reply = arrayReply(body);
    if (!reply)
        return std::nullopt;
    QList<QJsonObject> meetings;
    meetings.reserve(reply->size());
    int skipped = 0;
    for (const QJsonValue& element : *reply) {
        if (element.isObject())
            meetings.append(element.toObject()); // shares the parsed object, copies nothing
        else
            ++skipped;
    }
    if (dropped)
        *dropped = skipped;
    return meetings;
}

MeetingReplyParser::Contacts MeetingReplyParser::parseContacts(const QByteArray& body) {
    Contacts result;
    const auto reply = arrayReply(body);
    if (!reply) {
        result.failure = body.isEmpty() ? QStringLiteral("empty reply")
                                        : QStringLiteral("reply is not a JSON list");
        return result;
    }
    for (qsizetype i = 0; i < reply->size(); ++i) {
        const QJsonValue email = reply->at(i).toObject().value(QLatin1String("email"));
        if (!email.isString()) {
            result.emails.clear();
            result.failure = QStringLiteral("element %1 has no \"email\" text").arg(i);
            return result;
        }
        result.emails.append(email.toString());
    }
    return result;
}
