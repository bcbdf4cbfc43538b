#pragma once

#include <QString>
#include <QtGlobal>
#include <limits>

// Turns a time into "yyyy-MM-dd HH:mm:ss.SSS" in the local time zone. Converting to local time is
// the expensive part, so the date and time up to the second are kept and reused until the second
// changes. Not thread-safe: one instance per thread, or one guarded by its owner.
class LogDateFormatter {
public:
    static constexpr int kLength = 23;

    // Writes kLength characters (no terminator) to out.
    void format(qint64 msecsSinceEpoch, char* out);
    QString stringFromMsecs(qint64 msecsSinceEpoch);

private:
    qint64 m_cachedSecond = std::numeric_limits<qint64>::min();
    char m_prefix[20] = {}; // "yyyy-MM-dd HH:mm:ss."
};
