#include "LogRedactor.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Longer names such as app_access_token are found through the word they end with.
constexpr QLatin1StringView kKeys[] = {"access_token"_L1, "refresh_token"_L1, "client_secret"_L1,
                                       "password"_L1, "passcode"_L1};

bool isKeyChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}
bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}
bool endsPlainValue(QChar c) {
    return c == u'&' || c.isSpace() || isQuote(c) || c == u'\\';
}

struct Match {
    qsizetype start; // first character replaced (a quote before the key included)
    qsizetype end;   // one past the value
    qsizetype keyStart;
    qsizetype keyEnd;
};

bool mayHoldSecret(const QString& text) {
    if (!text.contains(u'=') && !text.contains(u':'))
        return false;
    return text.contains("_token"_L1, Qt::CaseInsensitive) ||
           text.contains("password"_L1, Qt::CaseInsensitive) ||
           text.contains("passcode"_L1, Qt::CaseInsensitive) ||
           text.contains("_secret"_L1, Qt::CaseInsensitive);
}

// End of a quoted value starting at the opening quote at i (escaped when it is \" or \').
qsizetype quotedValueEnd(const QString& text, qsizetype i) {
    const qsizetype n = text.size();
    if (text[i] == u'\\') {
        const QChar quote = text[i + 1];
        for (qsizetype j = i + 2; j + 1 < n; ++j) {
            if (text[j] == u'\\' && text[j + 1] == quote)
                return j + 2;
        }
        return n;
    }
    const QChar quote = text[i];
    for (qsizetype j = i + 1; j < n; ++j) {
        if (text[j] == u'\\')
            ++j;
        else if (text[j] == quote)
            return j + 1;
    }
    return n; // unterminated: hide the rest rather than leak it
}

std::optional<Match> matchAt(const QString& text, qsizetype pos, qsizetype keyLength) {
    const qsizetype n = text.size();
    Match m{pos, 0, pos, pos + keyLength};
    if (m.keyEnd < n && isKeyChar(text[m.keyEnd]))
        return std::nullopt; // "access_tokens", "PASSWORD_CONFIG"
    while (m.keyStart > 0 && isKeyChar(text[m.keyStart - 1]))
        --m.keyStart;
    m.start = m.keyStart;
    if (m.start > 0 && isQuote(text[m.start - 1])) {
        --m.start;
        if (m.start > 0 && text[m.start - 1] == u'\\')
            --m.start;
    }

    qsizetype i = m.keyEnd;
    if (i + 1 < n && text[i] == u'\\' && isQuote(text[i + 1]))
        i += 2;
    else if (i < n && isQuote(text[i]))
        ++i;
    while (i < n && text[i].isSpace())
        ++i;
    if (i >= n || (text[i] != u'=' && text[i] != u':'))
        return std::nullopt;
    ++i;
    while (i < n && text[i].isSpace())
        ++i;

    if (i < n && (isQuote(text[i]) || (text[i] == u'\\' && i + 1 < n && isQuote(text[i + 1])))) {
        m.end = quotedValueEnd(text, i);
    } else {
        while (i < n && !endsPlainValue(text[i]))
            ++i;
        m.end = i;
    }
    return m;
}

} // namespace

QString LogRedactor::redact(const QString& text) {
    if (!mayHoldSecret(text))
        return text;
    QString out = text;
    for (const QLatin1StringView key : kKeys) {
        qsizetype from = 0;
        qsizetype pos;
        while ((pos = out.indexOf(key, from, Qt::CaseInsensitive)) >= 0) {
            from = pos + key.size();
            const std::optional<Match> m = matchAt(out, pos, key.size());
            if (!m)
                continue;
            const QString replacement =
                out.mid(m->keyStart, m->keyEnd - m->keyStart) + "=<redacted>"_L1;
            out.replace(m->start, m->end - m->start, replacement);
            from = m->start + replacement.size();
        }
    }
    return out;
}
