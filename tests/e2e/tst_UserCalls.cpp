// Calls made with the user token against the simulator over real TLS: the account's profile, room
// and personal meeting, the meeting list and contacts, and the meeting senders.
#include "CallOutcome.h"
#include "E2eRequests.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/AccountReplyParser.h"
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

using Record = TamberDataModel;

enum class Call {
    Aggregated,
    RoomSettings,
    Description,
    RoomUpdate,
    List,
    Contacts,
    Create,
    Change,
    Cancel
};

// What a call reported; the list and the contacts also keep what they gave.
struct Outcome : CallOutcome {
    QList<QJsonObject> meetings;
    QStringList emails;
};

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

// A change or cancellation is of `meeting`. The contacts have no error callback: a failure gives
// no addresses.
void start(Call call, Outcome& o, const QVariantMap& meeting = {}) {
    switch (call) {
    case Call::Aggregated:
        return Record::fetchAggregatedUserDetails(o.onSuccess(), o.onError());
    case Call::RoomSettings:
        return Record::fetchRoomSettingDetails(o.onSuccess(), o.onError());
    case Call::Description:
        return Record::fetchPersonalMeetingDescription(o.onSuccess(), o.onError());
    case Call::RoomUpdate:
        return Record::updateRoomSettings(o.onSuccess(), o.onError());
    case Call::List:
        return CalendarMeetingService::fetchUpcomingMeetings(
            [&o](const QList<QJsonObject>& m) {
                ++o.successes;
                o.meetings = m;
            },
            o.onError());
    case Call::Contacts:
        return Record::fetchContacts([&o](const QStringList& e) {
            ++o.successes;
            o.emails = e;
        });
    case Call::Create:
        return CalendarMeetingService::createMeeting(sampleBody("F"), o.onSuccess(), o.onError());
    case Call::Change:
        return CalendarMeetingService::changeMeeting(meeting, sampleBody("F"), o.onSuccess(),
                                                     o.onError());
    case Call::Cancel:
        return CalendarMeetingService::cancelMeeting(meeting, "m", false, o.onSuccess(),
                                                     o.onError());
    }
}

// Every field these calls write, with the simulator's record and key it comes from.
struct Field {
    const char* name;
    QVariant Record::*member;
    const char* source; // "user", "room", "pm"; empty: the invitation text
    const char* key;
};
const QList<Field> kCopiedFields{
    {"firstName", &Record::firstName, "user", "firstName"},
    {"lastName", &Record::lastName, "user", "lastName"},
    {"email", &Record::email, "user", "emailId"},
    {"profilePicture", &Record::profilePicture, "user", "profilePicture"},
    {"timezone", &Record::timezone, "user", "timezone"},
    {"language", &Record::language, "user", "language"},
    {"numericId", &Record::numericId, "room", "numericId"},
    {"personalMeetingId", &Record::personalMeetingId, "room", "personalMeetingId"},
    {"moderatorPasscode", &Record::moderatorPasscode, "room", "moderatorPasscode"},
    {"roomId", &Record::roomId, "room", "id"},
    {"publishMeeting", &Record::publishMeeting, "room", "publishMeeting"},
    {"encryptionType", &Record::encryptionType, "room", "encryptionType"},
    {"videoBestFit", &Record::videoBestFit, "room", "videoBestFit"},
    {"showAllParticipantsInIcs", &Record::showAllParticipantsInIcs, "room",
     "showAllParticipantsInIcs"},
    {"isModeratorLess", &Record::isModeratorLess, "room", "isModeratorLess"},
    {"disallowChat", &Record::disallowChat, "room", "disallowChat"},
    {"muteParticipantsOnEntry", &Record::muteParticipantsOnEntry, "room",
     "muteParticipantsOnEntry"},
    {"isLargeMeeting", &Record::isLargeMeeting, "room", "isLargeMeeting"},
    {"addAttendeePasscode", &Record::addAttendeePasscode, "pm", "addAttendeePasscode"},
    {"participantPasscode", &Record::participantPasscode, "pm", "attendeePasscode"},
    {"personalMeetingDescription", &Record::personalMeetingDescription, "", ""},
};

// Values no reply of the simulator carries, so any copy shows.
void fillWithStaleValues() {
    Record& r = *Record::sharedData();
    for (const Field& f : kCopiedFields)
        r.*f.member = QStringLiteral("stale-%1").arg(QLatin1String(f.name));
    // Room switches as the preferences view leaves them.
    r.publishMeeting = QStringLiteral("1");
    r.videoBestFit = QStringLiteral("0");
    r.encryptionType = QStringLiteral("ENCRYPTED_ONLY");
}

QVariantMap snapshot() {
    QVariantMap values;
    for (const Field& f : kCopiedFields)
        values.insert(QLatin1String(f.name), Record::sharedData()->*f.member);
    return values;
}

// Saves, forgets and loads the record: what a restart would see.
void saveAndReload() {
    Record::saveDataToBundle();
    Record::resetForTesting();
    Record::loadDataFromBundle();
}

} // namespace

class tst_UserCalls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_session.start()); }
    void init();
    void cleanup();

    void aggregatedDetailsCopyProfileRoomAndInvitation();
    void roomSettingsReadRoomAndPersonalMeeting();
    void replyReadings_data();
    void replyReadings();
    void roomUpdateSendsExactBodyAndSavesBeforeReply();
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

void tst_UserCalls::init() {
    m_session.signIn();
    m_log = std::make_unique<LogSpy>();
}

void tst_UserCalls::cleanup() {
    m_log.reset();
    m_session.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(60000);
}

void tst_UserCalls::aggregatedDetailsCopyProfileRoomAndInvitation() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    Outcome o;
    start(Call::Aggregated, o);
    QVERIFY(o.succeeded());

    // Four GETs in order, each with the user token as the only query value.
    const QList<RecordedRequest> requests = sim.requests();
    QCOMPARE(requests.size(), 4);
    const QMap<QString, QJsonObject> sources{
        {"user", sim.account(VeloraSimulator::PasswordUser).value("user").toObject()},
        {"room", sim.room(uid)},
        {"pm", sim.personalMeeting(uid)}};
    const QStringList paths{
        "/ridgeapi/v1/user/" + uid, "/ridgeapi/v1/user/" + uid + "/room/",
        "/ridgeapi/v1/user/" + uid + "/personal_meeting/",
        QStringLiteral("/v1/user/%1/scheduled_meeting/%2/emails")
            .arg(uid, Record::urlText(sources["room"].value("personalMeetingId").toVariant()))};
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(requestLine(requests[i]),
                 "GET " + paths[i] + " access_token=" + m_session.token());
        QVERIFY(requests[i].body.isEmpty());
    }

    // Every listed field, as the service gave it.
    const Record& r = *Record::sharedData();
    for (const Field& f : kCopiedFields) {
        if (!*f.source)
            continue;
        const QVariant given = sources[f.source].value(QLatin1String(f.key)).toVariant();
        QVERIFY2(given.isValid() && r.*f.member == given, f.name);
    }
    QVERIFY(r.personalMeetingDescription.toString().contains(r.participantPasscode.toString()));
    // The invitation holds the passcode: the log gives its length only.
    const QStringList info = m_log->messages(Log::Info);
    QVERIFY(info.contains(QStringLiteral("Invitation text received: %1 characters")
                              .arg(r.personalMeetingDescription.toString().size())));
    QVERIFY(std::none_of(info.begin(), info.end(),
                         [](const QString& m) { return m.contains("\"ICS\""); }));

    // The chain saved the record: a restart sees it, room switches as "true"/"false" texts.
    const QVariantMap before = snapshot();
    Record::resetForTesting();
    Record::loadDataFromBundle();
    const Record& loaded = *Record::sharedData();
    QCOMPARE(loaded.firstName, before.value("firstName"));
    QCOMPARE(loaded.personalMeetingDescription, before.value("personalMeetingDescription"));
    QCOMPARE(loaded.participantPasscode, before.value("participantPasscode"));
    QCOMPARE(loaded.videoBestFit.toString(),
             before.value("videoBestFit").toBool() ? QString("true") : QString("false"));
    QVERIFY(!loaded.language.isValid() && !loaded.addAttendeePasscode.isValid()); // never stored
}

void tst_UserCalls::roomSettingsReadRoomAndPersonalMeeting() {
    VeloraSimulator& sim = m_session.sim();
    Outcome o;
    start(Call::RoomSettings, o);
    QVERIFY(o.succeeded());
    QCOMPARE(endpointsOf(sim.requests()), (QStringList{"room", "personalMeeting"}));
    QCOMPARE(storedPreference("numericId"),
             sim.room(m_session.userId()).value("numericId").toVariant());
}

void tst_UserCalls::replyReadings_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected"); // invalid: left absent
    QTest::addColumn<bool>("success");
    const auto row = [](const char* name, Call call, const char* endpoint, const QByteArray& body,
                        const char* field, const QVariant& expected, bool success = true) {
        QTest::newRow(name) << int(call) << QString(endpoint) << body << QString(field) << expected
                            << success;
    };
    const QByteArray pm = R"({"addAttendeePasscode":false,"attendeePasscode":"9911"})";
    // The passcode is copied even when join links leave it out.
    row("passcode", Call::RoomSettings, "personalMeeting", pm, "participantPasscode", "9911");
    row("passcode left out of links", Call::RoomSettings, "personalMeeting", pm,
        "addAttendeePasscode", false);
    row("email under another key", Call::Aggregated, "user", R"({"email":"a@b.c"})", "email", {});
    row("invitation without participant", Call::Description, "invitation",
        R"({"other":{"create":{"ICS":"x"}}})", "personalMeetingDescription", {});
    // Numbers and booleans are kept as given; objects, lists and null become absent.
    row("number for a text", Call::Aggregated, "user", R"({"firstName":42})", "firstName", 42);
    row("object for a text", Call::Aggregated, "user", R"({"lastName":{"a":1}})", "lastName", {});
    row("list for a text", Call::Aggregated, "user", R"({"emailId":["x@y.z"]})", "email", {});
    row("null", Call::Aggregated, "user", R"({"profilePicture":null})", "profilePicture", {});
    row("boolean for a text", Call::Aggregated, "user", R"({"timezone":true})", "timezone", true);
    // A list where an object belongs, or a deeply nested document: nothing is copied.
    row("list for the room", Call::RoomSettings, "room", R"([{"numericId":"1"},2,"three"])",
        "numericId", "stale-numericId", false);
    row("nested", Call::RoomSettings, "room", QByteArray(100000, '[') + QByteArray(100000, ']'),
        "publishMeeting", "1", false);
}

void tst_UserCalls::replyReadings() {
    QFETCH(int, call);
    QFETCH(QString, endpoint);
    QFETCH(QByteArray, body);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QFETCH(bool, success);
    fillWithStaleValues();
    m_session.sim().injectFault(endpoint, Fault::replyWith(200, body).times(1));
    Outcome o;
    start(Call(call), o);
    QVERIFY(o.wait());
    QCOMPARE(o.successes, success ? 1 : 0);
    QVERIFY(!o.error);
    QCOMPARE(snapshot().value(field), expected);
}

void tst_UserCalls::roomUpdateSendsExactBodyAndSavesBeforeReply() {
    VeloraSimulator& sim = m_session.sim();
    Record& r = *Record::sharedData();
    r.publishMeeting = QStringLiteral("1");
    r.videoBestFit = QStringLiteral("0");
    r.showAllParticipantsInIcs = QStringLiteral("true"); // not the text "1": sent as false
    r.isModeratorLess = QStringLiteral("1");
    r.disallowChat = QStringLiteral("0");
    r.muteParticipantsOnEntry = QStringLiteral("1");
    r.isLargeMeeting = QStringLiteral("0");
    r.encryptionType = QStringLiteral("NO_ENCRYPTION");
    // The reply is held back so the save can be seen before it.
    sim.injectFault("roomUpdate", Fault::delay(800).times(1));
    Outcome o;
    start(Call::RoomUpdate, o);
    QCOMPARE(storedPreference("publishMeeting"), QVariant("true"));
    QCOMPARE(storedPreference("showAllParticipantsInIcs"), QVariant("true"));
    QCOMPARE(storedPreference("videoBestFit"), QVariant("false"));
    QCOMPARE(storedPreference("encryptionType"), QVariant("NO_ENCRYPTION"));
    QVERIFY(!o.done());
    QVERIFY(o.succeeded());
    const RecordedRequest put = sim.lastRequest("roomUpdate");
    QCOMPARE(requestLine(put), "PUT /ridgeapi/v1/user/" + m_session.userId() +
                                   "/room/ access_token=" + m_session.token() +
                                   " [application/json]");
    const QJsonObject expected{
        {"publishMeeting", true},          {"encryptionType", "NO_ENCRYPTION"},
        {"videoBestFit", false},           {"showAllParticipantsInIcs", false},
        {"isModeratorLess", true},         {"disallowChat", false},
        {"muteParticipantsOnEntry", true}, {"isLargeMeeting", false}};
    QCOMPARE(QJsonDocument::fromJson(put.body).object(), expected);
    QVERIFY(!put.body.contains(' ') && !put.body.contains('\n')); // compact
    QCOMPARE(sim.room(m_session.userId()).value("isModeratorLess"), QJsonValue(true));

    // No encryption choice held: the key is left out rather than sent as null.
    r.encryptionType = QVariant();
    r.publishMeeting = 1; // a number is not the text "1"
    const QJsonObject without =
        QJsonDocument::fromJson(AccountReplyParser::roomUpdateBody(r)).object();
    QVERIFY(!without.contains("encryptionType"));
    QCOMPARE(without.value("publishMeeting"), QJsonValue(false));
    QCOMPARE(without.size(), 7);
}

void tst_UserCalls::listsAsTheServiceHasThem() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    const QString auth = " access_token=" + m_session.token();
    Outcome list, contacts;
    start(Call::List, list);
    start(Call::Contacts, contacts);
    QVERIFY(list.wait() && contacts.wait());
    QCOMPARE(list.successes, 1);
    QJsonArray listed;
    for (const QJsonObject& m : std::as_const(list.meetings))
        listed.append(m);
    QVERIFY(!listed.isEmpty());
    QCOMPARE(listed, sim.meetings(uid));
    QCOMPARE(requestLine(sim.lastRequest("meetings")),
             "GET /v1/user/" + uid + "/scheduled_meeting" + auth);
    QStringList expected;
    for (const QJsonValue& c : sim.contacts(uid))
        expected << c.toObject().value("email").toString();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(contacts.emails, expected);
    QCOMPARE(requestLine(sim.lastRequest("contacts")),
             "GET /ridgeapi/v1/user/" + uid + "/contact" + auth);

    // A second fetch asks the service again.
    start(Call::List, list);
    QTRY_COMPARE(list.successes, 2);
    QCOMPARE(sim.requestCount("meetings"), 2);
}

void tst_UserCalls::listReplies_data() {
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

void tst_UserCalls::listReplies() {
    QFETCH(bool, contacts);
    QFETCH(Fault, reply);
    QFETCH(QStringList, listed);
    QFETCH(bool, failed);
    m_session.sim().injectFault(contacts ? "contacts" : "meetings", reply.times(1));
    Outcome o;
    start(contacts ? Call::Contacts : Call::List, o);
    QVERIFY(o.wait());
    QVERIFY(!o.error);
    if (contacts) {
        QCOMPARE(o.emails, listed);
        QCOMPARE(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true),
                 failed);
        return;
    }
    QCOMPARE(o.errors, failed ? 1 : 0);
    QStringList ids;
    for (const QJsonObject& m : std::as_const(o.meetings))
        ids << m.value("id").toString();
    QCOMPARE(ids, listed);
    if (reply.kind == Fault::Kind::Empty)
        QVERIFY(m_log->contains(Log::Error, QStringLiteral("Empty Data")));
}

void tst_UserCalls::createChangeAndCancelSendExactRequests() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    const QString meetings = "/ridgeapi/v1/user/" + uid + "/scheduled_meeting/";
    const QString auth = " access_token=" + m_session.token();
    const qsizetype before = sim.meetings(uid).size();

    const QVariantMap body = sampleBody("Budget & plans");
    Outcome created;
    CalendarMeetingService::createMeeting(body, created.onSuccess(), created.onError());
    QVERIFY(created.succeeded());
    const RecordedRequest post = sim.lastRequest("createMeeting");
    QCOMPARE(requestLine(post), "POST " + meetings + auth + " email=true [application/json]");
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
    Outcome changed;
    CalendarMeetingService::changeMeeting(target.toVariantMap(), changedBody, changed.onSuccess(),
                                          changed.onError());
    QVERIFY(changed.succeeded());
    const RecordedRequest put = sim.lastRequest("changeMeeting");
    QCOMPARE(requestLine(put), "PUT " + meetings + id + auth + " email=true [application/json]");
    QCOMPARE(put.jsonBody(), QJsonObject::fromVariantMap(changedBody));
    QCOMPARE(sim.meeting(uid, id).value("title").toString(), QString("Budget review"));

    // Cancel the whole meeting, with a message that must stay one query value.
    Outcome cancelled;
    CalendarMeetingService::cancelMeeting(target.toVariantMap(), "Sorry & thanks #1 a+b=c", false,
                                          cancelled.onSuccess(), cancelled.onError());
    QVERIFY(cancelled.succeeded());
    const RecordedRequest del = sim.lastRequest("cancelMeeting");
    QCOMPARE(requestLine(del), "DELETE " + meetings + id + auth +
                                   " cancellationMessage=Sorry & thanks #1 a+b=c email=true");
    QVERIFY(del.body.isEmpty());
    QCOMPARE(sim.meetings(uid).size(), before);

    // Only the next occurrence of a series.
    QJsonObject series;
    for (const QJsonValue& m : sim.meetings(uid))
        if (m.toObject().contains("recurrencePattern") && m.toObject().contains("nextStart"))
            series = m.toObject();
    QVERIFY2(!series.isEmpty(), "fixture has no recurring meeting with a next occurrence");
    Outcome occurrence;
    CalendarMeetingService::cancelMeeting(series.toVariantMap(), QString(), true,
                                          occurrence.onSuccess(), occurrence.onError());
    QVERIFY(occurrence.succeeded());
    const RecordedRequest next = sim.lastRequest("cancelMeeting");
    QCOMPARE(next.query.value("originalStart"),
             TamberDataModel::urlText(series.value("nextStart").toVariant()));
    QCOMPARE(next.query.value("originalEnd"),
             TamberDataModel::urlText(series.value("nextEnd").toVariant()));
}

void tst_UserCalls::unusableIds_data() {
    QTest::addColumn<QVariantMap>("meeting");
    QTest::addColumn<bool>("sent");
    // "/scheduled_meeting/.." would be the user's own address: such a call is not sent (-1002).
    QTest::newRow("..") << QVariantMap{{"id", ".."}} << false;
    QTest::newRow(".") << QVariantMap{{"id", "."}} << false;
    // Without "id" the call goes to "(null)" and the service's 404 is a failure.
    QTest::newRow("no id") << QVariantMap{{"title", "no id"}} << true;
}

void tst_UserCalls::unusableIds() {
    QFETCH(QVariantMap, meeting);
    QFETCH(bool, sent);
    VeloraSimulator& sim = m_session.sim();
    Outcome cancelled, changed;
    start(Call::Cancel, cancelled, meeting);
    start(Call::Change, changed, meeting);
    QVERIFY(cancelled.wait() && changed.wait());
    for (const Outcome* o : {&cancelled, &changed}) {
        QCOMPARE(o->successes, 0);
        QVERIFY(o->error);
        QCOMPARE(o->error->httpStatus, sent ? 404 : 0);
        QCOMPARE(o->code(), sent ? 404 : -1002);
    }
    QCOMPARE(sim.requestCount(), sent ? 2 : 0);
    if (sent)
        QCOMPARE(sim.lastRequest("changeMeeting").path.section('/', -1), QString("(null)"));
}

void tst_UserCalls::faultMatrix_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("status"); // of an HTTP error
    // Fields the faulted step (and every later one) would write: they must stay as they were.
    QTest::addColumn<QStringList>("untouched");
    QTest::addColumn<QString>("errorLine"); // how the last error line starts

    const QStringList user{"firstName",      "lastName", "email",
                           "profilePicture", "timezone", "language"};
    const QStringList room{"numericId",    "personalMeetingId",        "moderatorPasscode",
                           "roomId",       "publishMeeting",           "encryptionType",
                           "videoBestFit", "showAllParticipantsInIcs", "isModeratorLess",
                           "disallowChat", "muteParticipantsOnEntry",  "isLargeMeeting"};
    const QStringList pm{"addAttendeePasscode", "participantPasscode"};
    const QStringList invitation{"personalMeetingDescription"};
    const QStringList all = user + room + pm + invitation;
    struct Step {
        Call call;
        const char* callName;
        const char* endpoint;
        int status;
        QStringList untouched;
        const char* errorLine;
    };
    const QList<Step> steps{
        {Call::Aggregated, "aggregated", "user", 401, all, "Error while fetching user details"},
        {Call::Aggregated, "aggregated", "room", 401, room + pm + invitation,
         "Error while fetching room settings"},
        {Call::Aggregated, "aggregated", "personalMeeting", 401, pm + invitation,
         "Error while fetching personal meeting"},
        {Call::Aggregated, "aggregated", "invitation", 401, invitation, ""},
        {Call::RoomSettings, "roomSettings", "room", 401, room + pm,
         "Error while fetching room settings"},
        {Call::RoomSettings, "roomSettings", "personalMeeting", 401, pm,
         "Error while fetching personal meeting"},
        {Call::Description, "description", "invitation", 401, invitation, ""},
        {Call::RoomUpdate, "roomUpdate", "roomUpdate", 401, room,
         "Error while updating room settings"},
        {Call::List, "list", "meetings", 403, all, ""},
        {Call::Contacts, "contacts", "contacts", 403, all, ""},
        {Call::Create, "create", "createMeeting", 403, all, ""},
        {Call::Change, "change", "changeMeeting", 403, all, ""},
        {Call::Cancel, "cancel", "cancelMeeting", 403, all, ""},
    };
    for (const Step& s : steps)
        for (const FaultMatrix::Row& row : FaultMatrix::kinds())
            QTest::addRow("%s/%s/%s", s.callName, s.endpoint, row.name)
                << int(s.call) << QString(s.endpoint) << int(row.kind) << s.status << s.untouched
                << QString(s.errorLine);
}

void tst_UserCalls::faultMatrix() {
    QFETCH(int, call);
    QFETCH(QString, endpoint);
    QFETCH(int, kind);
    QFETCH(int, status);
    QFETCH(QStringList, untouched);
    QFETCH(QString, errorLine);
    VeloraSimulator& sim = m_session.sim();
    const auto faultKind = Fault::Kind(kind);
    const QVariantMap meeting = sim.meetings(m_session.userId()).first().toObject().toVariantMap();
    fillWithStaleValues();
    Record::saveDataToBundle();
    const QVariantMap before = snapshot();
    const qsizetype drafts = Record::sharedData()->meetingDrafts.size();
    QVERIFY(sim.injectFault(endpoint, FaultMatrix::faultOf(faultKind, status, "Refused")));

    Outcome o;
    start(Call(call), o, meeting);
    QVERIFY(o.wait());
    QCOMPARE(o.calls(), 1);
    // The senders do not read the reply: a 200 with a bad body is still a success there.
    const bool sender = Call(call) == Call::RoomUpdate || Call(call) >= Call::Create;
    const bool bodyIgnored =
        sender && (faultKind == Fault::Kind::Garbage || faultKind == Fault::Kind::Empty);
    if (Call(call) == Call::Contacts) {
        QVERIFY(o.emails.isEmpty());
        QVERIFY(m_log->contains(Log::Debug, QStringLiteral("error while fetching contacts"), true));
    } else {
        QCOMPARE(o.successes, bodyIgnored ? 1 : 0);
    }
    if (!bodyIgnored && Call(call) != Call::Contacts) {
        const QString wrong = FaultMatrix::errorMismatch(faultKind, status, o.error);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    // The reads and the room update log the failure.
    if (!bodyIgnored && Call(call) <= Call::List) {
        const QStringList errors = m_log->messages(Log::Error);
        QVERIFY2(!errors.isEmpty(), "no error line");
        QVERIFY2(errors.last().startsWith(errorLine), qPrintable(errors.last()));
        // The description logs its error as it is, "(null)" when the reply was only empty.
        if (endpoint == "invitation" && faultKind == Fault::Kind::Empty)
            QCOMPARE(errors.last(), QStringLiteral("(null)"));
        if (endpoint == "invitation" && Call(call) == Call::Aggregated)
            QVERIFY(m_log->contains(
                Log::Debug,
                QStringLiteral("Error while fetching updated personal meeting description")));
    }
    // The room update keeps the user's choice; reads copy nothing of a bad reply.
    if (!bodyIgnored) {
        const QVariantMap after = snapshot();
        for (const QString& name : untouched)
            QVERIFY2(after.value(name) == before.value(name), qPrintable(name));
    }

    // Still loadable, with what the failed call left in memory; the drafts untouched.
    const QVariantMap inMemory = snapshot();
    saveAndReload();
    const QVariantMap reloaded = snapshot();
    for (const char* name : {"firstName", "numericId", "participantPasscode", "encryptionType",
                             "personalMeetingDescription"})
        QCOMPARE(reloaded.value(QLatin1String(name)), inMemory.value(QLatin1String(name)));
    QCOMPARE(Record::booleanReading(reloaded.value("publishMeeting")),
             Record::booleanReading(inMemory.value("publishMeeting")));
    QCOMPARE(Record::sharedData()->meetingDrafts.size(), drafts);
    QCOMPARE(Record::textOrNull(Record::sharedData()->access_token), m_session.token());
}

TAMBER_TEST_MAIN_CORE(tst_UserCalls)
#include "tst_UserCalls.moc"
