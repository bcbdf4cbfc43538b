// libFuzzer target: any bytes as a calendar feed. Reading ends, stays within its window and
// caps, and every record it gives is one the list can place.
#include "Calendars/IcsFeedParser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IcsFeedParser::Options options;
    options.windowStartMs = 1772409600000; // 2026-03-02
    options.windowEndMs = options.windowStartMs + 14 * 86400000LL;
    options.ownEmail = QStringLiteral("me@example.com");
    options.maxRecords = 200;
    options.maxStepsPerEvent = 20000;
    const IcsFeedParser::Result result = IcsFeedParser::parse(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), options);
    if (!result.error.isEmpty() && !result.records.isEmpty())
        std::abort();
    if (result.records.size() > options.maxRecords)
        std::abort();
    for (const QVariant& item : result.records) {
        const QVariantMap r = item.toMap();
        const double start = r.value(QStringLiteral("start")).toDouble();
        const double end = r.value(QStringLiteral("end")).toDouble();
        if (end < start || start >= double(options.windowEndMs) ||
            end <= double(options.windowStartMs) ||
            r.value(QStringLiteral("numericMeetingId")).toString().isEmpty())
            std::abort();
    }
    return 0;
}
