#include "MeetingLinkRecognizer.h"

#include "Platform/BundleInfo.h"

#include <QRegularExpression>
#include <QStringView>

namespace {

bool isHostChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u'-' || u == u'.';
}

// ASCII digits only: a meeting id goes into a join address.
bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

qsizetype skipDigits(QStringView text, qsizetype at) {
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

// The link whose host starts at `hostStart` (just after "://"), if it is one. The host is the
// whole run of host characters there: the '/' that must follow it is no host character.
std::optional<QVariantMap> linkAt(QStringView text, qsizetype hostStart, QStringView domain) {
    qsizetype hostEnd = hostStart;
    while (hostEnd < text.size() && isHostChar(text[hostEnd]))
        ++hostEnd;
    const QStringView host = text.sliced(hostStart, hostEnd - hostStart);
    if (!host.endsWith(domain))
        return std::nullopt;
    if (host.size() > domain.size() && host[host.size() - domain.size() - 1] != u'.')
        return std::nullopt; // "evilvelora.example": not a label of its own
    if (hostEnd >= text.size() || text[hostEnd] != u'/')
        return std::nullopt;
    const qsizetype idStart = hostEnd + 1;
    const qsizetype idEnd = skipDigits(text, idStart);
    if (idEnd == idStart)
        return std::nullopt;

    QVariantMap result;
    result.insert(QStringLiteral("numericMeetingId"),
                  text.sliced(idStart, idEnd - idStart).toString());
    result.insert(QStringLiteral("meetingDomain"), host.toString());
    if (idEnd + 1 < text.size() && text[idEnd] == u'/' && isDigit(text[idEnd + 1])) {
        const qsizetype passEnd = skipDigits(text, idEnd + 1);
        result.insert(QStringLiteral("addAttendeePasscode"), true);
        result.insert(QStringLiteral("attendeePasscode"),
                      text.sliced(idEnd + 1, passEnd - idEnd - 1).toString());
    }
    return result;
}

} // namespace

namespace MeetingLinkRecognizer {

std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text) {
    return extractMeetingIdAndPasscode(text, BundleInfo::meetingLinkDomain());
}

std::optional<QVariantMap> extractMeetingIdAndPasscode(const std::optional<QString>& text,
                                                       const QString& domain) {
    if (!text || domain.isEmpty())
        return std::nullopt;
    const QStringView view(*text);
    // Candidate starts are the "http" of "http://" or "https://", tried left to right. Two
    // candidates' host runs overlap by at most the "http(s)" of the later one, so the whole
    // scan stays linear.
    qsizetype from = 0;
    while (true) {
        const qsizetype at = view.indexOf(u"http", from);
        if (at < 0)
            return std::nullopt;
        qsizetype p = at + 4;
        if (p < view.size() && view[p] == u's')
            ++p;
        if (view.sliced(p).startsWith(u"://")) {
            if (auto link = linkAt(view, p + 3, domain))
                return link;
        }
        from = at + 1;
    }
}

} // namespace MeetingLinkRecognizer
