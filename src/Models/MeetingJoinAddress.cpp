#include "MeetingJoinAddress.h"

#include "TamberDataModel.h"

#include <algorithm>

namespace {

bool isAsciiAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
}

// Host names and an optional port: nothing that could change where an address leads. (By hand:
// a pattern here would bring the regular-expression engine into every start for one check.)
bool isHostName(QStringView text) {
    const qsizetype colon = text.indexOf(u':');
    const QStringView host = colon < 0 ? text : text.first(colon);
    if (colon >= 0) {
        const QStringView port = text.sliced(colon + 1);
        if (port.isEmpty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(),
                         [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
            return false;
    }
    if (host.isEmpty() || !isAsciiAlnum(host.front()) || !isAsciiAlnum(host.back()))
        return false;
    return std::all_of(host.begin(), host.end(),
                       [](QChar c) { return isAsciiAlnum(c) || c == u'.' || c == u'-'; });
}

QUrl address(const QString& host, const QVariant& meetingId, const QString& passcode) {
    return QUrl(QStringLiteral("https://%1/%2/%3")
                    .arg(host, TamberDataModel::pathSegment(meetingId),
                         passcode.isEmpty() ? QString() : TamberDataModel::pathSegment(passcode)));
}

} // namespace

QString MeetingJoinAddress::textOf(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    if (value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QVariantList)
        return {};
    return TamberDataModel::urlText(value);
}

QUrl MeetingJoinAddress::forCalendarMeeting(const MeetingRecord& record) {
    const QString domain = textOf(record.value(QStringLiteral("meetingDomain")));
    const QString host = isHostName(domain) ? domain : TamberDataModel::VLRdomain();
    const QString passcode =
        TamberDataModel::booleanReading(record.value(QStringLiteral("addAttendeePasscode")))
            ? textOf(record.value(QStringLiteral("attendeePasscode")))
            : QString();
    return address(host, record.value(QStringLiteral("numericMeetingId")), passcode);
}

QUrl MeetingJoinAddress::forServiceMeeting(const MeetingRecord& record) {
    const QString passcode = textOf(TamberDataModel::sharedData()->moderatorPasscode);
    return address(TamberDataModel::VLRdomain(), record.value(QStringLiteral("numericMeetingId")),
                   passcode);
}

QUrl MeetingJoinAddress::forRecord(const MeetingRecord& record) {
    if (record.has(QStringLiteral("meetingDraftGuid")) ||
        textOf(record.value(QStringLiteral("numericMeetingId"))).trimmed().isEmpty())
        return {};
    const QString type = record.value(QStringLiteral("calendar_entry_type")).toString();
    if (type == QLatin1String("velora"))
        return forServiceMeeting(record);
    if (type == QLatin1String("outlook") || type == QLatin1String("ical"))
        return forCalendarMeeting(record);
    return {};
}
