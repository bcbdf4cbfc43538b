#pragma once

#include <QRegularExpression>
#include <QString>

// The meeting-link pattern of earlier releases, for differential tests and benchmarks of the
// recogniser. Header-only, so the benchmarks can use it without the test libraries.
namespace LegacyMeetingLinkPattern {

// https?://(((.*).?)<domain>)/(\d+)(/?(\d+)?)? with the domain's dots left unescaped.
inline QString forDomain(const QString& domain) {
    QString literal;
    for (const QChar c : domain)
        literal += c == u'.' ? QStringLiteral(".") : QRegularExpression::escape(QString(c));
    return QStringLiteral("https?://(((.*).?)") + literal + QStringLiteral(")/(\\d+)(/?(\\d+)?)?");
}

} // namespace LegacyMeetingLinkPattern
