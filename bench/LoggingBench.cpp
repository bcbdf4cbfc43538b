// Cost on the caller's thread of one non-error log line, next to spdlog's asynchronous logger
// writing to a file in the same run.
//
// The plain variants log as fast as the loop goes, which outruns any file writer: there the
// queue's overflow rule decides (Tamber drops and counts, spdlog's default blocks, spdlog's
// overrun variant discards the oldest). The burst variants log 256 lines and then wait, outside
// the timing, until the writer has caught up, so they measure the call alone.
#include "Logging/DetailedLogFormatter.h"
#include "Logging/FileLogger.h"
#include "Logging/Log.h"
#include "Logging/LogDispatcher.h"
#include "Logging/TamberDDLogFileManagerDefault.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <thread>

namespace {

constexpr int kBurst = 256;

struct Setup {
    QTemporaryDir dir;
    std::shared_ptr<spdlog::logger> spdBlocking;
    std::shared_ptr<spdlog::logger> spdOverrun;

    Setup() {
        // The application's file logger settings: 1 MiB files, two kept.
        auto manager =
            std::make_shared<TamberDDLogFileManagerDefault>(dir.filePath("tamber"), "bench");
        manager->setMaximumNumberOfLogFiles(2);
        auto fileLogger = std::make_shared<FileLogger>(manager);
        fileLogger->setLogFormatter(std::make_shared<DetailedLogFormatter>());
        fileLogger->setMaximumFileSize(1024 * 1024);
        fileLogger->setRollingFrequency(24 * 60 * 60);
        LogDispatcher::shared()->addLogger(fileLogger);

        spdlog::init_thread_pool(8192, 1);
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
            dir.filePath("spdlog.log").toStdString(), true);
        spdBlocking = std::make_shared<spdlog::async_logger>(
            "blocking", sink, spdlog::thread_pool(), spdlog::async_overflow_policy::block);
        spdOverrun = std::make_shared<spdlog::async_logger>(
            "overrun", sink, spdlog::thread_pool(), spdlog::async_overflow_policy::overrun_oldest);
        for (auto& logger : {spdBlocking, spdOverrun})
            logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%t] -[%s %!][Line %#] [%l] %v");
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

void drainTamber() {
    LogDispatcher::shared()->flush();
}

void drainSpdlog() {
    while (spdlog::thread_pool()->queue_size() > 0)
        std::this_thread::yield();
}

void BM_TamberLogInfo(benchmark::State& state) {
    setup();
    drainTamber();
    const quint64 droppedBefore = LogDispatcher::shared()->droppedMessageCount();
    int i = 0;
    for (auto _ : state)
        TLOG_INFO(QStringLiteral("Login button action %1").arg(++i));
    state.counters["dropped"] =
        double(LogDispatcher::shared()->droppedMessageCount() - droppedBefore);
    drainTamber();
}

void BM_SpdlogAsyncInfoBlock(benchmark::State& state) {
    auto& logger = *setup().spdBlocking;
    drainSpdlog();
    int i = 0;
    for (auto _ : state)
        logger.info("Login button action {}", ++i);
    drainSpdlog();
}

void BM_SpdlogAsyncInfoOverrun(benchmark::State& state) {
    auto& logger = *setup().spdOverrun;
    drainSpdlog();
    const size_t overrunBefore = spdlog::thread_pool()->overrun_counter();
    int i = 0;
    for (auto _ : state)
        logger.info("Login button action {}", ++i);
    state.counters["dropped"] = double(spdlog::thread_pool()->overrun_counter() - overrunBefore);
    drainSpdlog();
}

template <typename LogOne, typename Drain>
void burst(benchmark::State& state, LogOne logOne, Drain drain) {
    drain();
    int i = 0;
    for (auto _ : state) {
        for (int n = 0; n < kBurst; ++n)
            logOne(++i);
        state.PauseTiming();
        drain();
        state.ResumeTiming();
    }
    state.counters["per_line"] =
        benchmark::Counter(double(state.iterations()) * kBurst,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TamberLogInfoBurst(benchmark::State& state) {
    setup();
    burst(
        state, [](int i) { TLOG_INFO(QStringLiteral("Login button action %1").arg(i)); },
        drainTamber);
}

void BM_SpdlogAsyncInfoBurst(benchmark::State& state) {
    auto& logger = *setup().spdBlocking;
    burst(
        state, [&](int i) { logger.info("Login button action {}", i); }, drainSpdlog);
}

} // namespace

BENCHMARK(BM_TamberLogInfo);
BENCHMARK(BM_SpdlogAsyncInfoBlock);
BENCHMARK(BM_SpdlogAsyncInfoOverrun);
BENCHMARK(BM_TamberLogInfoBurst);
BENCHMARK(BM_SpdlogAsyncInfoBurst);
