// A calendar feed of 10,000 events (half of them weekly or daily series, a third in New York
// time, each with a meeting link and a paragraph of text): libical's own parse of the bytes next
// to the whole reading into the 14-day window (parse, expansion, records). BM_IcsFeedMainThread
// reads the same feed through CalendarFeeds from a file while a 1 ms timer runs on the main
// thread, and reports the longest gap between its ticks (main_gap_ms).
#include "Calendars/CalendarFeeds.h"
#include "Calendars/IcsFeedParser.h"
#include "Models/TamberDataModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <libical/ical.h>

namespace {

QByteArray stamp(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray bigFeed() {
    static QByteArray feed;
    if (!feed.isEmpty())
        return feed;
    const QDateTime base = QDate::currentDate().startOfDay(Qt::UTC);
    feed = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n";
    for (int i = 0; i < 10000; ++i) {
        // Spread over the past year and the coming month.
        const QDateTime start = base.addDays(i % 395 - 365).addSecs(3600 * (8 + i % 9));
        QByteArray e = "BEGIN:VEVENT\r\nUID:event-" + QByteArray::number(i) +
                       "@bench\r\nDTSTAMP:" + stamp(base) + "\r\n";
        if (i % 3 == 0) {
            const QDateTime ny = start.toTimeZone(QTimeZone("America/New_York"));
            e += "DTSTART;TZID=America/New_York:" +
                 ny.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1() + "\r\n";
            e += "DTEND;TZID=America/New_York:" +
                 ny.addSecs(1800).toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1() + "\r\n";
        } else {
            e += "DTSTART:" + stamp(start) + "\r\nDTEND:" + stamp(start.addSecs(3600)) + "\r\n";
        }
        if (i % 2 == 0)
            e +=
                i % 4 == 0 ? "RRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n" : "RRULE:FREQ=DAILY;COUNT=400\r\n";
        e += "SUMMARY:Meeting number " + QByteArray::number(i) +
             "\r\nLOCATION:https://velora.example/" + QByteArray::number(1000000 + i) +
             "/4321\r\nDESCRIPTION:Agenda: review the open items\\, decide the next steps and "
             "agree on owners. Dial in with the link in the location; the passcode is in the "
             "link.\r\nATTENDEE;PARTSTAT=ACCEPTED:mailto:someone@example.com\r\nEND:VEVENT\r\n";
        feed += e;
    }
    feed += "END:VCALENDAR\r\n";
    return feed;
}

IcsFeedParser::Options window() {
    IcsFeedParser::Options options;
    options.windowStartMs = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    options.windowEndMs = options.windowStartMs + 14 * 86400000LL;
    options.maxRecords = 1 << 30;
    return options;
}

void BM_IcsLibicalParse(benchmark::State& state) {
    const QByteArray feed = bigFeed();
    for (auto _ : state) {
        icalcomponent* root = icalparser_parse_string(feed.constData());
        benchmark::DoNotOptimize(root);
        icalcomponent_free(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * feed.size());
}

void BM_IcsFeedIntoWindow(benchmark::State& state) {
    const QByteArray feed = bigFeed();
    qsizetype records = 0;
    for (auto _ : state) {
        const IcsFeedParser::Result result = IcsFeedParser::parse(feed, window());
        records = result.records.size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = double(records);
    state.SetBytesProcessed(int64_t(state.iterations()) * feed.size());
}

void BM_IcsFeedMainThread(benchmark::State& state) {
    QTemporaryDir dir;
    QFile file(dir.filePath("big.ics"));
    file.open(QIODevice::WriteOnly);
    file.write(bigFeed());
    file.close();
    TamberDataModel::sharedData()->calendarFeeds = QStringList{file.fileName()};
    qint64 worst = 0;
    for (auto _ : state) {
        CalendarFeeds feeds(dir.filePath("cache"));
        QEventLoop loop;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            worst = std::max(worst, sinceTick.restart());
            if (!feeds.isBusy() && !feeds.meetings().isEmpty())
                loop.quit();
        });
        sinceTick.start();
        tick.start();
        feeds.refresh(true);
        loop.exec();
    }
    state.counters["main_gap_ms"] = double(worst);
    TamberDataModel::sharedData()->calendarFeeds = QVariant();
}

} // namespace

BENCHMARK(BM_IcsLibicalParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcsFeedIntoWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcsFeedMainThread)->Unit(benchmark::kMillisecond)->Iterations(3);
