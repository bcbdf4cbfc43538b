#include "CalendarScripts.h"

#include <QVariantList>
#include <QVariantMap>

namespace {

// Start at the next full hour (the one after when past :45), seconds as they are, one hour
// long. An hour past 23 is left to the script host's date arithmetic.
const char* const kEventTimes = R"(	set currentTime to (current date)
	set startHours to hours of currentTime
	set startMinutes to minutes of currentTime
	set startHours to startHours + 1
	if startMinutes is greater than 45 then
		set startHours to startHours + 1
	end if
	set startTime to currentTime
	set hours of startTime to startHours
	set minutes of startTime to 0
	set endTime to startTime + 60 * 60
)";

QString singleLineBreaks(QString text) {
    return text.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
}

QString indented(const QString& text, const QString& prefix) {
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        if (!line.isEmpty())
            line.prepend(prefix);
    return lines.join(u'\n');
}

// A reader of AppleScript source text: string literals, lists, records and numbers; anything
// else is kept as its text.
class ValueReader {
public:
    explicit ValueReader(QStringView text)
        : m_text(text) {}

    std::optional<QVariant> document() {
        auto value = readValue(0);
        skipSpace();
        if (!value || m_pos != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    static constexpr int kMaxDepth = 64;

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_pos]; }
    void skipSpace() {
        while (!atEnd() && peek().isSpace())
            ++m_pos;
    }

    std::optional<QVariant> readValue(int depth) {
        skipSpace();
        if (atEnd() || depth > kMaxDepth)
            return std::nullopt;
        if (peek() == u'{')
            return readBraces(depth);
        if (peek() == u'"') {
            auto s = readString();
            return s ? std::optional<QVariant>(*s) : std::nullopt;
        }
        return readBare();
    }

    std::optional<QString> readString() {
        ++m_pos; // opening quote
        QString out;
        while (!atEnd()) {
            const QChar c = m_text[m_pos++];
            if (c == u'"')
                return out;
            if (c != u'\\') {
                out += c;
                continue;
            }
            if (atEnd())
                return std::nullopt;
            const QChar e = m_text[m_pos++];
            switch (e.unicode()) {
            case u'n':
                out += u'\n';
                break;
            case u'r':
                out += u'\r';
                break;
            case u't':
                out += u'\t';
                break;
            case u'"':
            case u'\\':
                out += e;
                break;
            default:
                out += u'\\';
                out += e;
                break;
            }
        }
        return std::nullopt;
    }

    // A record key ("name:" or "|any name|:") at the current position, consumed when found.
    std::optional<QString> readKey() {
        const qsizetype start = m_pos;
        QString key;
        if (peek() == u'|') {
            const qsizetype close = m_text.indexOf(u'|', m_pos + 1);
            if (close < 0)
                return std::nullopt;
            key = m_text.sliced(m_pos + 1, close - m_pos - 1).toString();
            m_pos = close + 1;
        } else {
            while (!atEnd() && (peek().isLetterOrNumber() || peek() == u'_' || peek() == u' '))
                ++m_pos;
            key = m_text.sliced(start, m_pos - start).toString().trimmed();
        }
        skipSpace();
        if (key.isEmpty() || peek() != u':') {
            m_pos = start;
            return std::nullopt;
        }
        ++m_pos;
        return key;
    }

    std::optional<QVariant> readBraces(int depth) {
        ++m_pos; // '{'
        skipSpace();
        if (peek() == u'}') {
            ++m_pos;
            return QVariant(QVariantList{});
        }
        std::optional<QString> key = readKey();
        const bool record = key.has_value();
        QVariantList list;
        QVariantMap map;
        while (true) {
            auto value = readValue(depth + 1);
            if (!value)
                return std::nullopt;
            if (record)
                map.insert(*key, *value);
            else
                list.append(*value);
            skipSpace();
            if (peek() == u',') {
                ++m_pos;
                skipSpace();
                if (record && !(key = readKey()))
                    return std::nullopt;
                continue;
            }
            if (peek() == u'}') {
                ++m_pos;
                return record ? QVariant(map) : QVariant(list);
            }
            return std::nullopt;
        }
    }

    // A number, or the text of anything else (object specifiers, constants, dates) up to the
    // next ',' or '}' outside quotes and braces.
    std::optional<QVariant> readBare() {
        const qsizetype start = m_pos;
        int braces = 0;
        while (!atEnd()) {
            const QChar c = peek();
            if (c == u'"') {
                if (!readString())
                    return std::nullopt;
                continue;
            }
            if (braces == 0 && (c == u',' || c == u'}'))
                break;
            if (c == u'{')
                ++braces;
            else if (c == u'}')
                --braces;
            ++m_pos;
        }
        const QString text = m_text.sliced(start, m_pos - start).toString().trimmed();
        if (text.isEmpty())
            return std::nullopt;
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (ok)
            return QVariant(number);
        return QVariant(text);
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

namespace CalendarScripts {

QString quoted(const QString& value) {
    QString out;
    out.reserve(value.size() + 2);
    out += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\0':
            break;
        default:
            out += c;
            break;
        }
    }
    out += u'"';
    return out;
}

QString outlookReadScript() {
    return QStringLiteral(R"(set curdate to current date
set minutes of curdate to 0
set seconds of curdate to 0
set hours of curdate to 0
set outsidedate to (curdate + (86400 * 2))
set myevents to {}
tell application "Microsoft Outlook"
	tell calendar "Calendar"
		set theEvents to every calendar event whose (start time > (curdate - 300)) and (start time < (outsidedate))
		repeat with anEvent in theEvents
			set MeetingLocation to location of anEvent
			if MeetingLocation is missing value then set MeetingLocation to ""
			set MeetingTitle to subject of anEvent
			if MeetingTitle is missing value then set MeetingTitle to ""
			set MeetingDescription to plain text content of anEvent
			if MeetingDescription is missing value then set MeetingDescription to ""
			set st to start time of anEvent
			set sm to minutes of st
			set sh to hours of st
			set smon to month of st as integer
			set syear to year of st
			set sday to day of st
			set et to end time of anEvent
			set em to minutes of et
			set eh to hours of et
			set emon to month of et as integer
			set eyear to year of et
			set eday to day of et
			set Ztimezone to timezone of anEvent
			set end of myevents to {title:MeetingTitle, location:MeetingLocation, sday:sday, smonth:smon, syear:syear, sminutes:sm, shours:sh, eday:eday, emonth:emon, eyear:eyear, eminutes:em, ehours:eh, timezone:Ztimezone, description:MeetingDescription}
		end repeat
	end tell
end tell
return myevents
)");
}

QString outlookCreateScript(const QString& joinLink, const QString& description) {
    return QStringLiteral("tell application \"Microsoft Outlook\"\n") + QLatin1String(kEventTimes) +
           QStringLiteral(
               "\tset newEvent to make new calendar event with properties {subject:\"Velora "
               "Meeting\", location:%1, plain text content:%2, start time:startTime, "
               "end time:endTime}\n"
               "\topen newEvent\n"
               "\tactivate newEvent\n"
               "end tell\n")
               .arg(quoted(QStringLiteral("Velora Video Conference - ") + joinLink),
                    quoted(singleLineBreaks(description)));
}

QString calendarCreateScript(const QString& joinLink, const QString& description,
                             const std::optional<QString>& calendarId, const QString& email) {
    QString choose;
    if (calendarId) {
        choose = QStringLiteral("\tset ac to title of first calendar whose uid is %1\n")
                     .arg(quoted(*calendarId));
    } else {
        const QString mail = quoted(email);
        choose = QStringLiteral("\tset allCalendarNames to title of every calendar\n"
                                "\tif allCalendarNames contains %1 then\n"
                                "\t\tset ac to %1\n"
                                "\telse if allCalendarNames contains \"Work\" then\n"
                                "\t\tset ac to \"Work\"\n"
                                "\telse\n"
                                "\t\tset ac to title of first calendar\n"
                                "\tend if\n")
                     .arg(mail);
    }
    const QString link = quoted(joinLink);
    return QStringLiteral("tell application \"Calendar\"\n"
                          "\tswitch view to day view\n") +
           choose + QStringLiteral("\ttell calendar ac\n") +
           indented(QLatin1String(kEventTimes), QStringLiteral("\t")) +
           QStringLiteral("\t\tset newEvent to make new event with properties {description:%1, "
                          "summary:\"Velora Meeting\", url:%2, location:%2, start date:startTime, "
                          "end date:endTime}\n"
                          "\t\tshow newEvent\n"
                          "\tend tell\n"
                          "end tell\n"
                          "tell application \"System Events\"\n"
                          "\tkeystroke \"e\" using {command down}\n"
                          "end tell\n")
               .arg(quoted(singleLineBreaks(description)), link);
}

std::optional<QString> calendarIdFrom(const QVariant& calDefaultCalendar) {
    if (calDefaultCalendar.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString id = calDefaultCalendar.toString();
    if (id.isEmpty() || id == QStringLiteral("UseLastSelectedAsDefaultCalendar"))
        return std::nullopt;
    return id;
}

std::optional<QVariant> parseValue(const QString& source) {
    return ValueReader(source).document();
}

} // namespace CalendarScripts
