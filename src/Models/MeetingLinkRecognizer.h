#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

// Finds a meeting link ("https://<host ending in the meeting-link domain>/<id>[/<passcode>]")
// in calendar text. One left-to-right pass, linear in the text length, so a long invitation
// cannot stall the main thread.
//
// The first valid link of the text wins, also when the same line holds more: invitations put
// the meeting's own link first, and later links on that line (a dial-in page, a forwarded
// meeting) are not the meeting to join. Earlier releases matched
//   https?://(((.*).?)<domain>)/(\d+)(/?(\d+)?)?
// whose greedy host made the last link on the line win. The host holds host characters only
// (letters, digits, '-', '.'), the domain's dots match dots only, and the domain must start a
// label, so "https://evil.example/velora.example/1" is no link.
namespace MeetingLinkRecognizer {

// "numericMeetingId" (always), "meetingDomain" (the host, when non-empty) and, when the link
// carries a passcode, "addAttendeePasscode" = true and "attendeePasscode". Nothing when the text
// is absent or holds no link.
std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text);

// The same with an explicit domain (tests, benchmarks); the one above uses
// BundleInfo::meetingLinkDomain().
std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text,
                                                       const QString& domain);

} // namespace MeetingLinkRecognizer
