// Meeting list, contacts and the create / change / cancel senders against the simulator.
#include "CallOutcome.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/CalendarMeetingService.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

namespace {

using SendOutcome = CallOutcome;

struct ListOutcome : CallOutcome {
    QList<QJsonObject> meetings;
    void start() {
        CalendarMeetingService::fetchUpcomingMeetings(
            [this](const QList<QJsonObject>& m) {
                ++successes;
                meetings = m;
            },
            onError());
    }
};

struct ContactsOutcome {
    int calls = 0;
    QStringList emails;
    void start() {
        TamberDataModel::fetchContacts([this](const QStringList& e) {
            ++calls;
            emails = e;
        });
    }
};

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
    void initTestCase() { QVERIFY(m_session.start()); }
    void init();
    void cleanup();

    void listsAsTheServiceHasThem();
    void listReplies_data();
    void listReplies();
    void createChangeAndCancelSendExactRequests();
    void unusableIds_data();
    void unusableIds();
    void faultMatrix_data();
    void faultMatrix();

private:
    SignedInSimulator m_session;
    std::unique_ptr<LogSpy> m_log;
};

void tst_MeetingCalls::init() {
    m_session.signIn();
    m_log = std::make_unique<LogSpy>();
}

void tst_MeetingCalls::cleanup() {
    m_log.reset();
    m_session.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(60000);
}

void tst_MeetingCalls::listsAsTheServiceHasThem() {
    VeloraSimulator& sim = m_session.sim();
    const QMap<QString, QString> auth{{"access_token", m_session.token()}};
    ListOutcome list;
    list.start();
    QVERIFY(list.wait());
    QCOMPARE(list.successes, 1);
    QJsonArray listed;
    for (const QJsonObject& m : std::as_const(list.meetings))
        listed.append(m);
    QVERIFY(!listed.isEmpty());
    QCOMPARE(listed, sim.meetings(m_session.userId()));
    const RecordedRequest get = sim.lastRequest("meetings");
    QCOMPARE(get.method, QByteArray("GET"));
    QCOMPARE(get.path, QStringLiteral("/v1/user/%1/scheduled_meeting").arg(m_session.userId()));
    QCOMPARE(get.query, auth);

    ContactsOutcome contacts;
    contacts.start();
    QTRY_COMPARE_WITH_TIMEOUT(contacts.calls, 1, 15000);
    QStringList expected;
    for (const QJsonValue& c : sim.contacts(m_session.userId()))
        expected << c.toObject().value("email").toString();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(contacts.emails, expected);
    const RecordedRequest contactsGet = sim.lastRequest("contacts");
    QCOMPARE(contactsGet.method, QByteArray("GET"));
    QCOMPARE(contactsGet.path,
             QStringLiteral("/ridgeapi/v1/user/%1/contact").arg(m_session.userId()));
    QCOMPARE(contactsGet.query, auth);

    // A second fetch asks the service again.
    list.start();
    QTRY_COMPARE(list.successes, 2);
    QCOMPARE(sim.requestCount("meetings"), 2);
}

void tst_MeetingCalls::listReplies_data() {
    QTest::addColumn<bool>("contacts");
    QTest::addColumn<Fault>("reply");
    QTest::addColumn<QStringList>("listed"); // meeting ids or addresses
    QTest::addColumn<bool>("failed");
    const auto row = [](const char* name, bool contacts, const QByteArray& body,
                        const QStringList& listed, bool failed) {
        QTest::newRow(name) << contacts << Fault::replyWith(200, body) << listed << failed;
    };
    row("no meetings", false, "[]", {}, false);
    // Elements that are not objects never reach the list builder.
    row("mixed elements", false, R"([{"id":"m1","title":7},3,"x",null,{"id":"m2"}])", {"m1", "m2"},
        false);
    row("object", false, R"({"id":"m1","title":"one"})", {}, true);
    row("number", false, "42", {}, true);
    row("text", false, "\"text\"", {}, true);
    row("nested", false, QByteArray(50000, '[') + QByteArray(50000, ']'), {}, true);
    QTest::newRow("empty") << false << Fault::empty() << QStringList() << true;
    // Contacts fail as a whole when one entry is not an address.
    row("no contacts", true, "[]", {}, false);
    row("entry without address", true,
        R"([{"email":"a@x.y"},{"name":"no mail"},{"email":"c@x.y"}])", {}, true);
    row("contact object", true, R"({"email":"a@x.y"})", {}, true);
    row("address as number", true, R"([{"email":"a@x.y"},{"email":17}])", {}, true);
    row("address as text element", true, R"([{"email":"a@x.y"},"b@x.y"])", {}, true);
}

void tst_MeetingCalls::listReplies() {
    QFETCH(bool, contacts);
    QFETCH(Fault, reply);
    QFETCH(QStringList, listed);
    QFETCH(bool, failed);
    m_session.sim().injectFault(contacts ? "contacts" : "meetings", reply.times(1));
    if (contacts) {
        ContactsOutcome o;
        o.start();
        QTRY_COMPARE_WITH_TIMEOUT(o.calls, 1, 15000);
        QCOMPARE(o.emails, listed);
        QCOMPARE(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true),
                 failed);
        return;
    }
    ListOutcome o;
    o.start();
    QVERIFY(o.wait());
    QCOMPARE(o.errors, failed ? 1 : 0);
    QVERIFY(!o.error);
    QStringList ids;
    for (const QJsonObject& m : std::as_const(o.meetings))
        ids << m.value("id").toString();
    QCOMPARE(ids, listed);
    if (reply.kind == Fault::Kind::Empty)
        QVERIFY(m_log->contains(Log::Error, QStringLiteral("Empty Data")));
}

void tst_MeetingCalls::createChangeAndCancelSendExactRequests() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    const int before = sim.meetings(uid).size();

    const QVariantMap body = sampleBody("Budget & plans");
    SendOutcome created;
    CalendarMeetingService::createMeeting(body, created.onSuccess(), created.onError());
    QVERIFY(created.wait());
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
    const QString id = TamberDataModel::urlText(target.value("id").toVariant());
    QVERIFY(!target.isEmpty());
    const QVariantMap changedBody = sampleBody("Budget review");
    SendOutcome changed;
    CalendarMeetingService::changeMeeting(target.toVariantMap(), changedBody, changed.onSuccess(),
                                          changed.onError());
    QVERIFY(changed.wait());
    QCOMPARE(changed.successes, 1);
    const RecordedRequest put = sim.lastRequest("changeMeeting");
    QCOMPARE(put.method, QByteArray("PUT"));
    QCOMPARE(put.path, QStringLiteral("/ridgeapi/v1/user/%1/scheduled_meeting/%2").arg(uid, id));
    QCOMPARE(put.query.value("email"), QString("true"));
    QCOMPARE(put.header("content-type"), QByteArray("application/json"));
    QCOMPARE(put.jsonBody(), QJsonObject::fromVariantMap(changedBody));
    QCOMPARE(sim.meeting(uid, id).value("title").toString(), QString("Budget review"));

    // Cancel the whole meeting, with a message that must stay one query value.
    SendOutcome cancelled;
    CalendarMeetingService::cancelMeeting(target.toVariantMap(), "Sorry & thanks #1 a+b=c", false,
                                          cancelled.onSuccess(), cancelled.onError());
    QVERIFY(cancelled.wait());
    QCOMPARE(cancelled.successes, 1);
    const RecordedRequest del = sim.lastRequest("cancelMeeting");
    QCOMPARE(del.method, QByteArray("DELETE"));
    QVERIFY(del.body.isEmpty());
    QCOMPARE(del.query.value("cancellationMessage"), QString("Sorry & thanks #1 a+b=c"));
    QCOMPARE(del.query.value("email"), QString("true"));
    QVERIFY(!del.hasQuery("originalStart"));
    QCOMPARE(sim.meetings(uid).size(), before);

    // Only the next occurrence of a series.
    QJsonObject series;
    for (const QJsonValue& m : sim.meetings(uid))
        if (m.toObject().contains("recurrencePattern") && m.toObject().contains("nextStart"))
            series = m.toObject();
    QVERIFY2(!series.isEmpty(), "fixture has no recurring meeting with a next occurrence");
    SendOutcome occurrence;
    CalendarMeetingService::cancelMeeting(series.toVariantMap(), QString(), true,
                                          occurrence.onSuccess(), occurrence.onError());
    QVERIFY(occurrence.wait());
    QCOMPARE(occurrence.successes, 1);
    const RecordedRequest next = sim.lastRequest("cancelMeeting");
    QCOMPARE(next.query.value("originalStart"),
             TamberDataModel::urlText(series.value("nextStart").toVariant()));
    QCOMPARE(next.query.value("originalEnd"),
             TamberDataModel::urlText(series.value("nextEnd").toVariant()));
}

void tst_MeetingCalls::unusableIds_data() {
    QTest::addColumn<QVariantMap>("meeting");
    QTest::addColumn<bool>("sent");
    // "/scheduled_meeting/.." would be the user's own address: such a call is not sent (-1002).
    QTest::newRow("..") << QVariantMap{{"id", ".."}} << false;
    QTest::newRow(".") << QVariantMap{{"id", "."}} << false;
    // Without "id" the call goes to "(null)" and the service's 404 is a failure.
    QTest::newRow("no id") << QVariantMap{{"title", "no id"}} << true;
}

void tst_MeetingCalls::unusableIds() {
    QFETCH(QVariantMap, meeting);
    QFETCH(bool, sent);
    VeloraSimulator& sim = m_session.sim();
    SendOutcome cancelled, changed;
    CalendarMeetingService::cancelMeeting(meeting, "bye", false, cancelled.onSuccess(),
                                          cancelled.onError());
    CalendarMeetingService::changeMeeting(meeting, sampleBody("x"), changed.onSuccess(),
                                          changed.onError());
    QTRY_VERIFY_WITH_TIMEOUT(cancelled.done() && changed.done(), 15000);
    for (const SendOutcome* o : {&cancelled, &changed}) {
        QCOMPARE(o->successes, 0);
        QVERIFY(o->error);
        QCOMPARE(o->error->httpStatus, sent ? 404 : 0);
        QCOMPARE(o->code(), sent ? 404 : -1002);
    }
    QCOMPARE(sim.requestCount(), sent ? 2 : 0);
    if (sent)
        QCOMPARE(sim.lastRequest("changeMeeting").path.section('/', -1), QString("(null)"));
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
    CallOutcome o;
    switch (Call(call)) {
    case Call::List:
        CalendarMeetingService::fetchUpcomingMeetings([&o](auto&&) { ++o.successes; }, o.onError());
        break;
    case Call::Contacts: // a failure gives no addresses
        TamberDataModel::fetchContacts(
            [&o](const QStringList& e) { ++(e.isEmpty() ? o.errors : o.successes); });
        break;
    case Call::Create:
        CalendarMeetingService::createMeeting(sampleBody("F"), o.onSuccess(), o.onError());
        break;
    case Call::Change:
        CalendarMeetingService::changeMeeting(meeting, sampleBody("F"), o.onSuccess(), o.onError());
        break;
    case Call::Cancel:
        CalendarMeetingService::cancelMeeting(meeting, "m", false, o.onSuccess(), o.onError());
        break;
    }
    QVERIFY(o.wait());
    QCOMPARE(o.calls(), 1);
    // The senders do not read the reply body: a 200 with a bad body is still a success.
    const bool bodyOnly = faultKind == Fault::Kind::Garbage || faultKind == Fault::Kind::Empty;
    QCOMPARE(o.successes, Call(call) >= Call::Create && bodyOnly ? 1 : 0);
    if (Call(call) == Call::Contacts) {
        QVERIFY(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true));
    } else {
        const QString wrong = FaultMatrix::errorMismatch(faultKind, 403, o.error);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    if (Call(call) == Call::List)
        QVERIFY(!m_log->messages(Log::Error).isEmpty());
    // None of these calls touches the drafts, and the record stays loadable.
    TamberDataModel::saveDataToBundle();
    TamberDataModel::resetForTesting();
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(QString::number(TamberDataModel::sharedData()->meetingDrafts.size()), draftsBefore);
    QCOMPARE(TamberDataModel::textOrNull(TamberDataModel::sharedData()->access_token),
             m_session.token());
}

TAMBER_TEST_MAIN_CORE(tst_MeetingCalls)
#include "tst_MeetingCalls.moc"
