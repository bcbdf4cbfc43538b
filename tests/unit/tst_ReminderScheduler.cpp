#include "Models/TamberDataModel.h"
#include "RecordEdit.h"
#include "Reminders/ReminderClock.h"
#include "Reminders/ReminderPlan.h"
#include "Reminders/ReminderScheduler.h"
#include "TestEnvironment.h"

#include <QSignalSpy>
#include <QTimeZone>

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
    return {{QStringLiteral("title"), title},
            {QStringLiteral("id"), id},
            {QStringLiteral("numericMeetingId"), QString::number(700000000 + id)},
            {QStringLiteral("calendar_entry_type"), QStringLiteral("velora")},
            {QStringLiteral("start"), at(start)},
            {QStringLiteral("end"), at(start + minutes)}};
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

const QVariantMap kA = meeting(QStringLiteral("A"), 1, 10);

} // namespace

Q_DECLARE_METATYPE(Step)

class tst_ReminderScheduler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        TamberDataModel::sharedData()->apiHost = QStringLiteral("api.velora.example");
    }
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
        << 1 << QList<Step>{{0, a}, {8.9}, {9, {}, QStringLiteral("A")}, {9.5}, {10}, {11}};
    QTest::newRow("at start") << 0 << QList<Step>{{0, a}, {9.99}, {10, {}, QStringLiteral("A")}};
    QTest::newRow("ten minutes, list arriving late")
        << 10 << QList<Step>{{0.5, a, QStringLiteral("A")}, {1}};
    QTest::newRow("off") << -1 << QList<Step>{{0, a}, {9}, {10}};
    QTest::newRow("draft, no meeting id, calendar without link")
        << 1
        << QList<Step>{
               {0,
                QList<QVariantMap>{
                    with(kA, QStringLiteral("meetingDraftGuid"), QStringLiteral("d-1")),
                    with(meeting(QStringLiteral("B"), 2, 10), QStringLiteral("numericMeetingId"),
                         {}),
                    with(with(meeting(QStringLiteral("C"), 3, 10), QStringLiteral("id"), {}),
                         QStringLiteral("calendar_entry_type"), QStringLiteral("ical")),
                    with(with(with(meeting(QStringLiteral("D"), 4, 10), QStringLiteral("id"), {}),
                              QStringLiteral("numericMeetingId"), {}),
                         QStringLiteral("calendar_entry_type"), QStringLiteral("ical"))}},
               {9, {}, QStringLiteral("C")}};
    QTest::newRow("started long ago or finished: stale after suspend")
        << 1
        << QList<Step>{{12, QList<QVariantMap>{kA, meeting(QStringLiteral("B"), 2, -60)}}, {13}};
    QTest::newRow("late start of the application, just after the start")
        << 1 << QList<Step>{{10.5, a, QStringLiteral("A")}};
    QTest::newRow("renamed after the reminder")
        << 1
        << QList<Step>{
               {0, a},
               {9, {}, QStringLiteral("A")},
               {9.5, QList<QVariantMap>{with(kA, QStringLiteral("title"), QStringLiteral("A2"))}},
               {10}};
    QTest::newRow("moved after the reminder: withdrawn, reminded at its new time")
        << 1
        << QList<Step>{{0, a},
                       {9, {}, QStringLiteral("A")},
                       {9.5, QList<QVariantMap>{with(kA, QStringLiteral("start"), at(30))}, {}, 1},
                       {28.9},
                       {29, {}, QStringLiteral("A")}};
    QTest::newRow("cancelled before its reminder")
        << 1 << QList<Step>{{0, a}, {5, QList<QVariantMap>{}}, {9}};
    QTest::newRow("series: each occurrence")
        << 1
        << QList<Step>{
               {0, QList<QVariantMap>{with(with(kA, QStringLiteral("recurrencePattern"),
                                                QVariantMap{{QStringLiteral("recurrenceType"),
                                                             QStringLiteral("DAILY")}}),
                                           QStringLiteral("nextStart"), at(10))}},
               {9, {}, QStringLiteral("A")},
               {45, QList<QVariantMap>{with(with(kA, QStringLiteral("recurrencePattern"),
                                                 QVariantMap{{QStringLiteral("recurrenceType"),
                                                              QStringLiteral("DAILY")}}),
                                            QStringLiteral("nextStart"), at(10 + 1440))}},
               {1449, {}, QStringLiteral("A")}};
    QTest::newRow("restart within the lead time")
        << 5 << QList<Step>{{0, a}, {5, {}, QStringLiteral("A")}, {6, a, {}, 0, true}, {9}};
    QTest::newRow("clock set back and forward again")
        << 1 << QList<Step>{{0, a}, {9, {}, QStringLiteral("A")}, {2}, {9.2}};
    QList<QVariantMap> crowd;
    for (int i = 0; i < 200; ++i)
        crowd.append(meeting(QStringLiteral("M%1").arg(i), 100 + i, 10));
    QTest::newRow("200 at the same minute: one batch")
        << 1 << QList<Step>{{0, crowd}, {9, {}, QStringLiteral("#200")}, {9.5}};
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
                titles << QStringLiteral("#%1").arg(batch.size());
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

    QTest::newRow("none") << QList<QVariantMap>{} << 0.0 << QString()
                          << QStringLiteral("No upcoming meetings");
    QTest::newRow("next within the hour")
        << QList<QVariantMap>{kA, meeting(QStringLiteral("B"), 2, 50)} << 0.0 << QStringLiteral("A")
        << QStringLiteral("Next: A at 10:10 AM");
    QTest::newRow("beyond the hour: tooltip only")
        << QList<QVariantMap>{meeting(QStringLiteral("B"), 2, 61)} << 0.0 << QString()
        << QStringLiteral("Next: B at 11:01 AM");
    QTest::newRow("running, another about to start")
        << QList<QVariantMap>{meeting(QStringLiteral("R"), 2, -50, 120), kA} << 9.0
        << QStringLiteral("A") << QStringLiteral("Next: A at 10:10 AM");
    QTest::newRow("just started wins over later")
        << QList<QVariantMap>{meeting(QStringLiteral("R"), 2, -2, 60),
                              meeting(QStringLiteral("B"), 3, 40)}
        << 0.0 << QStringLiteral("R") << QStringLiteral("In progress: R (until 10:58 AM)");
    QTest::newRow("draft and finished are never chosen")
        << QList<QVariantMap>{with(kA, QStringLiteral("meetingDraftGuid"), QStringLiteral("g")),
                              meeting(QStringLiteral("Old"), 2, -90, 30)}
        << 0.0 << QString() << QStringLiteral("No upcoming meetings");
    QTest::newRow("tomorrow") << QList<QVariantMap>{meeting(QStringLiteral("T"), 2, 1440)} << 0.0
                              << QString() << QStringLiteral("Next: T at Tue Dec 8, 10:00 AM");
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
