#include "MeetingRequestBuilder.h"

#include "SchedulerTimes.h"
#include "SchedulerValidation.h"

namespace {

QVariantList emailEntries(const QStringList& addresses) {
    QVariantList entries;
    for (const QString& address : addresses) {
        entries.append(QVariantMap{{QStringLiteral("email"), address}});
    }
    return entries;
}

QVariantMap noRepetition() {
    return {{QStringLiteral("recurrenceCount"), 0},
            {QStringLiteral("daysOfWeekMask"), 0},
            {QStringLiteral("frequency"), 0},
            {QStringLiteral("recurrenceType"), QStringLiteral("NONE")},
            {QStringLiteral("weekOfMonth"), QStringLiteral("NONE")},
            {QStringLiteral("monthOfYear"), QStringLiteral("NONE")}};
}

} // namespace

QString MeetingRequestBuilder::title(const SchedulerForm& form) {
    return form.title.isEmpty() ? form.titlePlaceholder : form.title;
}

QVariantMap MeetingRequestBuilder::recurrencePattern(const SchedulerForm& form, bool forDraft) {
    const bool weeklyWithoutDay =
        form.repetition == SchedulerForm::kWeekly && (form.daysOfWeekMask & 0x7f) == 0;
    if (form.repetition == 0 || (forDraft && weeklyWithoutDay)) {
        return noRepetition();
    }
    return {{QStringLiteral("daysOfWeekMask"), form.daysOfWeekMask & 0x7f},
            {QStringLiteral("frequency"), 1},
            {QStringLiteral("recurrenceType"), form.repetitionType}};
}

QJsonObject MeetingRequestBuilder::body(const SchedulerForm& form, const QString& version) {
    QVariantMap body{
        {QStringLiteral("start"), SchedulerTimes::millisText(form.startMs)},
        {QStringLiteral("end"), SchedulerTimes::millisText(form.endMs)},
        {QStringLiteral("description"), form.notes},
        {QStringLiteral("endPointVersion"), version},
        {QStringLiteral("title"), title(form)},
        {QStringLiteral("timezone"), form.timeZone},
        {QStringLiteral("endPointType"), QStringLiteral("Tamber")},
        {QStringLiteral("isLargeMeeting"), form.options.isLargeMeeting},
        {QStringLiteral("addAttendeePasscode"), form.requirePasscode},
        {QStringLiteral("recurrencePattern"), recurrencePattern(form, false)},
    };
    if (form.intermediatePublishMeeting != -1) {
        body.insert(QStringLiteral("advancedMeetingOptions"),
                    form.options.requestOptions(form.intermediatePublishMeeting));
    }
    if (!form.attendees.isEmpty()) {
        body.insert(QStringLiteral("attendees"), emailEntries(form.attendees));
    }
    return QJsonObject::fromVariantMap(body);
}

QVariantList MeetingRequestBuilder::attendeeParts(const QString& text) {
    QStringList parts;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString address = SchedulerValidation::trimmed(part);
        if (!address.isEmpty()) {
            parts.append(address);
        }
    }
    return emailEntries(parts);
}

QVariantMap MeetingRequestBuilder::draft(const SchedulerForm& form, QVariantMap stored,
                                         const QVariantMap& meeting, const QString& guid,
                                         bool withOptions) {
    for (const QString& key : {QStringLiteral("id"), QStringLiteral("numericMeetingId")}) {
        if (meeting.contains(QStringLiteral("id")) && meeting.contains(key)) {
            stored.insert(key, meeting.value(key));
        }
    }
    stored.insert(QStringLiteral("meetingDraftGuid"), guid);
    stored.insert(QStringLiteral("title"), title(form));
    const QVariantList attendees = attendeeParts(form.attendeesText);
    if (!attendees.isEmpty()) {
        stored.insert(QStringLiteral("attendees"), attendees);
    } else {
        stored.remove(QStringLiteral("attendees"));
    }
    stored.insert(QStringLiteral("description"), form.notes);
    stored.insert(QStringLiteral("timezone"), form.timeZone);
    stored.insert(QStringLiteral("start"), SchedulerTimes::millisText(form.startMs));
    stored.insert(QStringLiteral("end"), SchedulerTimes::millisText(form.endMs));
    stored.insert(QStringLiteral("addAttendeePasscode"), form.requirePasscode);
    stored.insert(QStringLiteral("recurrencePattern"), recurrencePattern(form, true));
    if (withOptions) {
        stored.insert(QStringLiteral("advancedMeetingOptions"), form.options.draftOptions());
    }
    return stored;
}

int MeetingRequestBuilder::daysOfWeekMask(const bool (&days)[7]) {
    int mask = 0;
    for (int day = 0; day < 7; ++day) {
        if (days[day]) {
            mask |= 1 << day;
        }
    }
    return mask;
}

bool MeetingRequestBuilder::hasDay(int mask, int day) {
    return day >= 0 && day < 7 && (mask & (1 << day)) != 0;
}
