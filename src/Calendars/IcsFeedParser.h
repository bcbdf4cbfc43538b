#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Reads an iCalendar feed (libical) into calendar meeting records: the same keys as the Calendar
// reader's records ("start", "end", "title", "timezone", "calendar_entry_type" = "ical" and the
// meeting-link fields). Recurring events (RRULE, RDATE, EXDATE, RECURRENCE-ID overrides) become
// one record per occurrence inside the window. Left out: events without a meeting link,
// cancelled ones and those the account's own attendee entry declined.
//
// Pure work on its arguments: safe to run on a worker thread, one parse at a time (libical keeps
// its zone cache in process-wide state).
namespace IcsFeedParser {

struct Options {
    qint64 windowStartMs = 0; // occurrences that end after this...
    qint64 windowEndMs = 0;   // ...and start before this are kept
    QString ownEmail;         // the account's address, for its declined invitations
    int maxRecords = 2000;    // the earliest ones are kept
    int maxOccurrencesPerEvent = 500;
    int maxStepsPerEvent = 100000; // bounds a rule that never reaches the window
};

struct Result {
    QVariantList records; // ordered by start
    QString error;        // not iCalendar, or cut off: the records are then empty
    QStringList warnings; // unknown time zones (each once), series that were cut short
};

Result parse(const QByteArray& ics, const Options& options);

} // namespace IcsFeedParser
