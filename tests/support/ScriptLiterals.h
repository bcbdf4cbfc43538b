#pragma once

#include "Calendars/CalendarScripts.h"

#include <QString>
#include <QStringList>
#include <optional>

// Reads scripts back in tests: checks that values inserted into a script stay inside their
// string literal. Header-only, so the fuzz targets can use it without the test libraries.
namespace ScriptLiterals {

// The string literals of a script, unescaped, in order; nothing when a literal is not closed.
inline std::optional<QStringList> stringLiterals(const QString& script) {
    QStringList literals;
    const qsizetype n = script.size();
    qsizetype i = 0;
    auto skipLine = [&] {
        while (i < n && script[i] != u'\n' && script[i] != u'\r')
            ++i;
    };
    while (i < n) {
        const QChar c = script[i];
        if (c == u'-' && i + 1 < n && script[i + 1] == u'-') {
            skipLine();
        } else if (c == u'#') {
            skipLine();
        } else if (c == u'(' && i + 1 < n && script[i + 1] == u'*') {
            int depth = 0; // block comments nest
            while (i < n) {
                if (script[i] == u'(' && i + 1 < n && script[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (script[i] == u'*' && i + 1 < n && script[i + 1] == u')') {
                    i += 2;
                    if (--depth == 0)
                        break;
                } else {
                    ++i;
                }
            }
            if (depth != 0)
                return std::nullopt;
        } else if (c == u'"') {
            const qsizetype start = i;
            ++i;
            while (i < n && script[i] != u'"')
                i += script[i] == u'\\' ? 2 : 1;
            if (i >= n)
                return std::nullopt;
            ++i;
            auto value = CalendarScripts::parseValue(script.mid(start, i - start));
            if (!value)
                return std::nullopt;
            literals << value->toString();
        } else {
            ++i;
        }
    }
    return literals;
}

} // namespace ScriptLiterals
