// libFuzzer target: the user, room, personal-meeting, invitation, meeting-list and contacts
// readers must take any byte sequence without crashing, and keep their promises: no null,
// list or map in a record field; a failed contacts reply gives no e-mails. The meetings of a
// list reply then go through the day-bucket merge, which places or skips each of them.
#include "Models/AccountReplyParser.h"
#include "Models/MeetingAggregator.h"
#include "Models/MeetingReplyParser.h"
#include "Models/TamberDataModel.h"

#include <QByteArray>
#include <QCoreApplication>
#include <cstdlib>

namespace {

void requireScalar(const QVariant& value) {
    if (value.isValid() && !TamberDataModel::scalarOrAbsent(value).isValid())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const auto parse : {AccountReplyParser::parseUser, AccountReplyParser::parseRoom,
                             AccountReplyParser::parsePersonalMeeting}) {
        if (const auto fields = parse(body))
            for (const AccountReplyParser::FieldCopy& copy : *fields)
                requireScalar(copy.value);
    }
    if (const auto description = AccountReplyParser::parseDescription(body))
        requireScalar(description->personalMeetingDescription);

    if (const auto meetings = MeetingReplyParser::parseMeetingList(body)) {
        qsizetype placed = 0;
        for (const DayBucket& day : MeetingAggregator::merge({}, *meetings, {})) {
            placed += day.meetings.size();
            for (const MeetingRecord& m : day.meetings)
                if (!MeetingAggregator::placementTime(m) || !m.isService())
                    std::abort();
        }
        if (placed > meetings->size())
            std::abort();
    }
    const MeetingReplyParser::Contacts contacts = MeetingReplyParser::parseContacts(body);
    if (!contacts.failure.isEmpty() && !contacts.emails.isEmpty())
        std::abort();
    return 0;
}
