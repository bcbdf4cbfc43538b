#include "LogDateFormatter.h"

#include <cstring>
#include <ctime>
#include <limits>

namespace {

qint64 floorDiv(qint64 value, qint64 divisor) {
    qint64 q = value / divisor;
    if ((value % divisor) < 0)
        --q;
    return q;
}

// Writes value as exactly count decimal digits.
void putDigits(char* out, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

} // namespace

void LogDateFormatter::format(qint64 msecsSinceEpoch, char* out) {
    const qint64 second = floorDiv(msecsSinceEpoch, 1000);
    const int millis = int(msecsSinceEpoch - second * 1000);
    if (second != m_cachedSecond) {
        // localtime_r follows TZ and daylight saving; once a second is cheap enough.
        const std::time_t t = std::time_t(second);
        std::tm tm{};
        localtime_r(&t, &tm);
        const int year = (tm.tm_year + 1900) % 10000;
        putDigits(m_prefix, year, 4);
        m_prefix[4] = '-';
        putDigits(m_prefix + 5, tm.tm_mon + 1, 2);
        m_prefix[7] = '-';
        putDigits(m_prefix + 8, tm.tm_mday, 2);
        m_prefix[10] = ' ';
        putDigits(m_prefix + 11, tm.tm_hour, 2);
        m_prefix[13] = ':';
        putDigits(m_prefix + 14, tm.tm_min, 2);
        m_prefix[16] = ':';
        putDigits(m_prefix + 17, tm.tm_sec, 2);
        m_prefix[19] = '.';
        m_cachedSecond = second;
    }
    std::memcpy(out, m_prefix, 20);
    putDigits(out + 20, millis, 3);
}

QString LogDateFormatter::stringFromMsecs(qint64 msecsSinceEpoch) {
    char buffer[kLength];
    format(msecsSinceEpoch, buffer);
    return QString::fromLatin1(buffer, kLength);
}
