// A 5,000-meeting list reply: reading it (MeetingReplyParser), merging it with 20 drafts into
// day buckets and handing the days to the list model, next to the bare JSON parse of the same
// bytes.
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Models/MeetingAggregator.h"
#include "Models/MeetingReplyParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <benchmark/benchmark.h>

namespace {

constexpr int kMeetings = 5000;
constexpr qint64 kFirst = 1767225600000LL; // 2026-01-01

QByteArray listReply() {
    QJsonArray list;
    for (int i = 0; i < kMeetings; ++i) {
        const qint64 start =
            kFirst + qint64(i % 90) * 86400000LL + qint64(i * 7919 % 600) * 60000LL;
        QJsonObject m{
            {"id", QStringLiteral("m%1").arg(i)},
            {"numericMeetingId", QString::number(7305550000LL + i)},
            {"title", QStringLiteral("Project sync %1: milestones and open questions").arg(i)},
            {"description",
             QStringLiteral("Agenda, notes and the join link https://velora.example/%1").arg(i)},
            {"start", double(start)},
            {"end", double(start + 3600000)},
            {"timezone", i % 3 ? "Europe/Berlin" : "America/New_York"},
            {"attendees", QJsonArray{QJsonObject{{"email", "a@example.com"}},
                                     QJsonObject{{"email", "b@example.com"}}}},
            {"addAttendeePasscode", i % 2 == 0},
            {"advancedMeetingOptions",
             QJsonObject{{"publishMeeting", true}, {"encryptionType", "NO_ENCRYPTION"}}},
        };
        if (i % 10 == 0) {
            m.insert("recurrencePattern",
                     QJsonObject{{"recurrenceType", "WEEKLY"}, {"daysOfWeekMask", 2}});
            m.insert("nextStart", double(start + 7 * 86400000LL));
            m.insert("nextEnd", double(start + 7 * 86400000LL + 3600000));
            m.insert("last", QJsonObject{{"end", double(start + 70 * 86400000LL)}});
        }
        list.append(m);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QVariantMap drafts() {
    QVariantMap out;
    for (int i = 0; i < 20; ++i) {
        const QString guid = QStringLiteral("draft-%1").arg(i);
        out.insert(guid, QVariantMap{{"meetingDraftGuid", guid},
                                     {"title", "Draft"},
                                     {"start", QString::number(kFirst + i * 86400000LL)},
                                     {"end", QString::number(kFirst + i * 86400000LL + 3600000)}});
    }
    return out;
}

void BM_MeetingList_BareJsonParse(benchmark::State& state) {
    const QByteArray body = listReply();
    for (auto _ : state) {
        QJsonDocument doc = QJsonDocument::fromJson(body);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
}

void BM_MeetingList_ParseAndMerge(benchmark::State& state) {
    const QByteArray body = listReply();
    const QVariantMap pending = drafts();
    int rows = 0;
    for (auto _ : state) {
        const auto list = MeetingReplyParser::parseMeetingList(body);
        const QList<DayBucket> days =
            MeetingAggregator::merge({}, list.value_or(QList<QJsonObject>{}), pending);
        rows = MeetingAggregator::rowCount(days);
        benchmark::DoNotOptimize(rows);
    }
    if (rows < kMeetings + 20 + 1)
        state.SkipWithError(qPrintable(QStringLiteral("unexpected row count %1").arg(rows)));
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
}

const qint64 kNow = kFirst + 30 * 86400000LL;

// Reply to list model ready: what a fetch costs the main thread before the first paint.
int pipeline(const QByteArray& body, const QVariantMap& pending, UpcomingMeetingsListModel& model) {
    const auto list = MeetingReplyParser::parseMeetingList(body);
    model.setDays(MeetingAggregator::merge({}, list.value_or(QList<QJsonObject>{}), pending), kNow);
    return model.rowCount();
}

void BM_MeetingList_ParseMergeAndModel(benchmark::State& state) {
    const QByteArray body = listReply();
    const QVariantMap pending = drafts();
    UpcomingMeetingsListModel model;
    int rows = 0;
    for (auto _ : state) {
        rows = pipeline(body, pending, model);
        benchmark::DoNotOptimize(rows);
    }
    if (rows < kMeetings + 20 + 1)
        state.SkipWithError(qPrintable(QStringLiteral("unexpected row count %1").arg(rows)));
}

} // namespace

BENCHMARK(BM_MeetingList_BareJsonParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeetingList_ParseAndMerge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeetingList_ParseMergeAndModel)->Unit(benchmark::kMillisecond);

namespace {

// The parts of the above, to see where the time goes.
void BM_MeetingList_ReadOnly(benchmark::State& state) {
    const QByteArray body = listReply();
    for (auto _ : state) {
        auto list = MeetingReplyParser::parseMeetingList(body);
        benchmark::DoNotOptimize(list);
    }
}

void BM_MeetingList_MergeOnly(benchmark::State& state) {
    const QList<QJsonObject> list =
        MeetingReplyParser::parseMeetingList(listReply()).value_or(QList<QJsonObject>{});
    const QVariantMap pending = drafts();
    for (auto _ : state) {
        auto days = MeetingAggregator::merge({}, list, pending);
        benchmark::DoNotOptimize(days);
    }
}

void BM_MeetingList_ModelOnly(benchmark::State& state) {
    const QList<DayBucket> days = MeetingAggregator::merge(
        {}, MeetingReplyParser::parseMeetingList(listReply()).value_or(QList<QJsonObject>{}),
        drafts());
    UpcomingMeetingsListModel model;
    for (auto _ : state) {
        model.setDays(days, kNow);
        benchmark::DoNotOptimize(model.rowCount());
    }
}

} // namespace

BENCHMARK(BM_MeetingList_ReadOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeetingList_MergeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeetingList_ModelOnly)->Unit(benchmark::kMillisecond);
