#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

// Finds a meeting link ("https://<host ending in the meeting-link domain>/<id>[/<passcode>]")
// in calendar text. One left-to-right pass, linear in the text length, so a long invitation
// cannot stall the main thread.
//
// Results on well-formed links are those of the historic pattern
//   https?://(((.*).?)<domain>)/(\d+)(/?(\d+)?)?
// (first match, greedy host): the last link on the line of the first "http" wins. Unlike that
// pattern, the host holds host characters only (letters, digits, '-', '.'), the domain's dots
// match dots only, and the domain must start a label, so "https://evil.example/velora.example/1"
// is no link and a harmless earlier link on the line cannot swallow the real one.
namespace MeetingLinkRecognizer {

// "numericMeetingId" (always), "meetingDomain" (the host, when non-empty) and, when the link
// carries a passcode, "addAttendeePasscode" = true and "attendeePasscode". Nothing when the text
// is absent or holds no link.
std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text);

// The same with an explicit domain (tests, benchmarks); the one above uses
// BundleInfo::meetingLinkDomain().
std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text,
                                                       const QString& domain);

// The historic pattern for `domain` (dots unescaped), for differential tests and benchmarks.
QString legacyPattern(const QString& domain);

} // namespace MeetingLinkRecognizer
