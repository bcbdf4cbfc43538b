// Meeting list, contacts and the create / change / cancel senders against the simulator.
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/CalendarMeetingService.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

namespace {

struct ListOutcome {
    int successes = 0;
    int errors = 0;
    QList<QJsonObject> meetings;
    std::optional<ServiceError> error;
    bool done() const { return successes + errors > 0; }
};

void fetchList(ListOutcome& o) {
    CalendarMeetingService::fetchUpcomingMeetings(
        [&o](const QList<QJsonObject>& meetings) {
            ++o.successes;
            o.meetings = meetings;
        },
        [&o](const std::optional<ServiceError>& e) {
            ++o.errors;
            o.error = e;
        });
}

struct SendOutcome {
    int successes = 0;
    int errors = 0;
    std::optional<ServiceError> error;
    bool done() const { return successes + errors > 0; }
    CalendarMeetingService::SuccessCallback onSuccess() {
        return [this] { ++successes; };
    }
    CalendarMeetingService::ErrorCallback onError() {
        return [this](const std::optional<ServiceError>& e) {
            ++errors;
            error = e;
        };
    }
};

struct ContactsOutcome {
    int calls = 0;
    QStringList emails;
};

void fetchContacts(ContactsOutcome& o) {
    TamberDataModel::fetchContacts([&o](const QStringList& emails) {
        ++o.calls;
        o.emails = emails;
    });
}

enum class Call { List, Contacts, Create, Change, Cancel };

QVariantMap sampleBody(const QString& title) {
    const qint64 start = QDateTime::currentMSecsSinceEpoch() + 3600 * 1000;
    return {{"title", title},
            {"description", "Agenda & notes"},
            {"start", start},
            {"end", start + 1800 * 1000},
            {"timezone", "Europe/Paris"},
            {"attendees", QVariantList{QVariantMap{{"email", "mary@example.com"}}}},
            {"recurrencePattern", QVariantMap{{"recurrenceType", "NONE"}}}};
}

} // namespace

class tst_MeetingCalls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void upcomingMeetingsAlwaysFetchedAfresh();
    void meetingListRefusalsAndNonListsEndInError();
    void contactsKeepOrderAndFailAsAWhole();
    void createChangeAndCancelSendExactRequests();
    void refusedMeetingChangesAreFailures();
    void dotIdsNeverBecomePathSteps();
    void faultMatrix_data();
    void faultMatrix();

private:
    QJsonObject recurringMeeting();

    SignedInSimulator m_session;
    std::unique_ptr<LogSpy> m_log;
};

void tst_MeetingCalls::initTestCase() {
    QVERIFY(m_session.start());
}

void tst_MeetingCalls::init() {
    m_session.signIn();
    m_log = std::make_unique<LogSpy>();
}

void tst_MeetingCalls::cleanup() {
    m_log.reset();
    ServiceCall::setTransferTimeoutMs(60000);
}

QJsonObject tst_MeetingCalls::recurringMeeting() {
    const QJsonArray all = m_session.sim().meetings(m_session.userId());
    for (const QJsonValue& m : all)
        if (m.toObject().contains("recurrencePattern") && m.toObject().contains("nextStart"))
            return m.toObject();
    return {};
}

void tst_MeetingCalls::upcomingMeetingsAlwaysFetchedAfresh() {
    VeloraSimulator& sim = m_session.sim();
    ListOutcome first;
    fetchList(first);
    QTRY_VERIFY_WITH_TIMEOUT(first.done(), 15000);
    QCOMPARE(first.successes, 1);
    QJsonArray listed;
    for (const QJsonObject& m : std::as_const(first.meetings))
        listed.append(m);
    QCOMPARE(listed, sim.meetings(m_session.userId()));
    QVERIFY(!first.meetings.isEmpty());

    const RecordedRequest get = sim.lastRequest("meetings");
    QCOMPARE(get.method, QByteArray("GET"));
    QCOMPARE(get.path, QStringLiteral("/v1/user/%1/scheduled_meeting").arg(m_session.userId()));
    QCOMPARE(get.query, (QMap<QString, QString>{{"access_token", m_session.token()}}));

    // A second fetch asks the service again, and an empty list is a success.
    sim.injectFault("meetings", Fault::httpErrorRaw(200, "[]").times(1));
    ListOutcome second;
    fetchList(second);
    QTRY_VERIFY_WITH_TIMEOUT(second.done(), 15000);
    QCOMPARE(sim.requestCount("meetings"), 2);
    QCOMPARE(second.successes, 1);
    QVERIFY(second.meetings.isEmpty());

    // Elements that are not objects never reach the list builder.
    sim.injectFault(
        "meetings",
        Fault::httpErrorRaw(200, R"([{"id":"m1","title":7},3,"x",null,{"id":"m2"}])").times(1));
    ListOutcome mixed;
    fetchList(mixed);
    QTRY_VERIFY_WITH_TIMEOUT(mixed.done(), 15000);
    QCOMPARE(mixed.successes, 1);
    QCOMPARE(mixed.meetings.size(), 2);
    QCOMPARE(mixed.meetings[1].value("id").toString(), QStringLiteral("m2"));
}

void tst_MeetingCalls::meetingListRefusalsAndNonListsEndInError() {
    VeloraSimulator& sim = m_session.sim();
    // An expired token: the service's own 401 document is an error, not a list.
    sim.expireAllUserTokens();
    ListOutcome refused;
    fetchList(refused);
    QTRY_VERIFY_WITH_TIMEOUT(refused.done(), 15000);
    QCOMPARE(refused.successes, 0);
    QVERIFY(refused.error);
    QCOMPARE(refused.error->httpStatus, 401);
    QVERIFY(!m_log->messages(Log::Error).isEmpty());

    m_session.signIn();
    const QList<QByteArray> notLists{R"({"id":"m1","title":"one"})", "42", "\"text\"",
                                     QByteArray(50000, '[') + QByteArray(50000, ']')};
    for (const QByteArray& body : notLists) {
        sim.injectFault("meetings", Fault::httpErrorRaw(200, body).times(1));
        ListOutcome o;
        fetchList(o);
        QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
        QCOMPARE(o.successes, 0);
        QCOMPARE(o.errors, 1);
        QVERIFY(!o.error);
    }

    m_log->clear();
    sim.injectFault("meetings", Fault::empty().times(1));
    ListOutcome empty;
    fetchList(empty);
    QTRY_VERIFY_WITH_TIMEOUT(empty.done(), 15000);
    QCOMPARE(empty.errors, 1);
    QVERIFY(!empty.error);
    QVERIFY(m_log->contains(Log::Error, QStringLiteral("Empty Data")));

    // A 7 MiB list still arrives whole; a 10 MiB one is refused (-1103).
    const auto listOf = [](int size) {
        return R"([{"id":"big","title":")" + QByteArray(size, 't') + R"("}])";
    };
    sim.injectFault("meetings", Fault::httpErrorRaw(200, listOf(7 << 20)).times(1));
    ListOutcome big;
    fetchList(big);
    QTRY_VERIFY_WITH_TIMEOUT(big.done(), 30000);
    QCOMPARE(big.successes, 1);
    QCOMPARE(big.meetings.value(0).value("title").toString().size(), 7 << 20);
    sim.injectFault("meetings", Fault::httpErrorRaw(200, listOf(10 << 20)).times(1));
    ListOutcome huge;
    fetchList(huge);
    QTRY_VERIFY_WITH_TIMEOUT(huge.done(), 30000);
    QCOMPARE(huge.errors, 1);
    QVERIFY(huge.error && huge.error->code == -1103);
}

void tst_MeetingCalls::contactsKeepOrderAndFailAsAWhole() {
    VeloraSimulator& sim = m_session.sim();
    ContactsOutcome all;
    fetchContacts(all);
    QTRY_COMPARE_WITH_TIMEOUT(all.calls, 1, 15000);
    QStringList expected;
    for (const QJsonValue& c : sim.contacts(m_session.userId()))
        expected << c.toObject().value("email").toString();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(all.emails, expected);
    const RecordedRequest get = sim.lastRequest("contacts");
    QCOMPARE(get.method, QByteArray("GET"));
    QCOMPARE(get.path, QStringLiteral("/ridgeapi/v1/user/%1/contact").arg(m_session.userId()));
    QCOMPARE(get.query, (QMap<QString, QString>{{"access_token", m_session.token()}}));

    const QList<QByteArray> failing{
        R"([{"email":"a@x.y"},{"name":"no mail"},{"email":"c@x.y"}])",
        R"({"email":"a@x.y"})",
        R"([{"email":"a@x.y"},{"email":17}])",
        R"([{"email":"a@x.y"},"b@x.y"])",
    };
    for (const QByteArray& body : failing) {
        m_log->clear();
        sim.injectFault("contacts", Fault::httpErrorRaw(200, body).times(1));
        ContactsOutcome o;
        fetchContacts(o);
        QTRY_COMPARE_WITH_TIMEOUT(o.calls, 1, 15000);
        QVERIFY2(o.emails.isEmpty(), body.constData());
        QVERIFY(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true));
    }

    sim.injectFault("contacts", Fault::httpErrorRaw(200, "[]").times(1));
    ContactsOutcome none;
    fetchContacts(none);
    QTRY_COMPARE_WITH_TIMEOUT(none.calls, 1, 15000);
    QVERIFY(none.emails.isEmpty());
}

void tst_MeetingCalls::createChangeAndCancelSendExactRequests() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    const int before = sim.meetings(uid).size();

    const QVariantMap body = sampleBody("Budget & plans");
    SendOutcome created;
    CalendarMeetingService::createMeeting(body, created.onSuccess(), created.onError());
    QTRY_VERIFY_WITH_TIMEOUT(created.done(), 15000);
    QCOMPARE(created.successes, 1);
    const RecordedRequest post = sim.lastRequest("createMeeting");
    QCOMPARE(post.method, QByteArray("POST"));
    QCOMPARE(post.path, QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/").arg(uid));
    QCOMPARE(post.query,
             (QMap<QString, QString>{{"email", "true"}, {"access_token", m_session.token()}}));
    QCOMPARE(post.header("content-type"), QByteArray("application/json"));
    QCOMPARE(post.jsonBody(), QJsonObject::fromVariantMap(body));
    QCOMPARE(sim.meetings(uid).size(), before + 1);

    // Change: PUT to the meeting's id with the new body.
    QJsonObject target;
    for (const QJsonValue& m : sim.meetings(uid))
        if (m.toObject().value("title").toString() == "Budget & plans")
            target = m.toObject();
    QVERIFY(!target.isEmpty());
    const QVariantMap changedBody = sampleBody("Budget review");
    SendOutcome changed;
    CalendarMeetingService::changeMeeting(target.toVariantMap(), changedBody, changed.onSuccess(),
                                          changed.onError());
    QTRY_VERIFY_WITH_TIMEOUT(changed.done(), 15000);
    QCOMPARE(changed.successes, 1);
    const RecordedRequest put = sim.lastRequest("changeMeeting");
    QCOMPARE(put.method, QByteArray("PUT"));
    QCOMPARE(put.path, QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/%2")
                           .arg(uid, TamberDataModel::urlText(target.value("id").toVariant())));
    QCOMPARE(put.query.value("email"), QString("true"));
    QCOMPARE(put.header("content-type"), QByteArray("application/json"));
    QCOMPARE(put.jsonBody(), QJsonObject::fromVariantMap(changedBody));
    QCOMPARE(sim.meeting(uid, TamberDataModel::urlText(target.value("id").toVariant()))
                 .value("title")
                 .toString(),
             QString("Budget review"));

    // Cancel the whole meeting, with a message that must stay one query value.
    SendOutcome cancelled;
    CalendarMeetingService::cancelMeeting(target.toVariantMap(), "Sorry & thanks #1 a+b=c", false,
                                          cancelled.onSuccess(), cancelled.onError());
    QTRY_VERIFY_WITH_TIMEOUT(cancelled.done(), 15000);
    QCOMPARE(cancelled.successes, 1);
    const RecordedRequest del = sim.lastRequest("cancelMeeting");
    QCOMPARE(del.method, QByteArray("DELETE"));
    QVERIFY(del.body.isEmpty());
    QCOMPARE(del.query.value("cancellationMessage"), QString("Sorry & thanks #1 a+b=c"));
    QCOMPARE(del.query.value("email"), QString("true"));
    QVERIFY(!del.hasQuery("originalStart"));
    QCOMPARE(sim.meetings(uid).size(), before);

    // Only the next occurrence of a series.
    const QJsonObject series = recurringMeeting();
    QVERIFY2(!series.isEmpty(), "fixture has no recurring meeting with a next occurrence");
    SendOutcome occurrence;
    CalendarMeetingService::cancelMeeting(series.toVariantMap(), QString(), true,
                                          occurrence.onSuccess(), occurrence.onError());
    QTRY_VERIFY_WITH_TIMEOUT(occurrence.done(), 15000);
    QCOMPARE(occurrence.successes, 1);
    const RecordedRequest next = sim.lastRequest("cancelMeeting");
    QCOMPARE(next.query.value("originalStart"),
             TamberDataModel::urlText(series.value("nextStart").toVariant()));
    QCOMPARE(next.query.value("originalEnd"),
             TamberDataModel::urlText(series.value("nextEnd").toVariant()));
}

void tst_MeetingCalls::refusedMeetingChangesAreFailures() {
    VeloraSimulator& sim = m_session.sim();
    sim.injectFault("createMeeting", Fault::httpError(400, {{"message", "Start is in the past"}}));
    SendOutcome created;
    CalendarMeetingService::createMeeting(sampleBody("Late"), created.onSuccess(),
                                          created.onError());
    QTRY_VERIFY_WITH_TIMEOUT(created.done(), 15000);
    QCOMPARE(created.successes, 0);
    QVERIFY(created.error);
    QCOMPARE(created.error->httpStatus, 400);
    QVERIFY(created.error->description.contains("Start is in the past"));

    // A meeting without "id" goes to "(null)" and the service's 404 is a failure.
    SendOutcome changed;
    CalendarMeetingService::changeMeeting({{"title", "no id"}}, sampleBody("x"),
                                          changed.onSuccess(), changed.onError());
    QTRY_VERIFY_WITH_TIMEOUT(changed.done(), 15000);
    QCOMPARE(sim.lastRequest("changeMeeting").path.section('/', -1), QString("(null)"));
    QCOMPARE(changed.successes, 0);
    QVERIFY(changed.error && changed.error->httpStatus >= 400);

    // An expired token on cancel: refused, not "cancelled".
    sim.expireAllUserTokens();
    const QJsonObject any = sim.meetings(m_session.userId()).first().toObject();
    SendOutcome cancelled;
    CalendarMeetingService::cancelMeeting(any.toVariantMap(), "bye", false, cancelled.onSuccess(),
                                          cancelled.onError());
    QTRY_VERIFY_WITH_TIMEOUT(cancelled.done(), 15000);
    QCOMPARE(cancelled.successes, 0);
    QCOMPARE(cancelled.error->httpStatus, 401);
}

void tst_MeetingCalls::dotIdsNeverBecomePathSteps() {
    // "/scheduled_meeting/.." would be the user's own address: such a call is not sent.
    VeloraSimulator& sim = m_session.sim();
    for (const QString& id : {QStringLiteral(".."), QStringLiteral(".")}) {
        sim.clearRequests();
        SendOutcome cancelled, changed;
        CalendarMeetingService::cancelMeeting({{"id", id}}, "bye", false, cancelled.onSuccess(),
                                              cancelled.onError());
        CalendarMeetingService::changeMeeting({{"id", id}}, sampleBody("x"), changed.onSuccess(),
                                              changed.onError());
        QTRY_VERIFY_WITH_TIMEOUT(cancelled.done() && changed.done(), 15000);
        for (const SendOutcome* o : {&cancelled, &changed}) {
            QCOMPARE(o->successes, 0);
            QVERIFY(o->error);
            QCOMPARE(o->error->domain, QStringLiteral("NSURLErrorDomain"));
            QCOMPARE(o->error->code, -1002);
        }
        QCOMPARE(sim.requestCount(), 0);
    }
}

void tst_MeetingCalls::faultMatrix_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<int>("kind");
    const QList<QPair<const char*, QPair<Call, const char*>>> calls{
        {"list", {Call::List, "meetings"}},
        {"contacts", {Call::Contacts, "contacts"}},
        {"create", {Call::Create, "createMeeting"}},
        {"change", {Call::Change, "changeMeeting"}},
        {"cancel", {Call::Cancel, "cancelMeeting"}}};
    for (const auto& [name, call] : calls)
        for (const FaultMatrix::Row& row : FaultMatrix::kinds())
            QTest::addRow("%s/%s", name, row.name)
                << int(call.first) << QString(call.second) << int(row.kind);
}

void tst_MeetingCalls::faultMatrix() {
    QFETCH(int, call);
    QFETCH(QString, endpoint);
    QFETCH(int, kind);
    VeloraSimulator& sim = m_session.sim();
    const auto faultKind = Fault::Kind(kind);
    const QVariantMap meeting = sim.meetings(m_session.userId()).first().toObject().toVariantMap();
    const QString draftsBefore =
        QString::number(TamberDataModel::sharedData()->meetingDrafts.size());
    QVERIFY(sim.injectFault(endpoint, FaultMatrix::faultOf(faultKind, 403, "Not your meeting")));
    switch (Call(call)) {
    case Call::List: {
        ListOutcome o;
        fetchList(o);
        QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
        QCOMPARE(o.successes, 0);
        QCOMPARE(o.errors, 1);
        const QString wrong = FaultMatrix::errorMismatch(faultKind, 403, o.error);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QVERIFY(!m_log->messages(Log::Error).isEmpty());
        break;
    }
    case Call::Contacts: {
        ContactsOutcome o;
        fetchContacts(o);
        QTRY_COMPARE_WITH_TIMEOUT(o.calls, 1, 15000);
        QVERIFY(o.emails.isEmpty());
        QVERIFY(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true));
        break;
    }
    case Call::Create:
    case Call::Change:
    case Call::Cancel: {
        SendOutcome o;
        if (Call(call) == Call::Create)
            CalendarMeetingService::createMeeting(sampleBody("F"), o.onSuccess(), o.onError());
        else if (Call(call) == Call::Change)
            CalendarMeetingService::changeMeeting(meeting, sampleBody("F"), o.onSuccess(),
                                                  o.onError());
        else
            CalendarMeetingService::cancelMeeting(meeting, "m", false, o.onSuccess(), o.onError());
        QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
        QCOMPARE(o.successes + o.errors, 1);
        // The reply body is not read: a 200 with a bad body is still a success.
        const bool bodyOnly = faultKind == Fault::Kind::Garbage || faultKind == Fault::Kind::Empty;
        QCOMPARE(o.successes, bodyOnly ? 1 : 0);
        const QString wrong = FaultMatrix::errorMismatch(faultKind, 403, o.error);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        break;
    }
    }
    // None of these calls touches the drafts, and the record stays loadable.
    TamberDataModel::saveDataToBundle();
    TamberDataModel::resetForTesting();
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(QString::number(TamberDataModel::sharedData()->meetingDrafts.size()), draftsBefore);
    QCOMPARE(TamberDataModel::textOrNull(TamberDataModel::sharedData()->access_token),
             m_session.token());
    sim.clearFaults();
}

TAMBER_TEST_MAIN_CORE(tst_MeetingCalls)
#include "tst_MeetingCalls.moc"
