#include "SimMeetings.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace {

constexpr int kOpenEndedOccurrences = 1000; // series without an end: enough for any test
const QString kCancelled = QStringLiteral("_cancelled");
// Fixture-only: how the list shows a meeting that a service has been seen to send oddly.
// "patternNone": a single meeting with {"recurrenceType": "NONE"}; "noNextStart": a series
// without "nextStart"/"nextEnd".
const QString kListQuirk = QStringLiteral("listQuirk");
const QString kStoredQuirk = QStringLiteral("_listQuirk");

const QStringList& recurrenceTypes() {
    static const QStringList types{QStringLiteral("NONE"), QStringLiteral("DAILY"),
                                   QStringLiteral("WEEKLY"), QStringLiteral("MONTHLY"),
                                   QStringLiteral("YEARLY")};
    return types;
}

const QStringList& encryptionTypes() {
    static const QStringList types{QStringLiteral("NO_ENCRYPTION"),
                                   QStringLiteral("ENCRYPTED_ONLY"),
                                   QStringLiteral("ENCRYPTED_OR_PSTN_ONLY")};
    return types;
}

// "start"/"end" arrive as decimal text ("1700000000000") or as numbers.
bool readMillis(const QJsonValue& v, qint64* out) {
    if (v.isDouble()) {
        *out = v.toInteger(-1);
        return *out >= 0 && double(*out) == v.toDouble();
    }
    if (!v.isString())
        return false;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,15}$"));
    const QString s = v.toString();
    if (!digits.match(s).hasMatch())
        return false;
    *out = s.toLongLong();
    return true;
}

QString idText(const QJsonValue& id) {
    return id.isDouble() ? QString::number(id.toInteger()) : id.toString();
}

QTimeZone zoneOf(const QJsonObject& stored) {
    const QTimeZone tz(stored.value(QStringLiteral("timezone")).toString().toUtf8());
    return tz.isValid() ? tz : QTimeZone::utc();
}

bool weekdayInMask(const QDate& date, int mask) {
    // Sunday 1, Monday 2, ... Saturday 64; Qt counts Monday 1 ... Sunday 7.
    return mask & (1 << (date.dayOfWeek() % 7));
}

QDate nthDate(const QString& type, const QDate& first, int step, int frequency) {
    if (type == QLatin1String("DAILY"))
        return first.addDays(qint64(step) * frequency);
    if (type == QLatin1String("MONTHLY"))
        return first.addMonths(step * frequency);
    return first.addYears(step * frequency); // YEARLY
}

} // namespace

void SimMeetings::clear() {
    m_byUser.clear();
}

bool SimMeetings::isRecurring(const QJsonObject& stored) {
    const QJsonObject p = stored.value(QStringLiteral("recurrencePattern")).toObject();
    const QString type = p.value(QStringLiteral("recurrenceType")).toString();
    return !p.isEmpty() && !type.isEmpty() && type != QLatin1String("NONE");
}

QList<qint64> SimMeetings::occurrenceStarts(const QJsonObject& stored) {
    const qint64 start = stored.value(QStringLiteral("start")).toInteger();
    if (!isRecurring(stored))
        return {start};
    const QJsonObject p = stored.value(QStringLiteral("recurrencePattern")).toObject();
    const QString type = p.value(QStringLiteral("recurrenceType")).toString();
    const int frequency = qMax(1, p.value(QStringLiteral("frequency")).toInt(1));
    const int count = p.value(QStringLiteral("recurrenceCount")).toInt(0);
    const qint64 endDate = p.value(QStringLiteral("endDate")).toInteger(0);
    const int limit = count > 0 ? count : kOpenEndedOccurrences;

    const QTimeZone tz = zoneOf(stored);
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(start, tz);
    const QDate firstDate = first.date();
    const QTime timeOfDay = first.time();

    QList<qint64> out;
    auto accept = [&](const QDate& date) {
        const qint64 ms = QDateTime(date, timeOfDay, tz).toMSecsSinceEpoch();
        if (endDate > 0 && ms > endDate)
            return false;
        out.append(ms);
        return out.size() < limit;
    };

    if (type == QLatin1String("WEEKLY")) {
        int mask = p.value(QStringLiteral("daysOfWeekMask")).toInt(0) & 0x7f;
        if (mask == 0)
            mask = 1 << (firstDate.dayOfWeek() % 7);
        const QDate weekStart = firstDate.addDays(-(firstDate.dayOfWeek() % 7)); // its Sunday
        for (QDate d = firstDate;; d = d.addDays(1)) {
            const qint64 week = weekStart.daysTo(d) / 7;
            if (week % frequency == 0 && weekdayInMask(d, mask) && !accept(d))
                break;
            if (week > qint64(limit) * frequency + 1)
                break;
        }
        return out;
    }
    for (int step = 0;; ++step) {
        if (!accept(nthDate(type, firstDate, step, frequency)))
            break;
    }
    return out;
}

QJsonObject SimMeetings::listForm(const QJsonObject& stored, qint64 nowMs) const {
    QJsonObject out = stored;
    out.remove(kCancelled);
    out.remove(kStoredQuirk);
    const QString quirk = stored.value(kStoredQuirk).toString();
    if (!isRecurring(stored)) {
        out.remove(QStringLiteral("recurrencePattern"));
        if (quirk == QLatin1String("patternNone"))
            out.insert(QStringLiteral("recurrencePattern"),
                       QJsonObject{{QStringLiteral("recurrenceType"), QStringLiteral("NONE")}});
        return out;
    }
    if (quirk == QLatin1String("noNextStart"))
        return out;
    const qint64 duration = stored.value(QStringLiteral("end")).toInteger() -
                            stored.value(QStringLiteral("start")).toInteger();
    QList<qint64> starts = occurrenceStarts(stored);
    const QJsonArray cancelled = stored.value(kCancelled).toArray();
    starts.removeIf([&](qint64 s) { return cancelled.contains(QJsonValue(double(s))); });
    if (starts.isEmpty())
        return out;
    // The next occurrence that has not ended; once the series is over, its final occurrence.
    qint64 next = starts.last();
    for (qint64 s : starts) {
        if (s + duration > nowMs) {
            next = s;
            break;
        }
    }
    out.insert(QStringLiteral("nextStart"), double(next));
    out.insert(QStringLiteral("nextEnd"), double(next + duration));
    const QJsonObject p = stored.value(QStringLiteral("recurrencePattern")).toObject();
    const bool finite = p.value(QStringLiteral("recurrenceCount")).toInt(0) > 0 ||
                        p.value(QStringLiteral("endDate")).toInteger(0) > 0;
    if (finite) {
        out.insert(QStringLiteral("last"),
                   QJsonObject{{QStringLiteral("start"), double(starts.last())},
                               {QStringLiteral("end"), double(starts.last() + duration)}});
    }
    return out;
}

QJsonArray SimMeetings::list(const QString& userId, qint64 nowMs) const {
    QJsonArray out;
    for (const auto& m : m_byUser.value(userId))
        out.append(listForm(m, nowMs));
    return out;
}

int SimMeetings::indexOf(const QString& userId, const QString& meetingId) const {
    const auto& list = m_byUser[userId];
    for (int i = 0; i < list.size(); ++i) {
        if (idText(list[i].value(QStringLiteral("id"))) == meetingId)
            return i;
    }
    return -1;
}

QJsonObject SimMeetings::find(const QString& userId, const QString& meetingId, qint64 nowMs) const {
    if (!m_byUser.contains(userId))
        return {};
    const int i = indexOf(userId, meetingId);
    return i < 0 ? QJsonObject{} : listForm(m_byUser[userId][i], nowMs);
}

QString SimMeetings::validate(const QJsonObject& body, QString* field) {
    auto fail = [field](const char* f, const char* message) {
        *field = QString::fromLatin1(f);
        return QString::fromLatin1(message);
    };
    qint64 start = 0;
    qint64 end = 0;
    if (!readMillis(body.value(QStringLiteral("start")), &start))
        return fail("start", "start must be milliseconds since 1970");
    if (!readMillis(body.value(QStringLiteral("end")), &end))
        return fail("end", "end must be milliseconds since 1970");
    if (end <= start)
        return fail("end", "end must be after start");
    const QJsonValue title = body.value(QStringLiteral("title"));
    if (!title.isString() || title.toString().trimmed().isEmpty())
        return fail("title", "title is required");
    const QJsonValue zone = body.value(QStringLiteral("timezone"));
    if (!zone.isString() || !QTimeZone(zone.toString().toUtf8()).isValid())
        return fail("timezone", "timezone is not a known time-zone name");
    for (const char* text : {"description", "endPointType", "endPointVersion"}) {
        const QJsonValue v = body.value(QLatin1String(text));
        if (!v.isUndefined() && !v.isString())
            return fail(text, "must be text");
    }
    const QJsonValue attendees = body.value(QStringLiteral("attendees"));
    if (!attendees.isUndefined()) {
        if (!attendees.isArray())
            return fail("attendees", "attendees must be a list");
        for (const auto& a : attendees.toArray()) {
            const QString email = a.toObject().value(QStringLiteral("email")).toString();
            if (!email.contains(QLatin1Char('@')) || email.contains(QLatin1Char(' ')))
                return fail("attendees", "every attendee needs a valid email");
        }
    }
    const QJsonValue pattern = body.value(QStringLiteral("recurrencePattern"));
    if (!pattern.isUndefined()) {
        const QJsonObject p = pattern.toObject();
        const QString type = p.value(QStringLiteral("recurrenceType")).toString();
        if (!pattern.isObject() || !recurrenceTypes().contains(type))
            return fail("recurrencePattern", "unknown recurrenceType");
        const int mask = p.value(QStringLiteral("daysOfWeekMask")).toInt(-1);
        if (type == QLatin1String("WEEKLY") && (mask < 1 || mask > 127))
            return fail("recurrencePattern", "a weekly series needs daysOfWeekMask 1-127");
    }
    const QJsonValue options = body.value(QStringLiteral("advancedMeetingOptions"));
    if (!options.isUndefined()) {
        const QJsonValue enc = options.toObject().value(QStringLiteral("encryptionType"));
        if (!options.isObject() ||
            (!enc.isUndefined() && !encryptionTypes().contains(enc.toString())))
            return fail("advancedMeetingOptions", "unknown encryptionType");
    }
    for (const char* flag : {"addAttendeePasscode", "isLargeMeeting"}) {
        const QJsonValue v = body.value(QLatin1String(flag));
        if (!v.isUndefined() && !v.isBool())
            return fail(flag, "must be true or false");
    }
    return {};
}

QJsonObject SimMeetings::normalised(const QJsonObject& body) {
    static const QStringList kept{QStringLiteral("title"),
                                  QStringLiteral("description"),
                                  QStringLiteral("timezone"),
                                  QStringLiteral("attendees"),
                                  QStringLiteral("addAttendeePasscode"),
                                  QStringLiteral("isLargeMeeting"),
                                  QStringLiteral("advancedMeetingOptions"),
                                  QStringLiteral("recurrencePattern"),
                                  QStringLiteral("endPointType"),
                                  QStringLiteral("endPointVersion")};
    QJsonObject out;
    for (const auto& key : kept) {
        if (body.contains(key))
            out.insert(key, body.value(key));
    }
    qint64 ms = 0;
    readMillis(body.value(QStringLiteral("start")), &ms);
    out.insert(QStringLiteral("start"), double(ms));
    readMillis(body.value(QStringLiteral("end")), &ms);
    out.insert(QStringLiteral("end"), double(ms));
    if (!out.contains(QStringLiteral("description")))
        out.insert(QStringLiteral("description"), QString());
    if (!out.contains(QStringLiteral("attendees")))
        out.insert(QStringLiteral("attendees"), QJsonArray());
    if (!out.contains(QStringLiteral("addAttendeePasscode")))
        out.insert(QStringLiteral("addAttendeePasscode"), false);
    if (!isRecurring(out))
        out.remove(QStringLiteral("recurrencePattern"));
    return out;
}

QJsonObject SimMeetings::withNewIdentity(QJsonObject stored) {
    const qint64 id = m_nextId++;
    stored.insert(QStringLiteral("id"), double(id));
    stored.insert(QStringLiteral("numericMeetingId"), QString::number(831000000 + id % 1000000));
    stored.insert(QStringLiteral("attendeePasscode"), QString::number(1000 + id % 9000));
    stored.insert(QStringLiteral("moderatorPasscode"), QString::number(5000 + id % 4000));
    return stored;
}

SimMeetings::Result SimMeetings::create(const QString& userId, const QJsonObject& body,
                                        qint64 nowMs) {
    Result r;
    r.error = validate(body, &r.field);
    if (!r.error.isEmpty())
        return r;
    const QJsonObject stored = withNewIdentity(normalised(body));
    m_byUser[userId].append(stored);
    r.ok = true;
    r.meeting = listForm(stored, nowMs);
    return r;
}

SimMeetings::Result SimMeetings::change(const QString& userId, const QString& meetingId,
                                        const QJsonObject& body, qint64 nowMs) {
    Result r;
    const int i = indexOf(userId, meetingId);
    if (i < 0) {
        r.error = QStringLiteral("No meeting with id %1").arg(meetingId);
        return r;
    }
    r.error = validate(body, &r.field);
    if (!r.error.isEmpty())
        return r;
    QJsonObject& stored = m_byUser[userId][i];
    QJsonObject updated = normalised(body);
    for (const char* key : {"id", "numericMeetingId", "attendeePasscode", "moderatorPasscode"})
        updated.insert(QLatin1String(key), stored.value(QLatin1String(key)));
    // A changed series starts afresh: earlier cancelled occurrences no longer line up.
    stored = updated;
    r.ok = true;
    r.meeting = listForm(stored, nowMs);
    return r;
}

SimMeetings::Result SimMeetings::cancel(const QString& userId, const QString& meetingId,
                                        const QString& originalStart, const QString& originalEnd,
                                        qint64 nowMs) {
    Result r;
    const int i = indexOf(userId, meetingId);
    if (i < 0) {
        r.error = QStringLiteral("No meeting with id %1").arg(meetingId);
        return r;
    }
    auto& list = m_byUser[userId];
    if (originalStart.isEmpty()) {
        r.meeting = listForm(list.takeAt(i), nowMs);
        r.ok = true;
        return r;
    }
    QJsonObject& stored = list[i];
    const qint64 duration = stored.value(QStringLiteral("end")).toInteger() -
                            stored.value(QStringLiteral("start")).toInteger();
    qint64 start = -1;
    qint64 end = -1;
    readMillis(QJsonValue(originalStart), &start);
    readMillis(QJsonValue(originalEnd), &end);
    QJsonArray cancelled = stored.value(kCancelled).toArray();
    const QList<qint64> starts = occurrenceStarts(stored);
    if (!starts.contains(start) || cancelled.contains(QJsonValue(double(start)))) {
        r.field = QStringLiteral("originalStart");
        r.error = QStringLiteral("No occurrence of meeting %1 starts at %2")
                      .arg(meetingId, originalStart);
        return r;
    }
    if (end != start + duration) {
        r.field = QStringLiteral("originalEnd");
        r.error = QStringLiteral("originalEnd does not match the occurrence");
        return r;
    }
    cancelled.append(double(start));
    stored.insert(kCancelled, cancelled);
    r.ok = true;
    r.meeting = listForm(stored, nowMs);
    if (cancelled.size() >= starts.size())
        list.removeAt(i); // nothing left of the series
    return r;
}

bool SimMeetings::addFromFixture(const QString& userId, const QJsonObject& spec,
                                 const QDateTime& now, QString* error) {
    QJsonObject body = spec;
    const QTimeZone tz(spec.value(QStringLiteral("timezone")).toString().toUtf8());
    QDateTime start;
    if (spec.contains(QStringLiteral("startOffsetMinutes"))) {
        const qint64 minutes = spec.value(QStringLiteral("startOffsetMinutes")).toInteger();
        const qint64 base = now.toMSecsSinceEpoch() / 60000 * 60000;
        start = QDateTime::fromMSecsSinceEpoch(base + minutes * 60000, QTimeZone::utc());
    } else {
        const QTime time =
            QTime::fromString(spec.value(QStringLiteral("startTime")).toString(), u"HH:mm");
        const QDate day = now.toTimeZone(tz.isValid() ? tz : QTimeZone::utc())
                              .date()
                              .addDays(spec.value(QStringLiteral("startDay")).toInt());
        start = QDateTime(day, time, tz.isValid() ? tz : QTimeZone::utc());
    }
    const qint64 duration = spec.value(QStringLiteral("durationMinutes")).toInteger(60) * 60000;
    body.insert(QStringLiteral("start"), QString::number(start.toMSecsSinceEpoch()));
    body.insert(QStringLiteral("end"), QString::number(start.toMSecsSinceEpoch() + duration));
    QJsonObject pattern = body.value(QStringLiteral("recurrencePattern")).toObject();
    if (pattern.value(QStringLiteral("recurrenceType")) == QLatin1String("WEEKLY") &&
        pattern.value(QStringLiteral("daysOfWeekMask")).toInt(0) == 0) {
        // Fixture series repeat on the weekday they start on, whatever today is.
        const QDate local = start.toTimeZone(tz.isValid() ? tz : QTimeZone::utc()).date();
        pattern.insert(QStringLiteral("daysOfWeekMask"), 1 << (local.dayOfWeek() % 7));
        body.insert(QStringLiteral("recurrencePattern"), pattern);
    }
    QString field;
    const QString problem = validate(body, &field);
    if (!problem.isEmpty()) {
        *error = QStringLiteral("meeting \"%1\": %2 (%3)")
                     .arg(spec.value(QStringLiteral("title")).toString(), problem, field);
        return false;
    }
    QJsonObject stored = withNewIdentity(normalised(body));
    if (spec.contains(QStringLiteral("id")))
        stored.insert(QStringLiteral("id"), spec.value(QStringLiteral("id")));
    if (spec.contains(kListQuirk))
        stored.insert(kStoredQuirk, spec.value(kListQuirk));
    m_byUser[userId].append(stored);
    return true;
}
