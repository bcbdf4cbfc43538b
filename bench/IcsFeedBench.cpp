// A calendar feed of 10,000 events (half of them weekly or daily series, a third in New York
// time, each with a meeting link and a paragraph of text): libical's own parse of the bytes next
// to the whole reading into the 14-day window (parse, expansion, records), in the same run with
// their ratio. BM_IcsFeedMainThread reads the same feed from a file the way the app does while
// a 1 ms timer runs on the main thread.
#include "Calendars/CalendarFeeds.h"
#include "Calendars/IcsFeedParser.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Models/MeetingAggregator.h"
#include "Models/TamberDataModel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>
#include <libical/ical.h>
#include <memory>

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

// Both readings of the same bytes in each iteration, in alternating order; the ratio is the
// goal's measure (a shared machine slows both alike).
void BM_IcsFeedVsLibical(benchmark::State& state) {
    const QByteArray feed = bigFeed();
    qint64 libicalNs = 0, feedNs = 0;
    qsizetype records = 0;
    bool libicalFirst = true;
    for (auto _ : state) {
        QElapsedTimer timer;
        auto libical = [&] {
            timer.start();
            icalcomponent* root = icalparser_parse_string(feed.constData());
            benchmark::DoNotOptimize(root);
            icalcomponent_free(root);
            libicalNs += timer.nsecsElapsed();
        };
        auto ours = [&] {
            timer.start();
            const IcsFeedParser::Result result = IcsFeedParser::parse(feed, window());
            records = result.records.size();
            feedNs += timer.nsecsElapsed();
        };
        if (libicalFirst) {
            libical();
            ours();
        } else {
            ours();
            libical();
        }
        libicalFirst = !libicalFirst;
    }
    const double n = double(state.iterations());
    state.counters["libical_ms"] = double(libicalNs) / n / 1e6;
    state.counters["feed_ms"] = double(feedNs) / n / 1e6;
    state.counters["ratio"] = double(feedNs) / double(std::max<qint64>(1, libicalNs));
    state.counters["records"] = double(records);
}

qint64 threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The app's path: the worker reads and parses, the main thread takes the result, merges it into
// day buckets and reloads the list (shown, when there is a display). main_gap_ms is the longest
// wall time between two ticks of a 1 ms timer; main_cpu_ms the main thread's own CPU time in
// that longest stretch of its own, which a busy shared machine does not inflate.
void BM_IcsFeedMainThread(benchmark::State& state) {
    QTemporaryDir dir;
    QFile file(dir.filePath("big.ics"));
    file.open(QIODevice::WriteOnly);
    file.write(bigFeed());
    file.close();
    TamberDataModel::sharedData()->calendarFeeds = QStringList{file.fileName()};
    std::unique_ptr<UpcomingMeetingsListView> view;
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        view = std::make_unique<UpcomingMeetingsListView>();
        view->resize(324, 400);
        view->show();
    }
    UpcomingMeetingsListModel ownModel;
    UpcomingMeetingsListModel& model = view ? *view->meetingsModel() : ownModel;
    qint64 worstWall = 0, worstCpu = 0;
    int rows = 0;
    for (auto _ : state) {
        CalendarFeeds feeds(dir.filePath("cache"));
        bool listed = false;
        QObject::connect(&feeds, &CalendarFeeds::meetingsChanged, [&] {
            const QList<DayBucket> days = MeetingAggregator::merge(feeds.meetings(), {}, {});
            model.setDays(days, QDateTime::currentMSecsSinceEpoch());
            rows = model.rowCount();
            listed = true;
        });
        QEventLoop loop;
        QElapsedTimer sinceTick;
        qint64 cpuAtTick = threadCpuNs();
        int settledTicks = 0; // a few after the list, so its layout and paint are measured
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 cpu = threadCpuNs();
            worstWall = std::max(worstWall, sinceTick.restart());
            worstCpu = std::max(worstCpu, (cpu - cpuAtTick) / 1000000);
            cpuAtTick = cpu;
            if (listed && !feeds.isBusy() && ++settledTicks > 20)
                loop.quit();
        });
        sinceTick.start();
        tick.start();
        feeds.refresh(true);
        loop.exec();
    }
    state.counters["main_gap_ms"] = double(worstWall);
    state.counters["main_cpu_ms"] = double(worstCpu);
    state.counters["rows"] = double(rows);
    TamberDataModel::sharedData()->calendarFeeds = QVariant();
}

} // namespace

BENCHMARK(BM_IcsFeedVsLibical)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcsFeedMainThread)->Unit(benchmark::kMillisecond)->Iterations(3);
