#include "MeetingRowPresentation.h"

#include "Models/MeetingAggregator.h"
#include "Models/MeetingJoinAddress.h"
#include "Models/TamberDataModel.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

namespace {

const QString kEnd = QStringLiteral("end");

// Milliseconds to whole seconds, truncated toward zero, as a local date and time.
std::optional<QDateTime> instant(const std::optional<double>& ms, const QTimeZone& zone) {
    if (!ms)
        return std::nullopt;
    const qint64 seconds = qint64(std::trunc(*ms / 1000.0));
    QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, zone);
    if (!at.isValid())
        return std::nullopt;
    return at;
}

QString clockText(const QDateTime& at) {
    return QLocale().toString(at, QStringLiteral("h:mm AP"));
}

QString oneLine(QString text, int limit) {
    if (text.size() > limit) {
        int cut = limit;
        // Never split a surrogate pair.
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
        text.append(QChar(0x2026));
    }
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar(0x2028) || c == QChar(0x2029))
            c = QLatin1Char(' ');
    }
    return text;
}

QString textOf(const QVariant& value) {
    return MeetingJoinAddress::textOf(value);
}

} // namespace

MeetingRowPresentation MeetingRowPresentation::present(const MeetingRecord& record, qint64 nowMs,
                                                       const QTimeZone& localZone) {
    MeetingRowPresentation row;
    const QString title = textOf(record.value(QStringLiteral("title")));
    row.title = oneLine(title, kTitleLength);
    row.toolTip = title.size() > kToolTipLength ? oneLine(title, kToolTipLength) : title;
    row.timeSpan = timeSpanText(record, localZone);
    row.draft = record.has(QStringLiteral("meetingDraftGuid"));
    row.serviceMeeting = record.has(QStringLiteral("id"));
    row.recurring = isRecurring(record);
    row.status = statusText(record, nowMs);
    row.click = clickAction(record, nowMs);
    return row;
}

QString MeetingRowPresentation::timeSpanText(const MeetingRecord& record,
                                             const QTimeZone& localZone) {
    // A series shows its next occurrence: the first one's times are an hour off after a
    // daylight-saving change.
    const std::optional<QDateTime> start =
        instant(MeetingAggregator::listedStart(record), localZone);
    if (!start)
        return {};
    QString abbreviation = localZone.abbreviation(*start);
    if (abbreviation.isEmpty()) {
        const QByteArray id = textOf(record.value(QStringLiteral("timezone"))).toUtf8();
        // An unknown or malformed name simply has no abbreviation.
        if (!id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id))
            abbreviation = QTimeZone(id).abbreviation(*start);
    }
    const std::optional<QDateTime> end = instant(MeetingAggregator::listedEnd(record), localZone);
    QString text =
        end ? QStringLiteral("%1 - %2").arg(clockText(*start), clockText(*end)) : clockText(*start);
    if (!abbreviation.isEmpty())
        text += QLatin1Char(' ') + abbreviation;
    return text;
}

QString MeetingRowPresentation::statusText(const MeetingRecord& record, qint64 nowMs) {
    if (record.has(QStringLiteral("meetingDraftGuid")))
        return QStringLiteral("Draft");
    if (record.has(kEnd) && isMeetingComplete(record, nowMs))
        return QStringLiteral("Completed");
    return {};
}

bool MeetingRowPresentation::isRecurring(const MeetingRecord& record) {
    return record.isRecurring();
}

bool MeetingRowPresentation::isMeetingComplete(const MeetingRecord& record, qint64 nowMs) {
    const double now = double(nowMs);
    if (isRecurring(record)) {
        const QVariant last = record.value(QStringLiteral("last"));
        if (last.typeId() != QMetaType::QVariantMap)
            return false;
        const std::optional<double> lastEnd = MeetingRecord::numericTime(last.toMap().value(kEnd));
        return lastEnd && now > *lastEnd;
    }
    const std::optional<double> end = record.time(kEnd);
    return end && now > *end;
}

RowClick MeetingRowPresentation::clickAction(const MeetingRecord& record, qint64 nowMs) {
    if (record.has(QStringLiteral("meetingDraftGuid")))
        return RowClick::ToggleStrip;
    if (!record.has(kEnd))
        return RowClick::None;
    const QString type = record.value(QStringLiteral("calendar_entry_type")).toString();
    const bool complete = isMeetingComplete(record, nowMs);
    if (type == QLatin1String("velora"))
        return complete ? RowClick::None : RowClick::ToggleStrip;
    if (type == QLatin1String("outlook") || type == QLatin1String("ical"))
        return complete ? RowClick::None : RowClick::JoinNow;
    return RowClick::None;
}

QUrl MeetingRowPresentation::calendarJoinAddress(const MeetingRecord& record) {
    return MeetingJoinAddress::forCalendarMeeting(record);
}

QUrl MeetingRowPresentation::stripJoinAddress(const MeetingRecord& record) {
    return MeetingJoinAddress::forServiceMeeting(record);
}

QVariant MeetingRowPresentation::eventMeetingId(const MeetingRecord& record) {
    if (record.has(QStringLiteral("numericMeetingId")))
        return record.value(QStringLiteral("numericMeetingId"));
    return record.value(QStringLiteral("meetingDraftGuid"));
}

QString MeetingRowPresentation::dayHeaderText(const QDate& day) {
    return QLocale().toString(day, QStringLiteral("ddd MMM dd, yyyy"));
}
