#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// The AppleScript texts sent to Outlook, Calendar and System Events, and the reader of the
// scripts' results. Pure text work, the same on every platform.
namespace CalendarScripts {

// `value` as one AppleScript string literal: backslashes, double quotes, line feeds, carriage
// returns and tabs escaped, NUL characters dropped; nothing inside can end the literal.
QString quoted(const QString& value);

// The Outlook reader: events of the calendar "Calendar" starting from five minutes before this
// morning's midnight to the midnight that ends tomorrow, as a list of records.
QString outlookReadScript();

// The personal-meeting event, from the next full hour (the one after when past :45) for one
// hour. `description` has each "\n\n" replaced by "\n" here.
QString outlookCreateScript(const QString& joinLink, const QString& description);
// `calendarId`: "CalDefaultCalendar" when set, not empty and not
// "UseLastSelectedAsDefaultCalendar"; else the calendar is chosen by title (the e-mail
// address, then "Work", then the first one).
QString calendarCreateScript(const QString& joinLink, const QString& description,
                             const std::optional<QString>& calendarId, const QString& email);
// The id to select by, from the raw "CalDefaultCalendar" value (nothing = select by title).
std::optional<QString> calendarIdFrom(const QVariant& calDefaultCalendar);

// Reads an AppleScript value in source form (osascript -s s): lists become QVariantList,
// records QVariantMap, strings QString, numbers double, anything else (object specifiers,
// constants) its source text. Nothing when the text is not a value.
std::optional<QVariant> parseValue(const QString& source);

} // namespace CalendarScripts
