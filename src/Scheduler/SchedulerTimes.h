#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <optional>

// Meeting times as the form shows them: the pickers hold a bare wall clock (a QDateTime in UTC
// standing for "this date, this time" in the meeting's zone), and the service gets instants.
// Conversions use the zone's rules at the meeting's own date, so a meeting on the other side of
// a daylight-saving change is not an hour off.
class SchedulerTimes {
public:
    // The next quarter hour after rounding `now` to the nearest quarter hour (halves away from
    // zero): 10:07 gives 10:15, 10:08 gives 10:30.
    static QDateTime defaultStart(const QDateTime& now);

    // The wall clock of `instantMs` in `zone`, as a bare date and time.
    static QDateTime wallClock(qint64 instantMs, const QTimeZone& zone);

    struct Instant {
        qint64 ms = 0;
        // The wall clock does not exist in the zone (clocks went forward over it): the instant
        // is that of the wall clock moved forward by the gap.
        bool inGap = false;
        QDateTime shownAs; // the wall clock of `ms`; differs from the asked one inside a gap
    };
    // The instant a bare wall clock stands for in `zone`. A wall clock that occurs twice (clocks
    // went back) gives its first occurrence after `after` (an end after its start), else its
    // first.
    static Instant instantOf(const QDateTime& wall, const QTimeZone& zone,
                             std::optional<qint64> after = std::nullopt);

    // The wall clock `seconds` after `wall`, counted in real time in `zone`.
    static QDateTime addSeconds(const QDateTime& wall, qint64 seconds, const QTimeZone& zone);

    // "1700000000000": whole seconds (fraction dropped) followed by "000".
    static QString millisText(qint64 ms);
};
