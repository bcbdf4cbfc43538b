// Usage events: envelopes and data objects as the simulator receives them, the application
// token, the statistics host and the upload's failure handling.
#include "Analytics/AnalyticsController.h"
#include "E2eRequests.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QSignalSpy>
#include <QTimeZone>
#include <QUrl>
#include <QUrlQuery>

namespace {

using Record = TamberDataModel;
using AC = AnalyticsController;
using Sender = std::function<void()>;

} // namespace

class tst_Analytics : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void timestampAndEnvelopeShape();
    void statisticsHostFollowsApiHost();
    void firstEventObtainsApplicationTokenThenPosts();
    void everyEventSendsItsDataObject_data();
    void everyEventSendsItsDataObject();
    void absentValuesLeaveKeysOut();
    void refusedApplicationTokenIsRenewedOnce();
    void failuresOnlyLog_data();
    void failuresOnlyLog();

private:
    // Sends through `send` and waits until the simulator has the envelope.
    QJsonObject sendAndReceive(const std::function<void()>& send);

    SignedInSimulator m_session;
    std::unique_ptr<LogSpy> m_log;
};

void tst_Analytics::initTestCase() {
    QVERIFY(m_session.start());
}

void tst_Analytics::init() {
    m_session.signIn();
    Record& r = *Record::sharedData();
    r.CID = QStringLiteral("C0FFEE42");
    r.SID = Record::uuidString();
    r.app_access_token = m_session.sim().issueAppToken();
    m_session.sim().clearRequests();
    m_log = std::make_unique<LogSpy>();
}

void tst_Analytics::cleanup() {
    m_log.reset();
    ServiceCall::setTransferTimeoutMs(60000);
}

QJsonObject tst_Analytics::sendAndReceive(const std::function<void()>& send) {
    // An earlier event still on its way would be taken for this one.
    (void)QTest::qWaitFor([] { return AnalyticsController::pendingEvents() == 0; }, 15000);
    const int before = m_session.sim().statsEvents().size();
    send();
    // An empty envelope makes the caller's comparisons fail when nothing arrived.
    if (!QTest::qWaitFor([&] { return m_session.sim().statsEvents().size() > before; }, 15000))
        return {};
    return m_session.sim().statsEvents().last().toObject();
}

void tst_Analytics::timestampAndEnvelopeShape() {
    const QDate day(2026, 3, 9);
    const QTime time(7, 5, 3);
    QCOMPARE(AC::timestamp(QDateTime(day, time, Qt::UTC)), QString("2026-03-09T07:05:03Z"));
    QCOMPARE(AC::timestamp(QDateTime(day, time, Qt::OffsetFromUTC, 7200)),
             QString("2026-03-09T07:05:03+02:00"));
    QCOMPARE(AC::timestamp(QDateTime(day, time, Qt::OffsetFromUTC, -(3 * 3600 + 1800))),
             QString("2026-03-09T07:05:03-03:30"));
    QCOMPARE(AC::timestamp(QDateTime(day, time, QTimeZone("Asia/Kolkata"))),
             QString("2026-03-09T07:05:03+05:30"));

    // Without a data object there is no "data"; "userId" never goes to the top level.
    const QJsonObject bare =
        AC::envelope("x", std::nullopt, *Record::sharedData(), QDateTime(day, time, Qt::UTC));
    QCOMPARE(bare.keys(), (QStringList{"appName", "cid", "event", "sid", "timestamp"}));
}

void tst_Analytics::statisticsHostFollowsApiHost() {
    Record& r = *Record::sharedData();
    r.app_access_token = QStringLiteral("tok+en/1");
    r.SID = QStringLiteral("S-1&sid=forged #x");
    r.apiHost = BundleInfo::defaultApiHost();
    QCOMPARE(AC::statisticsHost(r), BundleInfo::statisticsHost());
    const QUrl url(AC::statsURL(r));
    QCOMPARE(url.host(), BundleInfo::statisticsHost());
    QCOMPARE(url.path(), QString("/ridgeapi/v1/quokkastats/app/tamber"));
    // The token and session id stay one query value each, whatever they hold.
    const QUrlQuery query(url);
    QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 2);
    QCOMPARE(query.queryItemValue("access_token", QUrl::FullyDecoded), QString("tok+en/1"));
    QCOMPARE(query.queryItemValue("sid", QUrl::FullyDecoded), QString("S-1&sid=forged #x"));
    r.apiHost = QStringLiteral("api.private.example");
    QCOMPARE(AC::statisticsHost(r), QString("api.private.example"));
    // A changed host with the default one inside it is still another host.
    r.apiHost = BundleInfo::defaultApiHost() + ":8443";
    QCOMPARE(AC::statisticsHost(r), BundleInfo::defaultApiHost() + ":8443");
}

void tst_Analytics::firstEventObtainsApplicationTokenThenPosts() {
    VeloraSimulator& sim = m_session.sim();
    Record& r = *Record::sharedData();
    r.app_access_token = QVariant();
    const QJsonObject envelope = sendAndReceive([] { AC::sendAppFirstLaunch(); });

    // One client-credentials grant first, then the post with the new token.
    const QList<RecordedRequest> requests = sim.requests();
    QCOMPARE(endpointsOf(requests), (QStringList{"token", "stats"}));
    QCOMPARE(requests[0].jsonBody().value("grant_type"), QJsonValue("client_credentials"));
    QVERIFY(Record::isPresent(r.app_access_token));
    QCOMPARE(requestLine(requests[1]), "POST /ridgeapi/v1/quokkastats/app/tamber access_token=" +
                                           r.app_access_token.toString() +
                                           " sid=" + r.SID.toString() + " [application/json]");
    QVERIFY(!requests[1].body.contains('\n'));

    // The serial number rides both in the envelope and in the data.
    QCOMPARE(envelope.value("event"), QJsonValue("app_first_launch"));
    QCOMPARE(envelope.value("appName"), QJsonValue("tamber"));
    QCOMPARE(envelope.value("cid"), QJsonValue("C0FFEE42"));
    QCOMPARE(envelope.value("sid"), QJsonValue(r.SID.toString()));
    const QJsonObject data = envelope.value("data").toObject();
    QCOMPARE(data.value("CID"), QJsonValue("C0FFEE42"));
    QCOMPARE(data.value("version"), QJsonValue(QStringLiteral(TAMBER_VERSION)));
    QCOMPARE(data.value("timezone").toString(), QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    QCOMPARE(data.value("locale").toString(), QLocale::system().uiLanguages().value(0));
    QCOMPARE(data.value("userId").toString(), m_session.userId());
    QVERIFY(QDateTime::fromString(envelope.value("timestamp").toString(), Qt::ISODate).isValid());

    // The debug and verbose lines of the upload, with the token kept out of the log.
    QVERIFY(
        m_log->contains(Log::Debug, "Quokka URL is https://" + m_session.sim().apiHost(), true));
    QVERIFY(m_log->contains(Log::Verbose, QStringLiteral("{\"appName\":\"tamber\""), true));
    for (const LogSpy::Line& line : m_log->lines())
        QVERIFY2(!line.message.contains(r.app_access_token.toString()), qPrintable(line.message));
}

void tst_Analytics::everyEventSendsItsDataObject_data() {
    QTest::addColumn<Sender>("send");
    QTest::addColumn<QVariantMap>("data"); // without "userId" and the environment keys
    QTest::addColumn<bool>("environment"); // carries "timezone", "locale", "version"
    const auto row = [](const char* name, const Sender& send, QVariantMap data, bool env = false) {
        QTest::addRow("%s", name) << send << data << env;
    };
    row("app_hide", [] { AC::sendAppHide("MenuPopover"); }, {{"screen", "MenuPopover"}});
    row("app_focus", [] { AC::sendAppFocus("Menu"); }, {{"screen", "Menu"}});
    row(
        "initial_calendar", [] { AC::sendInitialCalendarSelected(); },
        {{"calendar", "velora_calendar"}}, true);
    row(
        "config_success", [] { AC::sendConfigComplete(); },
        {{"calendar", "velora_calendar"}, {"authtype", "PASSWORD"}}, true);
    row(
        "click_signup", [] { AC::sendSignUpClick(); }, {{"calendar", "velora_calendar"}}, true);
    row("join_meeting_from_tab",
        [] { AC::sendJoinMeetingFromTab("123456789", QStringLiteral("42")); },
        {{"meetingId", "123456789"}, {"passcode", "42"}});
    row("start_meeting_from_tab", [] { AC::sendStartMeetingFromTab("987", std::nullopt); },
        {{"meetingId", "987"}});
    row("refresh_settings", [] { AC::sendRefreshSettings("init"); }, {{"status", "init"}});
    row("fetch_settings", [] { AC::sendFetchSettings("error_validation"); },
        {{"status", "error_validation"}});
    row("udpate_settings", [] { AC::sendUpdateSettings("success"); },
        {{"status", "success"},
         {"modifieddata", QVariantMap{{"encryptionType", "ENCRYPTED_ONLY"},
                                      {"publishMeeting", "1"},
                                      {"showAllParticipantsInIcs", "0"},
                                      {"videoBestFit", true},
                                      {"isModeratorLess", "false"},
                                      {"disallowChat", "0"},
                                      {"muteParticipantsOnEntry", "1"},
                                      {"isLargeMeeting", "0"}}}});
    row("change_calendar", [] { AC::sendChangeCalendar(); }, {{"calendar", "velora_calendar"}});
    row("check_for_updates", [] { AC::sendCheckForUpdates(); }, {});
    row("submit_log", [] { AC::sendSubmitLog("authentication_challenge"); },
        {{"status", "authentication_challenge"}});
    row("provide_feedback", [] { AC::sendProvideFeedback(); }, {});
    row("contact_support", [] { AC::sendContactSupport(); }, {});
    row("schedule", [] { AC::sendSchedule("cancel", QString("")); },
        {{"status", "cancel"}, {"calendar", "velora_calendar"}, {"moreinfo", ""}});
    row("edit_meeting", [] { AC::sendEditMeeting("click", 555, std::nullopt); },
        {{"status", "click"}, {"meetingId", 555}});
    row("cancel_meeting", [] { AC::sendCancelMeeting("success", "777"); },
        {{"status", "success"}, {"meetingId", "777"}});
    row("keep_meeting", [] { AC::sendKeepMeeting(); }, {});
    row("quit", [] { AC::sendQuitAction("PreferencesViewController"); },
        {{"screen", "PreferencesViewController"}});
    row("signout", [] { AC::sendSignOutAction("PreferencesViewController"); },
        {{"screen", "PreferencesViewController"}});
    row("fetch_meetings", [] { AC::sendFetchMeetingsAction("init"); }, {{"status", "init"}});
}

void tst_Analytics::everyEventSendsItsDataObject() {
    QFETCH(Sender, send);
    QFETCH(QVariantMap, data);
    QFETCH(bool, environment);
    Record& r = *Record::sharedData();
    r.calendar = QStringLiteral("velora_calendar");
    r.authenticationType = QStringLiteral("PASSWORD");
    r.encryptionType = QStringLiteral("ENCRYPTED_ONLY");
    r.publishMeeting = QStringLiteral("1");
    r.showAllParticipantsInIcs = QStringLiteral("0");
    r.videoBestFit = true;
    r.isModeratorLess = QStringLiteral("false");
    r.disallowChat = QStringLiteral("0");
    r.muteParticipantsOnEntry = QStringLiteral("1");
    r.isLargeMeeting = QStringLiteral("0");

    const QJsonObject envelope = sendAndReceive(send);
    QCOMPARE(envelope.value("event").toString(), QString::fromLatin1(QTest::currentDataTag()));
    const QStringList keys = envelope.keys();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()),
             (QSet<QString>{"timestamp", "appName", "cid", "sid", "data", "event"}));

    QJsonObject expected = QJsonObject::fromVariantMap(data);
    expected.insert("userId", m_session.userId());
    QJsonObject received = envelope.value("data").toObject();
    if (environment) {
        for (const char* key : {"timezone", "locale", "version"})
            QVERIFY2(received.contains(key), key);
        QCOMPARE(received.value("version"), QJsonValue(QStringLiteral(TAMBER_VERSION)));
        received.remove("timezone");
        received.remove("locale");
        received.remove("version");
    }
    // The simulator may read ids as texts or numbers; compare what the client sent.
    received["userId"] = received.value("userId").toVariant().toString();
    QCOMPARE(received, expected);
}

void tst_Analytics::absentValuesLeaveKeysOut() {
    Record& r = *Record::sharedData();
    r.CID = QVariant();
    r.calendar = QVariant();
    r.userId = QVariant();
    r.encryptionType = QStringLiteral("NO_ENCRYPTION");
    r.publishMeeting = QVariant();

    const QJsonObject schedule = sendAndReceive([] { AC::sendSchedule("click", std::nullopt); });
    QVERIFY(!schedule.contains("cid"));
    QCOMPARE(schedule.value("data").toObject(), (QJsonObject{{"status", "click"}}));

    const QJsonObject update = sendAndReceive([] { AC::sendUpdateSettings("init"); });
    QCOMPARE(update.value("data").toObject().value("modifieddata").toObject(),
             (QJsonObject{{"encryptionType", "NO_ENCRYPTION"}}));

    const QJsonObject first = sendAndReceive([] { AC::sendAppFirstLaunch(); });
    QVERIFY(!first.value("data").toObject().contains("CID"));
    QVERIFY(first.value("data").toObject().contains("timezone"));
}

void tst_Analytics::refusedApplicationTokenIsRenewedOnce() {
    VeloraSimulator& sim = m_session.sim();
    Record& r = *Record::sharedData();
    const QString old = r.app_access_token.toString();
    sim.expireToken(old);

    const QJsonObject envelope = sendAndReceive([] { AC::sendKeepMeeting(); });
    QCOMPARE(envelope.value("event"), QJsonValue("keep_meeting"));
    QCOMPARE(sim.requestCount("token"), 1);
    const QList<RecordedRequest> posts = sim.requests("stats");
    QCOMPARE(posts.size(), 2);
    QCOMPARE(posts[0].queryValue("access_token"), old);
    QCOMPARE(posts[1].queryValue("access_token"), r.app_access_token.toString());
    QVERIFY(r.app_access_token.toString() != old);

    // A service that keeps refusing gets one renewal and one retry, not a loop.
    sim.clearRequests();
    sim.injectFault("stats", Fault::httpError(401, {{"errorCode", 401}, {"message", "no"}}));
    AC::sendKeepMeeting();
    QTRY_COMPARE_WITH_TIMEOUT(sim.requestCount("stats"), 2, 15000);
    // A looping client would come back within moments; nothing may arrive.
    QSignalSpy more(&sim, &VeloraSimulator::requestReceived);
    QVERIFY(!more.wait(1500));
    QCOMPARE(sim.requestCount("token"), 1);
    QCOMPARE(sim.requestCount("stats"), 2);
    // The refusal is the answer: a reply, no failed connection to speak of.
    QVERIFY(!m_log->contains(Log::Debug, QStringLiteral("Error while sending analytics data")));
}

void tst_Analytics::failuresOnlyLog_data() {
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<int>("kind");
    for (const char* endpoint : {"stats", "token"})
        for (const FaultMatrix::Row& row : FaultMatrix::kinds())
            QTest::addRow("%s/%s", endpoint, row.name) << QString(endpoint) << int(row.kind);
}

void tst_Analytics::failuresOnlyLog() {
    QFETCH(QString, endpoint);
    QFETCH(int, kind);
    VeloraSimulator& sim = m_session.sim();
    const bool transport = FaultMatrix::isTransport(Fault::Kind(kind));
    const bool upload = endpoint == QLatin1String("stats");
    if (!upload)
        Record::sharedData()->app_access_token = QVariant();
    sim.injectFault(endpoint, FaultMatrix::faultOf(Fault::Kind(kind), 500, "down"));
    AC::sendContactSupport();
    QTRY_COMPARE_WITH_TIMEOUT(AC::pendingEvents(), 0, 15000);
    QVERIFY(sim.requestCount(endpoint) >= 1); // Qt may resend a reset request once
    QVERIFY2(m_log->messages(Log::Error).isEmpty() && m_log->messages(Log::Warning).isEmpty(),
             qPrintable(m_log->messages(Log::Error).join('\n')));
    // A failed upload is logged when the connection failed, else not noticed; it never renews
    // the token. Without a token and without a way to get one, the event is dropped unsaid.
    const bool logged = upload && transport;
    QCOMPARE(m_log->contains(Log::Debug, QStringLiteral("Error while sending analytics data")),
             logged);
    QCOMPARE(m_log->contains(Log::Debug, QStringLiteral("Error Domain=NSURLErrorDomain"), true),
             logged);
    if (upload) {
        QCOMPARE(sim.requestCount("token"), 0);
        return;
    }
    QVERIFY(!Record::isPresent(Record::sharedData()->app_access_token));
    QCOMPARE(sim.requestCount("stats"), 0);
}

TAMBER_TEST_MAIN_CORE(tst_Analytics)
#include "tst_Analytics.moc"
