// Opening the scheduler popover (construction to first paint) with 500 contacts and the full
// time-zone list, next to opening the menu popover, in the same run. The first opening of the
// process also builds the zone list; it is reported as "first_open_ms". Needs a display (run
// under scripts/with-test-env).
#include "Menu/MenuPopover.h"
#include "Models/TamberDataModel.h"
#include "Scheduler/CustomTokenField.h"
#include "Scheduler/SchedulerPopover.h"
#include "Scheduler/SchedulerViewController.h"
#include "Scheduler/TimeZoneItems.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

QStringList fiveHundredContacts() {
    QStringList contacts;
    for (int i = 0; i < 500; ++i)
        contacts << QStringLiteral("colleague.%1@example.com").arg(i, 3, 10, QLatin1Char('0'));
    return contacts;
}

bool haveWidgets(benchmark::State& state) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    state.SkipWithError("no display: run under scripts/with-test-env");
    return false;
}

// Service calls made on the way (contacts, the menu's list) fail at once: nothing listens.
void offline() {
    TamberDataModel::sharedData()->apiHost = QStringLiteral("127.0.0.1:9");
    TamberDataModel::sharedData()->firstName = QStringLiteral("Ada");
}

double openScheduler(const QStringList& contacts) {
    QElapsedTimer timer;
    timer.start();
    auto popover = std::make_unique<SchedulerPopover>(QVariantMap());
    popover->schedulerViewController()->invitees()->setContacts(contacts);
    popover->showPopover(QRect());
    popover->repaint();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // Not kept as a draft: this form is thrown away.
    popover->schedulerViewController()->cancelScheduling();
    popover->hidePopover();
    return ms;
}

void BM_OpenSchedulerPopover(benchmark::State& state) {
    if (!haveWidgets(state))
        return;
    offline();
    const QStringList contacts = fiveHundredContacts();
    static double firstOpen = -1;
    if (firstOpen < 0)
        firstOpen = openScheduler(contacts);
    for (auto _ : state) {
        state.SetIterationTime(openScheduler(contacts) / 1000.0);
        QApplication::processEvents();
    }
    state.counters["first_open_ms"] = firstOpen;
    state.counters["zones"] = double(TimeZoneItems::shared().size());
}

void BM_OpenMenuPopover(benchmark::State& state) {
    if (!haveWidgets(state))
        return;
    offline();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto popover = std::make_unique<MenuPopover>();
        popover->showPopover(QRect());
        popover->repaint();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        popover->hidePopover();
        popover.reset();
        QApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_OpenMenuPopover)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OpenSchedulerPopover)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
