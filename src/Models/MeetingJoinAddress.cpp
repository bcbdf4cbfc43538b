#include "MeetingJoinAddress.h"

#include "TamberDataModel.h"

#include <QRegularExpression>

namespace {

// Host names and an optional port: nothing that could change where an address leads.
bool isHostName(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral("\\A[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?(?::[0-9]{1,5})?\\z"));
    return re.match(text).hasMatch();
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
