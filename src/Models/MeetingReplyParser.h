#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Pure readers of the scheduled-meeting list and the contacts reply.
namespace MeetingReplyParser {

// The meeting records of a list reply, or nothing when the body is not a JSON list. Elements
// that are not objects are dropped (counted in `dropped`): every element handed on is a record.
std::optional<QList<QJsonObject>> parseMeetingList(const QByteArray& body, int* dropped = nullptr);

struct Contacts {
    QStringList emails;
    QString failure; // empty on success; then emails may still be empty
};

// The "email" text of every element, in order. A reply that is not a list of objects, or an
// element without an "email" text, fails as a whole and gives no e-mails.
Contacts parseContacts(const QByteArray& body);

} // namespace MeetingReplyParser
