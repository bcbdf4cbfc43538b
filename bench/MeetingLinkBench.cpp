// The meeting-link recogniser on adversarial text of 128 KiB to 1 MiB, next to the historic
// pattern in QRegularExpression on the same text. Two inputs: one line of "https://" followed
// by "a.a.a..." (a host that never ends in the domain), and one line of near-miss links
// ("https://x.velora.example/ " again and again: domain, slash, no id). Qt runs the pattern with
// the PCRE2 JIT where it has one, which copes with these inputs; the backtracking interpreter
// (QT_ENABLE_REGEXP_JIT=0, as on platforms without a JIT) is quadratic on the near misses: pick
// the small sizes with --benchmark_filter='LinkRegex_NearMisses/(16|32|64)' there.
#include "../tests/support/LegacyMeetingLinkPattern.h"
#include "Models/MeetingLinkRecognizer.h"

#include <QRegularExpression>
#include <benchmark/benchmark.h>

namespace {

const QString kDomain = QStringLiteral("velora.example");

QString dotsLine(qsizetype bytes) {
    QString s = QStringLiteral("https://");
    s.reserve(bytes + 2);
    while (s.size() < bytes)
        s += QStringLiteral("a.");
    return s;
}

QString nearMissLine(qsizetype bytes) {
    QString s;
    s.reserve(bytes + 32);
    while (s.size() < bytes)
        s += QStringLiteral("https://x.velora.example/ ");
    return s;
}

void scan(benchmark::State& state, QString (*make)(qsizetype)) {
    const QString text = make(state.range(0));
    for (auto _ : state) {
        auto r = MeetingLinkRecognizer::extractMeetingIdAndPasscode(text, kDomain);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void regex(benchmark::State& state, QString (*make)(qsizetype)) {
    const QString text = make(state.range(0));
    const QRegularExpression re(LegacyMeetingLinkPattern::forDomain(kDomain));
    re.optimize();
    for (auto _ : state) {
        auto m = re.match(text);
        benchmark::DoNotOptimize(m);
        if (m.hasMatch())
            state.SkipWithError("unexpected match");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_LinkScanner_Dots(benchmark::State& s) {
    scan(s, dotsLine);
}
void BM_LinkScanner_NearMisses(benchmark::State& s) {
    scan(s, nearMissLine);
}
void BM_LinkRegex_Dots(benchmark::State& s) {
    regex(s, dotsLine);
}
void BM_LinkRegex_NearMisses(benchmark::State& s) {
    regex(s, nearMissLine);
}

} // namespace

BENCHMARK(BM_LinkScanner_Dots)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkScanner_NearMisses)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkRegex_Dots)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkRegex_NearMisses)
    ->RangeMultiplier(2)
    ->Range(16 << 10, 1 << 20)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
