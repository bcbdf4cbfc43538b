// libFuzzer target: the meeting-link scanner and the AppleScript helpers take any text.
// The scanner agrees with the host-restricted form of the historic pattern; a quoted value
// reads back as exactly one literal holding the value; the result reader never crashes.
#include "../support/ScriptLiterals.h"
#include "Calendars/CalendarScripts.h"
#include "Models/MeetingLinkRecognizer.h"

#include <QRegularExpression>
#include <QString>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    static const QRegularExpression restricted(
        QStringLiteral("https?://(([A-Za-z0-9.\\-]*\\.)?velora\\.example)/(\\d+)(/?(\\d+)?)?"));
    const auto link =
        MeetingLinkRecognizer::extractMeetingIdAndPasscode(text, QStringLiteral("velora.example"));
    const auto m = restricted.match(text);
    if (link.has_value() != m.hasMatch())
        std::abort();
    if (link && (link->value(QStringLiteral("numericMeetingId")).toString() != m.captured(3) ||
                 link->value(QStringLiteral("meetingDomain")).toString() != m.captured(1) ||
                 link->value(QStringLiteral("attendeePasscode")).toString() != m.captured(5)))
        std::abort();

    QString carried = text;
    carried.remove(QChar(0));
    const auto literals =
        ScriptLiterals::stringLiterals(QStringLiteral("set a to ") + CalendarScripts::quoted(text));
    if (!literals || *literals != QStringList{carried})
        std::abort();

    (void)CalendarScripts::parseValue(text);
    return 0;
}
