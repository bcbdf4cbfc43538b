// The contacts of the signed-in user, for address completion of attendees.
#include "Logging/Log.h"
#include "MeetingReplyParser.h"
#include "ServiceCall.h"
#include "TamberDataModel.h"

namespace {

// The e-mails of a contacts reply; a failure of any kind gives none and one debug line.
QStringList contactEmails(const ServiceReply& reply) {
    QString failure;
    QStringList emails;
    if (const auto error = reply.error ? reply.error : ServiceCall::httpError(reply)) {
        failure = QStringLiteral("%1 (%2)").arg(error->description).arg(error->code);
    } else {
        auto contacts = MeetingReplyParser::parseContacts(reply.body);
        failure = contacts.failure;
        emails = std::move(contacts.emails);
    }
    if (!failure.isEmpty()) {
        TLOG_DEBUG(QStringLiteral("error while fetching contacts %1").arg(failure));
        return {};
    }
    return emails;
}

} // namespace

void TamberDataModel::fetchContacts(std::function<void(const QStringList& emails)> completion) {
    ServiceCall::send({QStringLiteral("GET"), fetchContactsURL(), std::nullopt, false},
                      [completion](const ServiceReply& reply) {
                          const QStringList emails = contactEmails(reply);
                          if (completion)
                              completion(emails);
                      });
}
