// User, room and personal-meeting calls against the simulator over real TLS.
#include "CallOutcome.h"
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/AccountReplyParser.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

namespace {

using Record = TamberDataModel;
using Outcome = CallOutcome;

enum class Call { Aggregated, RoomSettings, Description, RoomUpdate };

void start(Call call, Outcome& o) {
    switch (call) {
    case Call::Aggregated:
        return Record::fetchAggregatedUserDetails(o.onSuccess(), o.onError());
    case Call::RoomSettings:
        return Record::fetchRoomSettingDetails(o.onSuccess(), o.onError());
    case Call::Description:
        return Record::fetchPersonalMeetingDescription(o.onSuccess(), o.onError());
    case Call::RoomUpdate:
        return Record::updateRoomSettings(o.onSuccess(), o.onError());
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

QVariant stored(const char* key) {
    return PreferencesStore(PreferencesStore::defaultPath()).value(QLatin1String(key));
}

} // namespace

class tst_AccountCalls : public QObject {
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
    void faultMatrix_data();
    void faultMatrix();

private:
    SignedInSimulator m_session;
    std::unique_ptr<LogSpy> m_log;
};

void tst_AccountCalls::init() {
    m_session.signIn();
    m_log = std::make_unique<LogSpy>();
}

void tst_AccountCalls::cleanup() {
    m_log.reset();
    m_session.sim().clearFaults();
    ServiceCall::setTransferTimeoutMs(60000);
}

void tst_AccountCalls::aggregatedDetailsCopyProfileRoomAndInvitation() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    Outcome o;
    start(Call::Aggregated, o);
    QVERIFY(o.wait());
    QCOMPARE(o.successes, 1);

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
        QCOMPARE(requests[i].method, QByteArray("GET"));
        QCOMPARE(requests[i].path, paths[i]);
        QCOMPARE(requests[i].query, (QMap<QString, QString>{{"access_token", m_session.token()}}));
        QVERIFY(requests[i].body.isEmpty() && !requests[i].hasHeader("content-type"));
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

void tst_AccountCalls::roomSettingsReadRoomAndPersonalMeeting() {
    VeloraSimulator& sim = m_session.sim();
    Outcome o;
    start(Call::RoomSettings, o);
    QVERIFY(o.wait());
    QCOMPARE(o.successes, 1);
    QCOMPARE(sim.requestCount(), 2);
    QCOMPARE(sim.requests()[0].endpoint, QString("room"));
    QCOMPARE(sim.requests()[1].endpoint, QString("personalMeeting"));
    QCOMPARE(stored("numericId"), sim.room(m_session.userId()).value("numericId").toVariant());
}

void tst_AccountCalls::replyReadings_data() {
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

void tst_AccountCalls::replyReadings() {
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

void tst_AccountCalls::roomUpdateSendsExactBodyAndSavesBeforeReply() {
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
    QCOMPARE(stored("publishMeeting"), QVariant("true"));
    QCOMPARE(stored("showAllParticipantsInIcs"), QVariant("true"));
    QCOMPARE(stored("videoBestFit"), QVariant("false"));
    QCOMPARE(stored("encryptionType"), QVariant("NO_ENCRYPTION"));
    QVERIFY(!o.done());
    QVERIFY(o.wait());
    QCOMPARE(o.successes, 1);

    const RecordedRequest put = sim.lastRequest("roomUpdate");
    QCOMPARE(put.method, QByteArray("PUT"));
    QCOMPARE(put.path, "/ridgeapi/v1/user/" + m_session.userId() + "/room/");
    QCOMPARE(put.query, (QMap<QString, QString>{{"access_token", m_session.token()}}));
    QCOMPARE(put.header("content-type"), QByteArray("application/json"));
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

void tst_AccountCalls::faultMatrix_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<int>("kind");
    // Fields the faulted step (and every later one) would write: they must stay as they were.
    QTest::addColumn<QStringList>("untouched");
    QTest::addColumn<QString>("errorLine");

    const QStringList user{"firstName",      "lastName", "email",
                           "profilePicture", "timezone", "language"};
    const QStringList room{"numericId",    "personalMeetingId",        "moderatorPasscode",
                           "roomId",       "publishMeeting",           "encryptionType",
                           "videoBestFit", "showAllParticipantsInIcs", "isModeratorLess",
                           "disallowChat", "muteParticipantsOnEntry",  "isLargeMeeting"};
    const QStringList pm{"addAttendeePasscode", "participantPasscode"};
    const QStringList invitation{"personalMeetingDescription"};
    struct Step {
        Call call;
        const char* callName;
        const char* endpoint;
        QStringList untouched;
        const char* errorLine;
    };
    const QList<Step> steps{
        {Call::Aggregated, "aggregated", "user", user + room + pm + invitation,
         "Error while fetching user details"},
        {Call::Aggregated, "aggregated", "room", room + pm + invitation,
         "Error while fetching room settings"},
        {Call::Aggregated, "aggregated", "personalMeeting", pm + invitation,
         "Error while fetching personal meeting"},
        {Call::Aggregated, "aggregated", "invitation", invitation, ""},
        {Call::RoomSettings, "roomSettings", "room", room + pm,
         "Error while fetching room settings"},
        {Call::RoomSettings, "roomSettings", "personalMeeting", pm,
         "Error while fetching personal meeting"},
        {Call::Description, "description", "invitation", invitation, ""},
        {Call::RoomUpdate, "roomUpdate", "roomUpdate", room, "Error while updating room settings"},
    };
    for (const Step& s : steps)
        for (const FaultMatrix::Row& row : FaultMatrix::kinds())
            QTest::addRow("%s/%s/%s", s.callName, s.endpoint, row.name)
                << int(s.call) << QString(s.endpoint) << int(row.kind) << s.untouched
                << QString(s.errorLine);
}

void tst_AccountCalls::faultMatrix() {
    QFETCH(int, call);
    QFETCH(QString, endpoint);
    QFETCH(int, kind);
    QFETCH(QStringList, untouched);
    QFETCH(QString, errorLine);
    VeloraSimulator& sim = m_session.sim();
    const auto faultKind = Fault::Kind(kind);

    fillWithStaleValues();
    Record::saveDataToBundle();
    const QVariantMap before = snapshot();

    const Fault fault = FaultMatrix::faultOf(faultKind, 401, QStringLiteral("Token expired"));
    QVERIFY(sim.injectFault(endpoint, fault));

    Outcome o;
    start(Call(call), o);
    QVERIFY(o.wait());
    // Exactly one callback, never success for a read; the room update does not read its
    // reply, so a 200 with a bad body is still a success there.
    const bool bodyIgnored = Call(call) == Call::RoomUpdate &&
                             (faultKind == Fault::Kind::Garbage || faultKind == Fault::Kind::Empty);
    QCOMPARE(o.calls(), 1);
    QCOMPARE(o.successes, bodyIgnored ? 1 : 0);

    if (!bodyIgnored) {
        const QString wrong = FaultMatrix::errorMismatch(faultKind, 401, o.error);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        const QStringList errors = m_log->messages(Log::Error);
        QVERIFY2(!errors.isEmpty(), "no error line");
        if (!errorLine.isEmpty())
            QVERIFY2(errors.last().startsWith(errorLine), qPrintable(errors.last()));
        // The description logs its error as it is, "(null)" when the reply was only empty.
        if (endpoint == "invitation" && faultKind == Fault::Kind::Empty)
            QCOMPARE(errors.last(), QStringLiteral("(null)"));
        if (endpoint == "invitation" && Call(call) == Call::Aggregated)
            QVERIFY(m_log->contains(
                Log::Debug,
                QStringLiteral("Error while fetching updated personal meeting description")));
        // The room update keeps the user's choice; reads copy nothing of a bad reply.
        const QVariantMap after = snapshot();
        for (const QString& name : untouched)
            QVERIFY2(after.value(name) == before.value(name), qPrintable(name));
    }

    // Still loadable, with what the failed call left in memory.
    const QVariantMap inMemory = snapshot();
    saveAndReload();
    const QVariantMap reloaded = snapshot();
    for (const char* name : {"firstName", "numericId", "participantPasscode", "encryptionType",
                             "personalMeetingDescription"})
        QCOMPARE(reloaded.value(QLatin1String(name)), inMemory.value(QLatin1String(name)));
    QCOMPARE(Record::booleanReading(reloaded.value("publishMeeting")),
             Record::booleanReading(inMemory.value("publishMeeting")));
    QCOMPARE(Record::textOrNull(Record::sharedData()->access_token), m_session.token());
}

TAMBER_TEST_MAIN_CORE(tst_AccountCalls)
#include "tst_AccountCalls.moc"
