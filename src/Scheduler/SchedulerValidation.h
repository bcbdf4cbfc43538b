#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The checks made when the form is saved.
class SchedulerValidation {
public:
    static constexpr int kMaxAttendees = 100;
    static constexpr int kMaxNotes = 1000;

    struct Attendees {
        QStringList emails;   // the addresses that passed, trimmed
        QString error;        // empty when every part passed
        int failedIndex = -1; // the part that failed the address check
    };
    // The attendee text split at ",": at most 100 parts, each a valid address once trimmed of
    // spaces and tabs (an empty part fails). An empty text has no attendees.
    static Attendees checkAttendees(const QString& text);
    // The notes message when they are longer than 1000 UTF-16 code units.
    static std::optional<QString> checkNotes(const QString& notes);
    static bool isValidEmail(const QString& address);
    // Trims spaces and tabs (and the line breaks of a pasted list) from both ends.
    static QString trimmed(const QString& part);
};
