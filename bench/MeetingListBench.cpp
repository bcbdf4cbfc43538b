// Scrolling the upcoming-meetings list with 5,000 meetings: the time of one scroll step (move
// by one row, then paint the viewport synchronously) at the top, the middle and the end of the
// list, so a frame time that grows with the position would show. Also the reload itself.
// Needs a display (run under scripts/with-test-env); without one it reports an error.
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"

#include <QApplication>
#include <QDateTime>
#include <QScrollBar>
#include <QTimeZone>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kMeetings = 5000;
constexpr int kPerDay = 10;

QList<DayBucket> fiveThousandMeetings() {
    QList<DayBucket> days;
    const QDateTime first(QDate(2026, 3, 2), QTime(8, 0), QTimeZone("Europe/Berlin"));
    for (int i = 0; i < kMeetings; ++i) {
        const int dayIndex = i / kPerDay;
        if (days.size() <= dayIndex) {
            DayBucket day;
            day.day = first.date().addDays(dayIndex);
            day.description = day.day.toString();
            days << day;
        }
        const QDateTime start = first.addDays(dayIndex).addSecs(3600 * (i % kPerDay));
        QVariantMap record{
            {QStringLiteral("title"),
             QStringLiteral("Planning session %1: roadmap, budget and open issues").arg(i)},
            {QStringLiteral("start"), double(start.toMSecsSinceEpoch())},
            {QStringLiteral("end"), double(start.toMSecsSinceEpoch() + 45 * 60 * 1000)},
            {QStringLiteral("timezone"), QStringLiteral("America/New_York")},
            {QStringLiteral("calendar_entry_type"), QStringLiteral("velora")},
            {QStringLiteral("numericMeetingId"), 700000000.0 + i}};
        if (i % 3 == 0)
            record.insert(QStringLiteral("id"), i);
        if (i % 7 == 0)
            record.insert(
                QStringLiteral("recurrencePattern"),
                QVariantMap{{QStringLiteral("recurrenceType"), QStringLiteral("WEEKLY")}});
        if (i % 11 == 0)
            record.insert(QStringLiteral("meetingDraftGuid"), QStringLiteral("d-%1").arg(i));
        days.last().meetings << record;
    }
    return days;
}

const qint64 kNow =
    QDateTime(QDate(2026, 3, 20), QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch();

std::unique_ptr<UpcomingMeetingsListView> shownList(const QList<DayBucket>& days) {
    auto view = std::make_unique<UpcomingMeetingsListView>();
    view->resize(324, 400);
    view->meetingsModel()->setDays(days, kNow);
    view->show();
    QApplication::processEvents();
    return view;
}

bool haveWidgets(benchmark::State& state) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    state.SkipWithError("no display: run under scripts/with-test-env");
    return false;
}

// One step: scroll down by one meeting row and paint the viewport at once.
void BM_MeetingListScrollStep(benchmark::State& state) {
    if (!haveWidgets(state))
        return;
    const QList<DayBucket> days = fiveThousandMeetings();
    auto view = shownList(days);
    QScrollBar* bar = view->verticalScrollBar();
    const int from = int(qint64(bar->maximum()) * state.range(0) / 100);
    const int span = 400; // stay within a screenful of the starting point
    int offset = 0;
    for (auto _ : state) {
        offset = (offset + 50) % span;
        bar->setValue(qMin(bar->maximum(), from + offset));
        view->viewport()->repaint();
    }
    state.counters["rows"] = view->meetingsModel()->rowCount();
    state.counters["position_%"] = double(state.range(0));
}
BENCHMARK(BM_MeetingListScrollStep)->Arg(0)->Arg(50)->Arg(99)->Unit(benchmark::kMicrosecond);

// One step with the options strip open on a row of the screen (its widget moves along).
void BM_MeetingListScrollStepWithStrip(benchmark::State& state) {
    if (!haveWidgets(state))
        return;
    auto view = shownList(fiveThousandMeetings());
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const QModelIndex first = view->indexAt(QPoint(10, 60));
    int row = first.row();
    while (!view->meetingsModel()->record(row))
        ++row;
    view->toggleOptionsStrip(row);
    const int from = bar->value();
    int offset = 0;
    for (auto _ : state) {
        offset = (offset + 10) % 200;
        bar->setValue(from + offset);
        view->viewport()->repaint();
    }
}
BENCHMARK(BM_MeetingListScrollStepWithStrip)->Unit(benchmark::kMicrosecond);

// A whole reload of 5,000 meetings: rows worked out, view laid out, first screen painted.
void BM_MeetingListReload(benchmark::State& state) {
    if (!haveWidgets(state))
        return;
    const QList<DayBucket> days = fiveThousandMeetings();
    auto view = shownList(days);
    for (auto _ : state) {
        view->meetingsModel()->setDays(days, kNow);
        view->doItemsLayout();
        view->viewport()->repaint();
    }
}
BENCHMARK(BM_MeetingListReload)->Unit(benchmark::kMillisecond);

} // namespace
