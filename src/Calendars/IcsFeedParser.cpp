#include "IcsFeedParser.h"

#include "Models/MeetingLinkRecognizer.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <algorithm>
#include <libical/ical.h>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

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
qint64 convert(const icaltimetype& t, const TimeBasis& basis) {
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

// The wall-clock fields in one number; nothing for fields out of their ranges.
std::optional<quint64> packed(const icaltimetype& t) {
    if (t.year < 0 || t.year > 0xFFFF || t.month < 0 || t.month > 15 || t.day < 0 || t.day > 31 ||
        t.hour < 0 || t.hour > 31 || t.minute < 0 || t.minute > 63 || t.second < 0 || t.second > 63)
        return std::nullopt;
    return quint64(t.year) << 32 | quint64(t.month) << 28 | quint64(t.day) << 23 |
           quint64(t.hour) << 18 | quint64(t.minute) << 12 | quint64(t.second) << 6 |
           (t.is_date ? 1 : 0);
}

bool isEmpty(const short* byList) {
    return byList[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

// Days after which a rule's occurrences repeat, for the rules where that holds from DTSTART's
// week on: daily or weekly, at most restricted to plain weekdays. Nothing for every other rule.
std::optional<int> periodDays(const icalrecurrencetype& rule) {
    if ((rule.freq != ICAL_DAILY_RECURRENCE && rule.freq != ICAL_WEEKLY_RECURRENCE) ||
        rule.interval < 1 || rule.rscale || !isEmpty(rule.by_second) || !isEmpty(rule.by_minute) ||
        !isEmpty(rule.by_hour) || !isEmpty(rule.by_month_day) || !isEmpty(rule.by_year_day) ||
        !isEmpty(rule.by_week_no) || !isEmpty(rule.by_month) || !isEmpty(rule.by_set_pos))
        return std::nullopt;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return std::nullopt;
    }
    if (rule.freq == ICAL_WEEKLY_RECURRENCE)
        return 7 * rule.interval;
    return isEmpty(rule.by_day) ? rule.interval : std::lcm(int(rule.interval), 7);
}

// What libical's iterator accepts as DTSTART.
bool iteratorAccepts(const icaltimetype& t) {
    return t.year >= 0 && t.year <= 2582 && QDate(t.year, t.month, t.day).isValid() &&
           (t.is_date || (t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
                          t.second >= 0 && t.second <= 59));
}

qint64 julianDay(const icaltimetype& t) {
    return QDate(t.year, t.month, t.day).toJulianDay();
}

// A rule's occurrences from DTSTART on: the n-th lies (n / size) * period + offsets[n % size]
// days after DTSTART, at its time of day. DTSTART itself is among them only where it is one of
// the rule's days (libical's walk leaves it out otherwise).
struct Pattern {
    int period = 0;
    std::vector<int> offsets; // ascending, below `period`
};

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

const QString kStart = QStringLiteral("start");
const QString kEnd = QStringLiteral("end");

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

    // While an event is read its warnings wait: they count only if the event is listed.
    void warnOnce(const QString& warning) {
        QStringList& list = m_deferWarnings ? m_eventWarnings : m_result.warnings;
        if (!list.contains(warning))
            list.append(warning);
    }

    // Occurrences of a feed share a few zones and wall-clock times: each is converted once.
    qint64 msOf(const icaltimetype& t, const TimeBasis& basis) {
        const std::optional<quint64> key = packed(t);
        if (!key)
            return convert(t, basis);
        static const char utc = 0, floating = 0; // their keys: no icaltimezone has these addresses
        const void* zone = t.is_date    ? nullptr
                           : basis.utc  ? static_cast<const void*>(&utc)
                           : basis.zone ? static_cast<const void*>(basis.zone)
                                        : static_cast<const void*>(&floating);
        auto known = m_instants.constFind({zone, *key});
        if (known == m_instants.constEnd())
            known = m_instants.insert({zone, *key}, convert(t, basis));
        return *known;
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
        if (cached->unknown)
            warnOnce(QStringLiteral("unknown time zone \"%1\" read as UTC")
                         .arg(QString::fromUtf8(id).left(64)));
        return cached->basis;
    }

    struct Zone {
        TimeBasis basis;
        bool unknown = false; // read as UTC
    };

    // The feed's own VTIMEZONE, else the system's zone of that name (IANA or Windows); unknown
    // names are read as UTC.
    Zone resolveZone(const QByteArray& id) {
        const QString name = QString::fromUtf8(id);
        QString iana = QTimeZone::isTimeZoneIdAvailable(id)
                           ? name
                           : QString::fromUtf8(QTimeZone::windowsIdToDefaultIanaId(id));
        if (icaltimezone* own = icalcomponent_get_timezone(m_root, id.constData())) {
            const QString location = text(icaltimezone_get_location(own));
            return {{own, false, location.isEmpty() ? (iana.isEmpty() ? name : iana) : location}};
        }
        if (!iana.isEmpty()) {
            if (icaltimezone* system = icaltimezone_get_builtin_timezone(iana.toUtf8().constData()))
                return {{system, false, iana}};
        }
        return {{nullptr, true, QStringLiteral("UTC")}, true};
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

    struct Occurrences {
        icalcomponent* event = nullptr;
        TimeBasis basis;
        icaltimetype start{};
        qint64 durationMs = 0;
        QSet<qint64> seen; // starts already listed or excluded
        qint64 days = 0;   // all-day events: their length in days
    };

    // What the event's occurrences share: the record without its times.
    struct Listed {
        QVariantMap base;
        qint64 durationMs;
        qint64 days;
    };

    // The event's occurrences in the window are found first; the declined check and the
    // meeting-link search run only for events that have some (or something to warn about).
    void readEvent(icalcomponent* event, bool expandSeries) {
        const Properties& properties = propertiesOf(event);
        if (properties.status &&
            icalproperty_get_status(properties.status) == ICAL_STATUS_CANCELLED)
            return;
        icalproperty* startProperty = properties.start;
        if (!startProperty)
            return;
        const icaltimetype start = icalproperty_get_dtstart(startProperty);
        if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start))
            return;
        m_starts.clear();
        m_eventWarnings.clear();
        m_deferWarnings = true;
        Occurrences series;
        series.event = event;
        series.basis = basisOf(startProperty, start);
        series.start = start;
        series.durationMs = durationOf(properties, series);
        if (start.is_date) // whole local days, also across a daylight-saving change
            series.days = std::max<qint64>(1, (series.durationMs + kDayMs / 2) / kDayMs);
        const bool recurring = !properties.rules.empty() || !properties.dates.empty();
        if (expandSeries && recurring)
            expand(series, properties);
        else
            emitOccurrence(series, msOf(start, series.basis));
        m_deferWarnings = false;
        if (m_starts.empty() && m_eventWarnings.isEmpty())
            return;
        if (declinedByOwner(event))
            return;
        std::optional<QVariantMap> base = baseRecord(event);
        if (!base)
            return;
        for (const QString& warning : std::as_const(m_eventWarnings))
            warnOnce(warning);
        if (m_starts.empty())
            return;
        base->insert(QStringLiteral("timezone"), series.basis.name);
        base->insert(kStart, 0.0); // set per occurrence, without a new node in each copy
        base->insert(kEnd, 0.0);
        m_listed.push_back({std::move(*base), series.durationMs, series.days});
        for (const qint64 startMs : m_starts)
            m_found.push_back({startMs, m_listed.size() - 1});
    }

    // The properties an event's occurrences are read from, in one walk over its properties.
    struct Properties {
        icalproperty* status = nullptr; // the first of each
        icalproperty* start = nullptr;
        icalproperty* end = nullptr;
        icalproperty* duration = nullptr;
        std::vector<icalproperty*> rules, dates, excluded; // all RRULE, RDATE, EXDATE
    };

    const Properties& propertiesOf(icalcomponent* event) {
        Properties& found = m_properties;
        found.status = found.start = found.end = found.duration = nullptr;
        found.rules.clear();
        found.dates.clear();
        found.excluded.clear();
        const auto first = [](icalproperty*& slot, icalproperty* p) {
            if (!slot)
                slot = p;
        };
        for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
            switch (icalproperty_isa(p)) {
            case ICAL_STATUS_PROPERTY:
                first(found.status, p);
                break;
            case ICAL_DTSTART_PROPERTY:
                first(found.start, p);
                break;
            case ICAL_DTEND_PROPERTY:
                first(found.end, p);
                break;
            case ICAL_DURATION_PROPERTY:
                first(found.duration, p);
                break;
            case ICAL_RRULE_PROPERTY:
                found.rules.push_back(p);
                break;
            case ICAL_RDATE_PROPERTY:
                found.dates.push_back(p);
                break;
            case ICAL_EXDATE_PROPERTY:
                found.excluded.push_back(p);
                break;
            default:
                break;
            }
        }
        return found;
    }

    qint64 durationOf(const Properties& properties, const Occurrences& series) {
        const qint64 startMs = msOf(series.start, series.basis);
        if (icalproperty* end = properties.end) {
            const icaltimetype t = icalproperty_get_dtend(end);
            if (!icaltime_is_null_time(t))
                return std::max<qint64>(0, msOf(t, basisOf(end, t)) - startMs);
        }
        if (icalproperty* d = properties.duration)
            return std::max<qint64>(
                0, qint64(icaldurationtype_as_int(icalproperty_get_duration(d))) * 1000);
        return series.start.is_date ? kDayMs : 0;
    }

    void emitOccurrence(const Occurrences& series, qint64 startMs) {
        if (startMs >= m_options.windowEndMs ||
            startMs + series.durationMs <= m_options.windowStartMs)
            return;
        m_starts.push_back(startMs);
    }

    void expand(Occurrences& series, const Properties& properties) {
        const QByteArray uid = uidOf(series.event);
        series.seen = m_overridden.value(uid);
        for (icalproperty* p : properties.excluded) {
            const icaltimetype t = icalproperty_get_exdate(p);
            series.seen.insert(msOf(t, basisOf(p, t)));
        }
        int listed = 0;
        for (icalproperty* p : properties.rules) {
            if (listed >= m_options.maxOccurrencesPerEvent)
                break;
            listed += expandRule(series, icalproperty_get_rrule(p));
        }
        const auto emitOnce = [&](qint64 ms) {
            if (!series.seen.contains(ms)) {
                series.seen.insert(ms);
                emitOccurrence(series, ms);
            }
        };
        // The rule's walk yields DTSTART; without a rule it is still the first instance, and
        // RDATE only adds to it.
        if (properties.rules.empty())
            emitOnce(msOf(series.start, series.basis));
        for (icalproperty* p : properties.dates) {
            const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
            const icaltimetype t =
                icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
            emitOnce(msOf(t, basisOf(p, t)));
        }
    }

    void cutShort() {
        warnOnce(QStringLiteral("a series was cut short after %1 steps")
                     .arg(m_options.maxStepsPerEvent));
    }

    // The occurrences of a daily or weekly rule repeat every few days from DTSTART on (see
    // periodDays): they are measured over two periods with libical's iterator, once per rule
    // shape, and the rest follow by day arithmetic. Nothing for every other rule.
    const Pattern* patternOf(const icalrecurrencetype& rule, const icaltimetype& first) {
        const std::optional<int> period = periodDays(rule);
        if (!period || !iteratorAccepts(first))
            return nullptr;
        QByteArray key;
        for (const int field :
             {int(rule.freq), int(rule.interval), int(rule.week_start), icaltime_day_of_week(first),
              first.is_date, first.hour, first.minute, first.second})
            key.append(reinterpret_cast<const char*>(&field), sizeof field);
        for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
            key.append(reinterpret_cast<const char*>(&rule.by_day[i]), sizeof rule.by_day[i]);
        auto known = m_patterns.constFind(key);
        if (known == m_patterns.constEnd())
            known = m_patterns.insert(key, measure(rule, first, *period));
        return known->has_value() ? &**known : nullptr;
    }

    static std::optional<Pattern> measure(icalrecurrencetype rule, const icaltimetype& first,
                                          int period) {
        rule.count = 0;
        rule.until = icaltime_null_time();
        std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator*)> it(
            icalrecur_iterator_new(rule, first), icalrecur_iterator_free);
        if (!it)
            return std::nullopt;
        const qint64 firstDay = julianDay(first);
        std::vector<int> offsets; // over two periods
        for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t);
             t = icalrecur_iterator_next(it.get())) {
            const qint64 offset = julianDay(t) - firstDay;
            if (offset >= 2 * period)
                break;
            if (t.is_date != first.is_date || t.hour != first.hour || t.minute != first.minute ||
                t.second != first.second || offset <= (offsets.empty() ? -1 : offsets.back()) ||
                offsets.size() > 14 * 366)
                return std::nullopt;
            offsets.push_back(int(offset));
        }
        const auto second = std::find_if(offsets.begin(), offsets.end(),
                                         [&](int offset) { return offset >= period; });
        Pattern pattern{period, {}};
        for (auto i = second; i != offsets.end(); ++i)
            pattern.offsets.push_back(*i - period);
        // The second period must repeat the first (a walk that adds DTSTART does not).
        if (pattern.offsets.empty() ||
            !std::equal(offsets.begin(), second, pattern.offsets.begin(), pattern.offsets.end()))
            return std::nullopt;
        return pattern;
    }

    // Occurrences of one rule inside the window; the number listed.
    int expandRule(Occurrences& series, const icalrecurrencetype& rule) {
        icaltimetype first = series.start;
        first.zone = nullptr; // the iterator works in the series' wall clock
        // Without a count the walk can start near the window instead of at the first
        // occurrence (a daily series of many years); a day's margin covers zone shifts.
        const qint64 from = m_options.windowStartMs - series.durationMs - kDayMs;
        // Wall-clock bounds with a day's margin: occurrences far outside skip the zone work.
        const icaltimetype before = wallClockOf(from, series.basis, first.is_date);
        const icaltimetype after =
            wallClockOf(m_options.windowEndMs + kDayMs, series.basis, first.is_date);
        if (icaltime_compare(first, after) > 0)
            return 0; // no occurrence comes before DTSTART
        const bool late = rule.count == 0 && from > msOf(series.start, series.basis);
        if (const Pattern* pattern = patternOf(rule, first))
            return expandPattern(series, rule, *pattern, first, before, after, late);
        std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator*)> it(
            icalrecur_iterator_new(rule, first), icalrecur_iterator_free);
        if (!it)
            return 0;
        if (late)
            icalrecur_iterator_set_start(it.get(), before);
        return walk(series, 0, before, after, [&] { return icalrecur_iterator_next(it.get()); });
    }

    // The same walk as libical's iterator makes, by day arithmetic. A counted rule skips the
    // whole periods that end before `before`, a rule without a count starts at its first
    // occurrence from `before` on; the steps count as if walked from where the iterator would
    // have started.
    int expandPattern(Occurrences& series, const icalrecurrencetype& rule, const Pattern& pattern,
                      const icaltimetype& first, const icaltimetype& before,
                      const icaltimetype& after, bool late) {
        const qint64 firstDay = julianDay(first);
        const qint64 size = qint64(pattern.offsets.size());
        const auto occurrence = [&](qint64 n) {
            const QDate day = QDate::fromJulianDay(firstDay + n / size * pattern.period +
                                                   pattern.offsets[size_t(n % size)]);
            icaltimetype t = first;
            t.year = day.year();
            t.month = day.month();
            t.day = day.day();
            return t;
        };
        const qint64 days = julianDay(before) - firstDay;
        qint64 n = 0;
        int step = 0;
        if (rule.count > 0) {
            const qint64 periods = (days - 1) / pattern.period; // a day short of `before`
            if (periods >= 1) {
                n = std::min<qint64>(periods * size, rule.count);
                if (n >= m_options.maxStepsPerEvent) {
                    cutShort();
                    return 0;
                }
                if (n >= rule.count)
                    return 0; // over before the window
                step = int(n);
            }
        } else if (late) {
            n = std::max<qint64>(0, days / pattern.period) * size;
            while (icaltime_compare(occurrence(n), before) < 0)
                ++n;
        }
        const bool until = !icaltime_is_null_time(rule.until);
        return walk(series, step, before, after, [&] {
            if (rule.count > 0 && n >= rule.count)
                return icaltime_null_time();
            const icaltimetype t = occurrence(n++);
            return until && icaltime_compare(t, rule.until) > 0 ? icaltime_null_time() : t;
        });
    }

    // Lists what `next` yields in the window until it yields a null time or one past `after`;
    // the number listed.
    template <typename Next>
    int walk(Occurrences& series, int step, const icaltimetype& before, const icaltimetype& after,
             Next next) {
        int listed = 0;
        for (;; ++step) {
            if (step >= m_options.maxStepsPerEvent) {
                cutShort();
                break;
            }
            const icaltimetype t = next();
            if (icaltime_is_null_time(t) || icaltime_compare(t, after) > 0)
                break;
            if (icaltime_compare(t, before) < 0)
                continue;
            const qint64 ms = msOf(t, series.basis);
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

    // Records are made only for the occurrences kept: the earliest ones, in the order found
    // where starts are equal.
    void finish() {
        std::stable_sort(m_found.begin(), m_found.end(),
                         [](const Found& a, const Found& b) { return a.startMs < b.startMs; });
        const qsizetype kept = std::min<qsizetype>(qsizetype(m_found.size()), m_options.maxRecords);
        m_result.records.reserve(kept);
        for (qsizetype i = 0; i < kept; ++i) {
            const Found& found = m_found[size_t(i)];
            const Listed& listed = m_listed[found.listed];
            const qint64 endMs = listed.days > 0 ? QDateTime::fromMSecsSinceEpoch(found.startMs)
                                                       .date()
                                                       .addDays(listed.days)
                                                       .startOfDay()
                                                       .toMSecsSinceEpoch()
                                                 : found.startMs + listed.durationMs;
            QVariantMap record = listed.base;
            record[kStart] = double(found.startMs);
            record[kEnd] = double(endMs);
            m_result.records.append(std::move(record));
        }
        if (qsizetype(m_found.size()) > kept) {
            warnOnce(QStringLiteral("only the first %1 occurrences are listed")
                         .arg(m_options.maxRecords));
        }
    }

    struct Found {
        qint64 startMs;
        size_t listed; // index in m_listed
    };

    const Options& m_options;
    Result& m_result;
    icalcomponent* m_root = nullptr;
    QHash<QByteArray, Zone> m_zones;
    QHash<std::pair<const void*, quint64>, qint64> m_instants;
    QHash<QByteArray, QSet<qint64>> m_overridden;         // starts replaced by overrides, per UID
    QHash<QByteArray, std::optional<Pattern>> m_patterns; // by rule shape and start's weekday
    std::vector<Listed> m_listed;
    std::vector<Found> m_found;
    Properties m_properties;      // of the event being read
    std::vector<qint64> m_starts; // of the event being read
    QStringList m_eventWarnings;  // of the event being read
    bool m_deferWarnings = false;
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
