#include "Models/TamberDataModel.h"
#include "RecordEdit.h"
#include "Reminders/ReminderClock.h"
#include "Reminders/ReminderPlan.h"
#include "Reminders/ReminderScheduler.h"
#include "TestEnvironment.h"

#include <QSignalSpy>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const qint64 kT0 =
    QDateTime(QDate(2026, 12, 7), QTime(10, 0), QTimeZone::utc()).toMSecsSinceEpoch();

qint64 at(double minutes) {
    return kT0 + qint64(minutes * 60000);
}

class FakeClock final : public ReminderClock {
public:
    qint64 now = kT0;
    qint64 nowMs() const override { return now; }
};

// A service meeting starting `start` minutes after kT0.
QVariantMap meeting(const QString& title, int id, double start, double minutes = 30) {
    return {{u"title"_s, title},
            {u"id"_s, id},
            {u"numericMeetingId"_s, QString::number(700000000 + id)},
            {u"calendar_entry_type"_s, u"velora"_s},
            {u"start"_s, at(start)},
            {u"end"_s, at(start + minutes)}};
}

QList<MeetingOccurrence> occurrences(const QList<QVariantMap>& records) {
    QList<MeetingOccurrence> list;
    for (const QVariantMap& record : records) {
        if (auto occurrence = MeetingOccurrence::from(MeetingRecord(record)))
            list.append(*occurrence);
    }
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return a.startMs < b.startMs; });
    return list;
}

// One moment of a run: the clock moves to `minute`; a new list arrives (when given), or the
// application restarts, or the timer's wake-up is simulated; what is reminded is compared.
struct Step {
    double minute;
    std::optional<QList<QVariantMap>> list = std::nullopt;
    QString due = {}; // titles, comma-separated, or "#<count>"
    int withdrawn = 0;
    bool restart = false;
};

const QVariantMap kA = meeting(u"A"_s, 1, 10);

// kA as a daily series whose next occurrence starts `next` minutes after kT0.
QVariantMap daily(double next) {
    const QVariantMap pattern{{u"recurrenceType"_s, u"DAILY"_s}};
    return with(with(kA, u"recurrencePattern"_s, pattern), u"nextStart"_s, at(next));
}

} // namespace

Q_DECLARE_METATYPE(Step)

class tst_ReminderScheduler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { TamberDataModel::sharedData()->apiHost = u"api.velora.example"_s; }
    void remindsOncePerOccurrence_data();
    void remindsOncePerOccurrence();
    void nextMeetingChoice_data();
    void nextMeetingChoice();
};

void tst_ReminderScheduler::remindsOncePerOccurrence_data() {
    QTest::addColumn<int>("lead"); // -1: off
    QTest::addColumn<QList<Step>>("steps");
    const QList<QVariantMap> a{kA};

    QTest::newRow("one minute before, once")
        << 1 << QList<Step>{{0, a}, {8.9}, {9, {}, u"A"_s}, {9.5}, {10}, {11}};
    QTest::newRow("at start") << 0 << QList<Step>{{0, a}, {9.99}, {10, {}, u"A"_s}};
    QTest::newRow("ten minutes, list arriving late") << 10 << QList<Step>{{0.5, a, u"A"_s}, {1}};
    QTest::newRow("off") << -1 << QList<Step>{{0, a}, {9}, {10}};
    QTest::newRow("draft, no meeting id, calendar without link")
        << 1
        << QList<Step>{
               {0, QList<QVariantMap>{with(kA, u"meetingDraftGuid"_s, u"d-1"_s),
                                      with(meeting(u"B"_s, 2, 10), u"numericMeetingId"_s, {}),
                                      with(with(meeting(u"C"_s, 3, 10), u"id"_s, {}),
                                           u"calendar_entry_type"_s, u"ical"_s),
                                      with(with(with(meeting(u"D"_s, 4, 10), u"id"_s, {}),
                                                u"numericMeetingId"_s, {}),
                                           u"calendar_entry_type"_s, u"ical"_s)}},
               {9, {}, u"C"_s}};
    QTest::newRow("started long ago or finished: stale after suspend")
        << 1 << QList<Step>{{12, QList<QVariantMap>{kA, meeting(u"B"_s, 2, -60)}}, {13}};
    QTest::newRow("late start of the application, just after the start")
        << 1 << QList<Step>{{10.5, a, u"A"_s}};
    QTest::newRow("renamed after the reminder")
        << 1
        << QList<Step>{{0, a},
                       {9, {}, u"A"_s},
                       {9.5, QList<QVariantMap>{with(kA, u"title"_s, u"A2"_s)}},
                       {10}};
    QTest::newRow("moved after the reminder: withdrawn, reminded at its new time")
        << 1
        << QList<Step>{{0, a},
                       {9, {}, u"A"_s},
                       {9.5, QList<QVariantMap>{with(kA, u"start"_s, at(30))}, {}, 1},
                       {28.9},
                       {29, {}, u"A"_s}};
    QTest::newRow("cancelled before its reminder")
        << 1 << QList<Step>{{0, a}, {5, QList<QVariantMap>{}}, {9}};
    QTest::newRow("series: each occurrence")
        << 1
        << QList<Step>{{0, QList<QVariantMap>{daily(10)}},
                       {9, {}, u"A"_s},
                       {45, QList<QVariantMap>{daily(10 + 1440)}},
                       {1449, {}, u"A"_s}};
    QTest::newRow("restart within the lead time")
        << 5 << QList<Step>{{0, a}, {5, {}, u"A"_s}, {6, a, {}, 0, true}, {9}};
    QTest::newRow("clock set back and forward again")
        << 1 << QList<Step>{{0, a}, {9, {}, u"A"_s}, {2}, {9.2}};
    QList<QVariantMap> crowd;
    for (int i = 0; i < 200; ++i)
        crowd.append(meeting(u"M%1"_s.arg(i), 100 + i, 10));
    QTest::newRow("200 at the same minute: one batch")
        << 1 << QList<Step>{{0, crowd}, {9, {}, u"#200"_s}, {9.5}};
}

void tst_ReminderScheduler::remindsOncePerOccurrence() {
    QFETCH(int, lead);
    QFETCH(QList<Step>, steps);
    FakeClock clock;
    QHash<QString, qint64> kept;
    QList<QVariantMap> list;
    std::unique_ptr<ReminderScheduler> scheduler;
    auto launch = [&] {
        scheduler = std::make_unique<ReminderScheduler>(clock);
        scheduler->setReminded(kept);
        scheduler->setLeadMinutes(lead < 0 ? std::nullopt : std::optional<int>(lead));
        scheduler->setOccurrences(occurrences(list));
    };
    launch();
    for (const Step& step : steps) {
        clock.now = at(step.minute);
        QSignalSpy due(scheduler.get(), &ReminderScheduler::due);
        QSignalSpy withdrawn(scheduler.get(), &ReminderScheduler::withdrawn);
        if (step.list)
            list = *step.list;
        if (step.restart) {
            launch();
            due.clear();
        } else if (step.list) {
            scheduler->setOccurrences(occurrences(list));
        } else {
            // The timer must have been armed for this moment, or later.
            if (!step.due.isEmpty())
                QCOMPARE(scheduler->nextDueMs().value_or(-1), clock.now - (clock.now % 60000));
            scheduler->evaluate();
        }
        QStringList titles;
        for (const QVariantList& args : std::as_const(due)) {
            const auto batch = args.at(0).value<QList<MeetingOccurrence>>();
            if (batch.size() > 3) {
                titles << u"#%1"_s.arg(batch.size());
                continue;
            }
            for (const MeetingOccurrence& o : batch)
                titles << o.title;
        }
        QCOMPARE(titles.join(u','), step.due);
        QCOMPARE(withdrawn.isEmpty() ? 0 : withdrawn.at(0).at(0).toStringList().size(),
                 step.withdrawn);
        kept = scheduler->reminded();
    }
}

void tst_ReminderScheduler::nextMeetingChoice_data() {
    QTest::addColumn<QList<QVariantMap>>("list");
    QTest::addColumn<double>("now");
    QTest::addColumn<QString>("join"); // empty: nothing to join
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("none") << QList<QVariantMap>{} << 0.0 << QString() << u"No upcoming meetings"_s;
    QTest::newRow("next within the hour") << QList<QVariantMap>{kA, meeting(u"B"_s, 2, 50)} << 0.0
                                          << u"A"_s << u"Next: A at 10:10 AM"_s;
    QTest::newRow("beyond the hour: tooltip only") << QList<QVariantMap>{meeting(u"B"_s, 2, 61)}
                                                   << 0.0 << QString() << u"Next: B at 11:01 AM"_s;
    QTest::newRow("running, another about to start")
        << QList<QVariantMap>{meeting(u"R"_s, 2, -50, 120), kA} << 9.0 << u"A"_s
        << u"Next: A at 10:10 AM"_s;
    QTest::newRow("just started wins over later")
        << QList<QVariantMap>{meeting(u"R"_s, 2, -2, 60), meeting(u"B"_s, 3, 40)} << 0.0 << u"R"_s
        << u"In progress: R (until 10:58 AM)"_s;
    QTest::newRow("draft and finished are never chosen")
        << QList<QVariantMap>{with(kA, u"meetingDraftGuid"_s, u"g"_s),
                              meeting(u"Old"_s, 2, -90, 30)}
        << 0.0 << QString() << u"No upcoming meetings"_s;
    QTest::newRow("tomorrow") << QList<QVariantMap>{meeting(u"T"_s, 2, 1440)} << 0.0 << QString()
                              << u"Next: T at Tue Dec 8, 10:00 AM"_s;
}

void tst_ReminderScheduler::nextMeetingChoice() {
    QFETCH(QList<QVariantMap>, list);
    QFETCH(double, now);
    QFETCH(QString, join);
    QFETCH(QString, toolTip);
    const auto all = occurrences(list);
    const auto next = ReminderPlan::nextToJoin(all, at(now));
    QCOMPARE(next ? next->title : QString(), join);
    QCOMPARE(ReminderPlan::toolTip(all, at(now), QTimeZone::utc()), toolTip);
}

TAMBER_TEST_MAIN_CORE(tst_ReminderScheduler)
#include "tst_ReminderScheduler.moc"
