// The upcoming-meetings fetch against the simulator: the calendar, the service list and the
// drafts together, overlapping fetches, failures that keep the previous list, and the usage
// events of the fetch.
#include "Analytics/AnalyticsController.h"
#include "Calendars/CalendarScripts.h"
#include "Calendars/CalendarStore.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/MeetingAggregator.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Models/UpcomingMeetingsFetcher.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <ctime>

namespace {

const bool kZoneSet = (qputenv("TZ", "America/New_York"), tzset(), true);

// Outlook as seen through its script: one event with a meeting link tomorrow at 09:00 local,
// one without a link.
class OutlookDouble : public ScriptHost {
public:
    QStringList scripts;
    std::function<void()> onRead;
    void run(const QString& script, Completion done) override {
        scripts << script;
        done({QString(), errorDictionary("not used", -1)});
    }
    ScriptResult runSynchronously(const QString& script, int) override {
        scripts << script;
        if (onRead)
            onRead();
        const QDate d = QDate::currentDate().addDays(1);
        auto event = [&](const QString& title, const QString& location) {
            return QStringLiteral(
                       "{title:\"%1\", location:\"%2\", sday:%3, smonth:%4, syear:%5, sminutes:0, "
                       "shours:9, eday:%3, emonth:%4, eyear:%5, eminutes:0, ehours:10, "
                       "timezone:\"Eastern\", description:\"\"}")
                .arg(title, location)
                .arg(d.day())
                .arg(d.month())
                .arg(d.year());
        };
        return {"{" + event("Vendor call", "https://partner.velora.example/8800/12") + ", " +
                    event("Dentist", "Main St") + "}",
                {}};
    }
};

QVariantMap draft(const QString& guid, const QDateTime& start) {
    return {{"meetingDraftGuid", guid},
            {"title", "Draft " + guid},
            {"start", QString::number(start.toSecsSinceEpoch()) + "000"},
            {"end", QString::number(start.addSecs(3600).toSecsSinceEpoch()) + "000"}};
}

// The records as they leave the list (to the scheduler, the delete confirmation).
QList<QVariantMap> allMeetings(const QList<DayBucket>& days) {
    QList<QVariantMap> out;
    for (const DayBucket& d : days)
        for (const MeetingRecord& m : d.meetings)
            out << m.toVariantMap();
    return out;
}

// Usage events are separate requests: on a busy machine they reach the service in any order,
// and one sent by an earlier step may still be on its way. So wait until every event sent has
// been answered, then look at the statuses from `from` on as a sorted list.
QStringList settledStatuses(const VeloraSimulator& sim, const QString& name, int from = 0) {
    if (!QTest::qWaitFor([] { return AnalyticsController::pendingEvents() == 0; }, 20000))
        return {QStringLiteral("usage events still pending")};
    QStringList out;
    for (const QJsonValue& e : sim.statsEvents())
        if (e["event"].toString() == name)
            out << e["data"]["status"].toString();
    out = out.mid(from);
    out.sort();
    return out;
}

} // namespace

class tst_UpcomingMeetingsFetcher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_session.start()); }

    void init() {
        m_session.signIn();
        ServiceCall::setTransferTimeoutMs(60000);
        m_outlook = new OutlookDouble;
        m_store = std::make_unique<CalendarStore>(std::unique_ptr<ScriptHost>(m_outlook));
        m_fetcher = std::make_unique<UpcomingMeetingsFetcher>();
        m_fetcher->setCalendarStore(m_store.get());
        TamberDataModel::sharedData()->calendar = "outlook_calendar";
        m_statsBefore = int(settledStatuses(m_session.sim(), "fetch_settings").size());
        TamberDataModel::sharedData()->meetingDrafts = {
            {"G1", draft("G1", QDateTime::currentDateTime().addDays(1))}};
    }

    void cleanup() {
        m_fetcher.reset();
        m_store.reset();
        ServiceCall::setTransferTimeoutMs(60000);
    }

    void mergesCalendarServiceAndDrafts() {
        VeloraSimulator& sim = m_session.sim();
        const QJsonArray service = sim.meetings(m_session.userId());
        QVERIFY(service.size() >= 3);
        int placeable = 0;
        for (const QJsonValue& m : service)
            placeable += MeetingAggregator::placementTime(m.toObject().toVariantMap()).has_value();

        int meetingRequestsAtCalendarRead = -1;
        m_outlook->onRead = [&] { meetingRequestsAtCalendarRead = sim.requestCount("meetings"); };
        QSignalSpy started(m_fetcher.get(), &UpcomingMeetingsFetcher::fetchStarted);
        QSignalSpy ready(m_fetcher.get(), &UpcomingMeetingsFetcher::meetingsReady);
        int successes = 0, readyAtSuccess = -1;
        m_fetcher->fetchUpcomingMeetings([&] { ++successes, readyAtSuccess = int(ready.size()); },
                                         {});
        QCOMPARE(started.size(), 1);
        QVERIFY(m_fetcher->isFetching());
        QTRY_COMPARE(ready.size(), 1);
        QVERIFY(!m_fetcher->isFetching());
        QCOMPARE(successes, 1);
        QCOMPARE(readyAtSuccess, 0); // the caller hears first, then the list is merged
        QCOMPARE(meetingRequestsAtCalendarRead, 0); // the calendar is read before any network call
        QCOMPARE(m_outlook->scripts, QStringList{CalendarScripts::outlookReadScript()});

        const QList<DayBucket> days = m_fetcher->meetingDays();
        QCOMPARE(ready[0][0].value<QList<DayBucket>>().size(), days.size());
        const QList<QVariantMap> all = allMeetings(days);
        QCOMPARE(all.size(), placeable + 2); // + the linked Outlook event + the draft
        QStringList types, serviceIds;
        for (const QVariantMap& m : all) {
            types << m.value("calendar_entry_type").toString();
            if (m.contains("id") && !m.contains("meetingDraftGuid"))
                serviceIds << m.value("id").toString();
        }
        QCOMPARE(types.count("outlook"), 1);
        QCOMPARE(types.count("velora"), placeable + 1);
        QCOMPARE(serviceIds.size(), placeable);
        QCOMPARE(QSet<QString>(serviceIds.begin(), serviceIds.end()).size(), placeable);
        for (int i = 1; i < days.size(); ++i)
            QVERIFY(days[i - 1].day < days[i].day);
        const QDate tomorrow = QDate::currentDate().addDays(1);
        const auto dayOf = [&](const QString& key, const QString& value) {
            for (const DayBucket& d : days)
                for (const MeetingRecord& m : d.meetings)
                    if (m.value(key).toString() == value)
                        return d.day;
            return QDate();
        };
        QCOMPARE(dayOf("numericMeetingId", "8800"), tomorrow);
        QCOMPARE(dayOf("meetingDraftGuid", "G1"), tomorrow);
        // Listed, not lost: a pattern that does not repeat, a series without "nextStart".
        QVERIFY(dayOf("title", "Budget check").isValid());
        QVERIFY(dayOf("title", "Mentoring circle").isValid());
        QCOMPARE(settledStatuses(sim, "fetch_settings", m_statsBefore),
                 QStringList({"init", "success"}));
    }

    void overlappingFetchesListEachMeetingOnce() {
        VeloraSimulator& sim = m_session.sim();
        QSignalSpy ready(m_fetcher.get(), &UpcomingMeetingsFetcher::meetingsReady);
        // Counted only while this function runs: the counter lives on its stack, and a
        // connection kept by the suite object would go on writing there during later tests.
        int meetingReplies = 0;
        QObject counting;
        connect(&ServiceCall::network(), &QNetworkAccessManager::finished, &counting,
                [&](QNetworkReply* reply) {
                    meetingReplies += reply->url().path().contains("meeting");
                });

        // The first fetch's list comes late; a second fetch starts meanwhile and adds a draft.
        sim.injectFault("meetings", Fault::delay(1500).times(1));
        int firstCalls = 0, secondCalls = 0;
        m_fetcher->fetchUpcomingMeetings([&] { ++firstCalls; }, [&](auto) { ++firstCalls; });
        QTRY_COMPARE(sim.requestCount("meetings"), 1);
        TamberDataModel::sharedData()->meetingDrafts.insert(
            "G2", draft("G2", QDateTime::currentDateTime().addDays(2)));
        m_fetcher->fetchUpcomingMeetings([&] { ++secondCalls; }, [&](auto) { ++secondCalls; });
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(secondCalls, 1);

        // Let the late reply arrive and its (dropped) merge run.
        QTRY_VERIFY_WITH_TIMEOUT(meetingReplies >= 2, 10000);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(ready.size(), 1);
        QCOMPARE(firstCalls, 0);
        QVERIFY(!m_fetcher->isFetching());

        const QList<QVariantMap> all = allMeetings(m_fetcher->meetingDays());
        QStringList keys;
        for (const QVariantMap& m : all)
            keys << m.value("calendar_entry_type").toString() + ":" +
                        (m.contains("meetingDraftGuid") ? m.value("meetingDraftGuid")
                                                        : m.value("id"))
                            .toString() +
                        ":" + m.value("numericMeetingId").toString();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        QVERIFY(keys.contains("velora:G2:"));

        // Two quick fetches in a row: one list, the second's; the first stops after its token
        // check and never asks for the list.
        m_fetcher->fetchUpcomingMeetings();
        m_fetcher->fetchUpcomingMeetings();
        QTRY_COMPARE(ready.size(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(ready.size(), 2);
        QCOMPARE(sim.requestCount("meetings"), 3);
        QCOMPARE(allMeetings(m_fetcher->meetingDays()).size(), all.size());
    }

    void failuresKeepThePreviousList() {
        VeloraSimulator& sim = m_session.sim();
        TamberDataModel::sharedData()->calendar = "velora_calendar";
        QSignalSpy ready(m_fetcher.get(), &UpcomingMeetingsFetcher::meetingsReady);
        QSignalSpy failed(m_fetcher.get(), &UpcomingMeetingsFetcher::fetchFailed);
        m_fetcher->fetchUpcomingMeetings();
        QTRY_COMPARE(ready.size(), 1);
        QVERIFY(m_outlook->scripts.isEmpty()); // no calendar read for the service calendar
        const int listed = MeetingAggregator::rowCount(m_fetcher->meetingDays());
        QVERIFY(listed > 0);

        // A refusal with an error object, and a reply that is an object instead of a list.
        std::optional<ServiceError> reported;
        int errors = 0;
        auto onError = [&](const std::optional<ServiceError>& e) { ++errors, reported = e; };
        sim.injectFault("meetings", Fault::httpError(503, {{"message", "Maintenance"}}).times(1));
        m_fetcher->fetchUpcomingMeetings({}, onError);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(errors, 1);
        QVERIFY(reported);
        QCOMPARE(failed[0][0].toString(), reported->description);
        QCOMPARE(failed[0][1].toBool(), false);
        sim.injectFault("meetings",
                        Fault::httpErrorRaw(200, R"({"errorCode":7,"message":"odd"})").times(1));
        m_fetcher->fetchUpcomingMeetings({}, onError);
        QTRY_COMPARE(failed.size(), 2);
        QCOMPARE(errors, 2);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(MeetingAggregator::rowCount(m_fetcher->meetingDays()), listed);
        QVERIFY(!m_fetcher->isFetching());

        // A token check that times out: the schedule button is to be disabled.
        const int beforeTimeout = int(settledStatuses(sim, "fetch_settings").size());
        ServiceCall::setTransferTimeoutMs(300);
        sim.injectFault("tokenInfo", Fault::delay(3000).times(1));
        m_fetcher->fetchUpcomingMeetings({}, onError);
        QTRY_COMPARE(failed.size(), 3);
        QCOMPARE(failed[2][1].toBool(), true);
        QCOMPARE(MeetingAggregator::rowCount(m_fetcher->meetingDays()), listed);
        QCOMPARE(settledStatuses(sim, "fetch_settings", beforeTimeout),
                 QStringList({"error", "error_validation", "init"}));

        // The next good fetch lists again.
        ServiceCall::setTransferTimeoutMs(60000);
        m_fetcher->fetchUpcomingMeetings();
        QTRY_COMPARE(ready.size(), 2);
    }

    void refreshReportsAndLogs() {
        VeloraSimulator& sim = m_session.sim();
        TamberDataModel::sharedData()->calendar = "apple_calendar"; // no calendar store here
        LogSpy log;
        QSignalSpy ready(m_fetcher.get(), &UpcomingMeetingsFetcher::meetingsReady);
        const int before = int(settledStatuses(sim, "fetch_meetings").size());
        m_fetcher->refreshUpcomingMeetings();
        QCOMPARE(ready.size(), 0); // deferred
        QTRY_COMPARE(ready.size(), 1);
        QTRY_VERIFY(log.contains(Log::Info, "Showing upcoming meetings"));
        QCOMPARE(settledStatuses(sim, "fetch_meetings", before), QStringList({"init", "success"}));

        sim.injectFault("meetings", Fault::empty().times(1));
        m_fetcher->refreshUpcomingMeetings();
        QTRY_VERIFY(log.contains(Log::Error, "Error while fetching upcoming meetings."));
        QCOMPARE(settledStatuses(sim, "fetch_meetings", before),
                 QStringList({"error", "init", "init", "success"}));
    }

private:
    SignedInSimulator m_session;
    OutlookDouble* m_outlook = nullptr; // owned by m_store
    std::unique_ptr<CalendarStore> m_store;
    std::unique_ptr<UpcomingMeetingsFetcher> m_fetcher;
    int m_statsBefore = 0;
};

TAMBER_TEST_MAIN_CORE(tst_UpcomingMeetingsFetcher)
#include "tst_UpcomingMeetingsFetcher.moc"
