#include "IcsFeedParser.h"

#include "Models/MeetingLinkRecognizer.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <algorithm>
#include <libical/ical.h>
#include <memory>

namespace IcsFeedParser {
namespace {

constexpr qint64 kDayMs = 86400000;

// How a property's wall-clock time maps to an instant.
struct TimeBasis {
    icaltimezone* zone = nullptr; // null: floating (local wall clock), or UTC when `utc`
    bool utc = false;
    QString name; // the IANA identifier shown with the meeting
};

qint64 localMs(const icaltimetype& t, bool dateOnly) {
    const QDate date(t.year, t.month, t.day);
    if (dateOnly)
        return date.startOfDay().toMSecsSinceEpoch();
    return QDateTime(date, QTime(t.hour, t.minute, t.second), Qt::LocalTime).toMSecsSinceEpoch();
}

// All-day values are local days, whatever zone they name.
qint64 msOf(const icaltimetype& t, const TimeBasis& basis) {
    if (t.is_date)
        return localMs(t, true);
    if (basis.utc)
        return qint64(icaltime_as_timet_with_zone(t, icaltimezone_get_utc_timezone())) * 1000;
    if (basis.zone)
        return qint64(icaltime_as_timet_with_zone(t, basis.zone)) * 1000;
    return localMs(t, false);
}

// `ms` as a floating wall-clock time of `basis` (what the recurrence iterator works in).
icaltimetype wallClockOf(qint64 ms, const TimeBasis& basis, bool dateOnly) {
    icaltimetype t;
    if (basis.zone || basis.utc) {
        t = icaltime_from_timet_with_zone(time_t(ms / 1000), 0,
                                          basis.utc ? icaltimezone_get_utc_timezone() : basis.zone);
    } else {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms).toLocalTime();
        t = icaltime_null_time();
        t.year = local.date().year();
        t.month = local.date().month();
        t.day = local.date().day();
        t.hour = local.time().hour();
        t.minute = local.time().minute();
        t.second = local.time().second();
    }
    t.zone = nullptr;
    if (dateOnly) {
        t.is_date = 1;
        t.hour = t.minute = t.second = 0;
    }
    return t;
}

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

class Reader {
public:
    Reader(const Options& options, Result& result)
        : m_options(options)
        , m_result(result) {}

    void read(icalcomponent* root) {
        m_root = root;
        QList<icalcomponent*> masters, overrides;
        forEachEvent(root, [&](icalcomponent* event) {
            const bool isOverride =
                icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr;
            (isOverride ? overrides : masters).append(event);
        });
        // An override replaces its occurrence in the series, also when it is itself left out.
        for (icalcomponent* event : overrides) {
            icalproperty* id = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
            const icaltimetype at = icalproperty_get_recurrenceid(id);
            m_overridden[uidOf(event)].insert(msOf(at, basisOf(id, at)));
            readEvent(event, false);
        }
        for (icalcomponent* event : masters)
            readEvent(event, true);
        finish();
    }

private:
    template <typename F> void forEachEvent(icalcomponent* root, F visit) {
        if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT) {
            visit(root);
            return;
        }
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            if (kind == ICAL_VEVENT_COMPONENT)
                visit(c);
            else if (kind == ICAL_VCALENDAR_COMPONENT)
                forEachEvent(c, visit);
        }
    }

    static QByteArray uidOf(icalcomponent* event) {
        const char* uid = icalcomponent_get_uid(event);
        return uid ? QByteArray(uid) : QByteArray();
    }

    void warnOnce(const QString& warning) {
        if (!m_result.warnings.contains(warning))
            m_result.warnings.append(warning);
    }

    TimeBasis basisOf(icalproperty* property, const icaltimetype& t) {
        if (icaltime_is_utc(t))
            return {nullptr, true, QStringLiteral("UTC")};
        icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
        if (!tzid)
            return {nullptr, false, QString::fromUtf8(QTimeZone::systemTimeZoneId())};
        const QByteArray id = icalparameter_get_tzid(tzid);
        auto cached = m_zones.constFind(id);
        if (cached == m_zones.constEnd())
            cached = m_zones.insert(id, resolveZone(id));
        return *cached;
    }

    // The feed's own VTIMEZONE, else the system's zone of that name (IANA or Windows); unknown
    // names are read as UTC.
    TimeBasis resolveZone(const QByteArray& id) {
        const QString name = QString::fromUtf8(id);
        QString iana = QTimeZone::isTimeZoneIdAvailable(id)
                           ? name
                           : QString::fromUtf8(QTimeZone::windowsIdToDefaultIanaId(id));
        if (icaltimezone* own = icalcomponent_get_timezone(m_root, id.constData())) {
            const QString location = text(icaltimezone_get_location(own));
            return {own, false, location.isEmpty() ? (iana.isEmpty() ? name : iana) : location};
        }
        if (!iana.isEmpty()) {
            if (icaltimezone* system = icaltimezone_get_builtin_timezone(iana.toUtf8().constData()))
                return {system, false, iana};
        }
        warnOnce(QStringLiteral("unknown time zone \"%1\" read as UTC").arg(name.left(64)));
        return {nullptr, true, QStringLiteral("UTC")};
    }

    bool declinedByOwner(icalcomponent* event) const {
        if (m_options.ownEmail.isEmpty())
            return false;
        for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
            QString address = text(icalproperty_get_attendee(p));
            if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
                address = address.mid(7);
            if (address.compare(m_options.ownEmail, Qt::CaseInsensitive) != 0)
                continue;
            icalparameter* status = icalproperty_get_first_parameter(p, ICAL_PARTSTAT_PARAMETER);
            return status && icalparameter_get_partstat(status) == ICAL_PARTSTAT_DECLINED;
        }
        return false;
    }

    // The record of every occurrence of the event, without its times; nothing without a link.
    std::optional<QVariantMap> baseRecord(icalcomponent* event) {
        const QString title = text(icalcomponent_get_summary(event));
        auto present = [](const QString& s) {
            return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
        };
        icalproperty* url = icalcomponent_get_first_property(event, ICAL_URL_PROPERTY);
        std::optional<QVariantMap> link;
        for (const std::optional<QString>& candidate :
             {present(text(icalcomponent_get_description(event))),
              present(text(icalcomponent_get_location(event))),
              present(url ? text(icalproperty_get_url(url)) : QString()), present(title)}) {
            if ((link = MeetingLinkRecognizer::extractMeetingIdAndPasscode(candidate)))
                break;
        }
        if (!link)
            return std::nullopt;
        QVariantMap record = *link;
        record.insert(QStringLiteral("title"), title.isNull() ? QStringLiteral("") : title);
        record.insert(QStringLiteral("calendar_entry_type"), QStringLiteral("ical"));
        return record;
    }

    void readEvent(icalcomponent* event, bool expandSeries) {
        if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED || declinedByOwner(event))
            return;
        icalproperty* startProperty =
            icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        if (!startProperty)
            return;
        const icaltimetype start = icalproperty_get_dtstart(startProperty);
        if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start))
            return;
        const std::optional<QVariantMap> base = baseRecord(event);
        if (!base)
            return;
        Occurrences series{event, *base, basisOf(startProperty, start), start, 0, {}, 0};
        series.durationMs = durationOf(event, series);
        if (start.is_date) // whole local days, also across a daylight-saving change
            series.days = std::max<qint64>(1, (series.durationMs + kDayMs / 2) / kDayMs);
        series.base.insert(QStringLiteral("timezone"), series.basis.name);
        const bool recurring = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) ||
                               icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
        if (expandSeries && recurring)
            expand(series);
        else
            emitOccurrence(series, msOf(start, series.basis));
    }

    struct Occurrences {
        icalcomponent* event;
        QVariantMap base;
        TimeBasis basis;
        icaltimetype start;
        qint64 durationMs;
        QSet<qint64> seen; // starts already listed or excluded
        qint64 days = 0;   // all-day events: their length in days
    };

    qint64 durationOf(icalcomponent* event, const Occurrences& series) {
        const qint64 startMs = msOf(series.start, series.basis);
        if (icalproperty* end = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
            const icaltimetype t = icalproperty_get_dtend(end);
            if (!icaltime_is_null_time(t))
                return std::max<qint64>(0, msOf(t, basisOf(end, t)) - startMs);
        }
        if (icalproperty* d = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY))
            return std::max<qint64>(
                0, qint64(icaldurationtype_as_int(icalproperty_get_duration(d))) * 1000);
        return series.start.is_date ? kDayMs : 0;
    }

    void emitOccurrence(Occurrences& series, qint64 startMs) {
        if (startMs >= m_options.windowEndMs ||
            startMs + series.durationMs <= m_options.windowStartMs)
            return;
        QVariantMap record = series.base;
        const qint64 endMs = series.days > 0 ? QDateTime::fromMSecsSinceEpoch(startMs)
                                                   .date()
                                                   .addDays(series.days)
                                                   .startOfDay()
                                                   .toMSecsSinceEpoch()
                                             : startMs + series.durationMs;
        record.insert(QStringLiteral("start"), double(startMs));
        record.insert(QStringLiteral("end"), double(endMs));
        m_result.records.append(record);
    }

    void expand(Occurrences& series) {
        const QByteArray uid = uidOf(series.event);
        series.seen = m_overridden.value(uid);
        for (icalproperty* p = icalcomponent_get_first_property(series.event, ICAL_EXDATE_PROPERTY);
             p; p = icalcomponent_get_next_property(series.event, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype t = icalproperty_get_exdate(p);
            series.seen.insert(msOf(t, basisOf(p, t)));
        }
        int listed = 0;
        for (icalproperty* p = icalcomponent_get_first_property(series.event, ICAL_RRULE_PROPERTY);
             p && listed < m_options.maxOccurrencesPerEvent;
             p = icalcomponent_get_next_property(series.event, ICAL_RRULE_PROPERTY))
            listed += expandRule(series, icalproperty_get_rrule(p));
        for (icalproperty* p = icalcomponent_get_first_property(series.event, ICAL_RDATE_PROPERTY);
             p; p = icalcomponent_get_next_property(series.event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
            const icaltimetype t =
                icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
            const qint64 ms = msOf(t, basisOf(p, t));
            if (!series.seen.contains(ms)) {
                series.seen.insert(ms);
                emitOccurrence(series, ms);
            }
        }
    }

    // Occurrences of one rule inside the window; the number listed.
    int expandRule(Occurrences& series, const icalrecurrencetype& rule) {
        icaltimetype first = series.start;
        first.zone = nullptr; // the iterator works in the series' wall clock
        std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator*)> it(
            icalrecur_iterator_new(rule, first), icalrecur_iterator_free);
        if (!it)
            return 0;
        // Without a count the iterator can start near the window instead of at the first
        // occurrence (a daily series of many years); a day's margin covers zone shifts.
        const qint64 from = m_options.windowStartMs - series.durationMs - kDayMs;
        if (rule.count == 0 && from > msOf(series.start, series.basis))
            icalrecur_iterator_set_start(it.get(), wallClockOf(from, series.basis, first.is_date));
        // Wall-clock bounds with a day's margin: occurrences far outside skip the zone work.
        const icaltimetype before = wallClockOf(from, series.basis, first.is_date);
        const icaltimetype after =
            wallClockOf(m_options.windowEndMs + kDayMs, series.basis, first.is_date);
        int listed = 0;
        for (int step = 0;; ++step) {
            if (step >= m_options.maxStepsPerEvent) {
                warnOnce(QStringLiteral("a series was cut short after %1 steps")
                             .arg(m_options.maxStepsPerEvent));
                break;
            }
            const icaltimetype next = icalrecur_iterator_next(it.get());
            if (icaltime_is_null_time(next) || icaltime_compare(next, after) > 0)
                break;
            if (icaltime_compare(next, before) < 0)
                continue;
            const qint64 ms = msOf(next, series.basis);
            if (ms >= m_options.windowEndMs)
                break;
            if (series.seen.contains(ms) || ms + series.durationMs <= m_options.windowStartMs)
                continue;
            series.seen.insert(ms);
            emitOccurrence(series, ms);
            if (++listed >= m_options.maxOccurrencesPerEvent) {
                warnOnce(QStringLiteral("a series was cut to %1 occurrences")
                             .arg(m_options.maxOccurrencesPerEvent));
                break;
            }
        }
        return listed;
    }

    void finish() {
        QList<std::pair<double, qsizetype>> order;
        order.reserve(m_result.records.size());
        for (qsizetype i = 0; i < m_result.records.size(); ++i)
            order.append(
                {m_result.records[i].toMap().value(QStringLiteral("start")).toDouble(), i});
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QVariantList records;
        records.reserve(std::min<qsizetype>(order.size(), m_options.maxRecords));
        for (const auto& [start, i] : order) {
            if (records.size() == m_options.maxRecords)
                break;
            records.append(m_result.records[i]);
        }
        const bool capped = m_result.records.size() > records.size();
        m_result.records = records;
        if (capped) {
            warnOnce(QStringLiteral("only the first %1 occurrences are listed")
                         .arg(m_options.maxRecords));
        }
    }

    const Options& m_options;
    Result& m_result;
    icalcomponent* m_root = nullptr;
    QHash<QByteArray, TimeBasis> m_zones;
    QHash<QByteArray, QSet<qint64>> m_overridden; // starts replaced by overrides, per UID
};

// The first and last non-blank line of the bytes.
bool looksComplete(const QByteArray& ics, QString& error) {
    QByteArray head = ics.left(64).trimmed();
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    if (!head.toUpper().startsWith("BEGIN:VCALENDAR")) {
        error = QStringLiteral("This is not an iCalendar feed");
        return false;
    }
    if (!ics.right(64).trimmed().toUpper().endsWith("END:VCALENDAR")) {
        error = QStringLiteral("The feed is incomplete (it was cut off)");
        return false;
    }
    return true;
}

} // namespace

Result parse(const QByteArray& ics, const Options& options) {
    Result result;
    if (!looksComplete(ics, result.error))
        return result;
    std::unique_ptr<icalcomponent, void (*)(icalcomponent*)> root(
        icalparser_parse_string(ics.constData()), icalcomponent_free);
    if (!root) {
        result.error = QStringLiteral("This is not an iCalendar feed");
        return result;
    }
    Reader(options, result).read(root.get());
    return result;
}

} // namespace IcsFeedParser
