#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// The unsent meeting drafts of the shared record, keyed by "meetingDraftGuid". Every change is
// written to the preferences store at once, so a crash right after a popover closes or a
// meeting is cancelled neither loses a draft nor brings a deleted one back. Only the drafts key
// is written: the rest of the record (and the keychain) is saved by its own owners.
class MeetingDraftStore {
public:
    // Adds or replaces the draft under its "meetingDraftGuid"; a draft without one is ignored
    // (false).
    static bool put(const QVariantMap& draft);
    // True when a draft was removed.
    static bool remove(const QString& guid);
    // Drafts that were edits of `meeting` (same "numericMeetingId") lose "numericMeetingId" and
    // "id", so saving them later creates a new meeting. Returns how many were detached.
    static int detachFrom(const QVariantMap& meeting);
    // A meeting id as text for matching: 12345, 12345.0 and "12345" are the same meeting; an
    // absent or empty id gives an empty text, which never matches.
    static QString meetingIdText(const QVariant& id);

private:
    static void save();
};
