#include "SchedulerValidation.h"

#include <QRegularExpression>

SchedulerValidation::Attendees SchedulerValidation::checkAttendees(const QString& text) {
    Attendees result;
    if (text.isEmpty()) {
        return result;
    }
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() > kMaxAttendees) {
        result.error = QStringLiteral("Maximum 100 attendees are allowed per meeting.");
        return result;
    }
    for (int i = 0; i < parts.size(); ++i) {
        const QString address = trimmed(parts[i]);
        if (!isValidEmail(address)) {
            result.error = QStringLiteral("Invalid email address found");
            result.failedIndex = i;
            result.emails.clear();
            return result;
        }
        result.emails.append(address);
    }
    return result;
}

std::optional<QString> SchedulerValidation::checkNotes(const QString& notes) {
    if (notes.size() <= kMaxNotes) {
        return std::nullopt;
    }
    return QStringLiteral("Notes can be at most 1000 characters (has %1).").arg(notes.size());
}

bool SchedulerValidation::isValidEmail(const QString& address) {
    // Top-level domains of any length from two letters (".museum", ".company" are real).
    static const QRegularExpression pattern(
        QStringLiteral("\\A[A-Z0-9a-z._%+-]+@([A-Za-z0-9-]+\\.)+[A-Za-z]{2,}\\z"));
    return pattern.match(address).hasMatch();
}

QString SchedulerValidation::trimmed(const QString& part) {
    qsizetype begin = 0;
    qsizetype end = part.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    while (begin < end && blank(part[begin])) {
        ++begin;
    }
    while (end > begin && blank(part[end - 1])) {
        --end;
    }
    return part.mid(begin, end - begin);
}
