#include "MeetingInvitation.h"

#include "MeetingAggregator.h"
#include "MeetingJoinAddress.h"
#include "TamberDataModel.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <cmath>

namespace {

QString timeLine(const MeetingRecord& record, const QTimeZone& zone) {
    const std::optional<double> start = MeetingAggregator::listedStart(record);
    if (!start)
        return {};
    const QLocale locale;
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(qint64(std::trunc(*start)), zone);
    QString line = locale.toString(from, QStringLiteral("dddd, MMMM d, yyyy h:mm AP"));
    if (const std::optional<double> end = MeetingAggregator::listedEnd(record)) {
        const QDateTime to = QDateTime::fromMSecsSinceEpoch(qint64(std::trunc(*end)), zone);
        line += QStringLiteral(" - ") + locale.toString(to, QStringLiteral("h:mm AP"));
    }
    const QString abbreviation = zone.abbreviation(from);
    if (!abbreviation.isEmpty())
        line += QLatin1Char(' ') + abbreviation;
    return line;
}

} // namespace

QString MeetingInvitation::meetingId(const MeetingRecord& record) {
    return MeetingJoinAddress::textOf(record.value(QStringLiteral("numericMeetingId"))).trimmed();
}

QString MeetingInvitation::text(const MeetingRecord& record, const QTimeZone& zone) {
    QStringList lines;
    const QString title =
        MeetingJoinAddress::textOf(record.value(QStringLiteral("title"))).simplified();
    if (!title.isEmpty())
        lines << title;
    const QString when = timeLine(record, zone);
    if (!when.isEmpty())
        lines << when;
    const QString id = meetingId(record);
    if (!id.isEmpty()) {
        lines << QString();
        // The attendees' address: the record's own domain and attendee passcode.
        lines << QStringLiteral("Join: %1")
                     .arg(MeetingJoinAddress::forCalendarMeeting(record).toString());
        lines << QStringLiteral("Meeting ID: %1").arg(id);
        const bool withPasscode =
            TamberDataModel::booleanReading(record.value(QStringLiteral("addAttendeePasscode")));
        const QString passcode =
            MeetingJoinAddress::textOf(record.value(QStringLiteral("attendeePasscode")));
        if (withPasscode && !passcode.isEmpty())
            lines << QStringLiteral("Passcode: %1").arg(passcode);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
