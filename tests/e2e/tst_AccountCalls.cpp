// User, room and personal-meeting calls against the simulator over real TLS.
#include "FaultMatrix.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/AccountReplyParser.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/PreferencesStore.h"
#include "SignedInSimulator.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

namespace {

using Record = TamberDataModel;

// What one call reported.
struct Outcome {
    int successes = 0;
    int errors = 0;
    std::optional<ServiceError> error;
    bool done() const { return successes + errors > 0; }
};

std::function<void()> countSuccess(Outcome& o) {
    return [&o] { ++o.successes; };
}

std::function<void(const std::optional<ServiceError>&)> countError(Outcome& o) {
    return [&o](const std::optional<ServiceError>& e) {
        ++o.errors;
        o.error = e;
    };
}

enum class Call { Aggregated, RoomSettings, Description, RoomUpdate };

void start(Call call, Outcome& o) {
    switch (call) {
    case Call::Aggregated:
        Record::fetchAggregatedUserDetails(countSuccess(o), countError(o));
        break;
    case Call::RoomSettings:
        Record::fetchRoomSettingDetails(countSuccess(o), countError(o));
        break;
    case Call::Description:
        Record::fetchPersonalMeetingDescription(countSuccess(o), countError(o));
        break;
    case Call::RoomUpdate:
        Record::updateRoomSettings(countSuccess(o), countError(o));
        break;
    }
}

// Every field these calls write, by name.
const QList<QPair<const char*, QVariant Record::*>> kCopiedFields{
    {"firstName", &Record::firstName},
    {"lastName", &Record::lastName},
    {"email", &Record::email},
    {"profilePicture", &Record::profilePicture},
    {"timezone", &Record::timezone},
    {"language", &Record::language},
    {"numericId", &Record::numericId},
    {"personalMeetingId", &Record::personalMeetingId},
    {"moderatorPasscode", &Record::moderatorPasscode},
    {"roomId", &Record::roomId},
    {"publishMeeting", &Record::publishMeeting},
    {"encryptionType", &Record::encryptionType},
    {"videoBestFit", &Record::videoBestFit},
    {"showAllParticipantsInIcs", &Record::showAllParticipantsInIcs},
    {"isModeratorLess", &Record::isModeratorLess},
    {"disallowChat", &Record::disallowChat},
    {"muteParticipantsOnEntry", &Record::muteParticipantsOnEntry},
    {"isLargeMeeting", &Record::isLargeMeeting},
    {"addAttendeePasscode", &Record::addAttendeePasscode},
    {"participantPasscode", &Record::participantPasscode},
    {"personalMeetingDescription", &Record::personalMeetingDescription},
};

// Values no reply of the simulator carries, so any copy shows.
void fillWithStaleValues() {
    Record& r = *Record::sharedData();
    for (const auto& [name, member] : kCopiedFields)
        r.*member = QStringLiteral("stale-%1").arg(QLatin1String(name));
    // Room switches as the preferences view leaves them.
    r.publishMeeting = QStringLiteral("1");
    r.videoBestFit = QStringLiteral("0");
    r.showAllParticipantsInIcs = QStringLiteral("1");
    r.isModeratorLess = QStringLiteral("0");
    r.disallowChat = QStringLiteral("1");
    r.muteParticipantsOnEntry = QStringLiteral("0");
    r.isLargeMeeting = QStringLiteral("1");
    r.encryptionType = QStringLiteral("ENCRYPTED_ONLY");
}

QVariantMap snapshot() {
    QVariantMap values;
    const Record& r = *Record::sharedData();
    for (const auto& [name, member] : kCopiedFields)
        values.insert(QLatin1String(name), r.*member);
    return values;
}

// Saves, forgets and loads the record: what a restart would see.
void saveAndReload() {
    const QString token = Record::textOrNull(Record::sharedData()->access_token);
    Record::saveDataToBundle();
    Record::resetForTesting();
    Record::loadDataFromBundle();
    QCOMPARE(Record::textOrNull(Record::sharedData()->access_token), token);
}

} // namespace

class tst_AccountCalls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void aggregatedDetailsCopyProfileRoomAndInvitation();
    void roomSettingsAndSingleReplyReadings();
    void roomUpdateSendsExactBodyAndSavesBeforeReply();
    void roomUpdateRefusedByStatusIsAFailure();
    void faultMatrix_data();
    void faultMatrix();
    void wrongJsonTypesNeverCrashOrBlank();
    void expiredTokenLeavesProfileIntact();

private:
    SignedInSimulator m_session;
    std::unique_ptr<LogSpy> m_log;
};

void tst_AccountCalls::initTestCase() {
    QVERIFY(m_session.start());
}

void tst_AccountCalls::init() {
    m_session.signIn();
    m_log = std::make_unique<LogSpy>();
}

void tst_AccountCalls::cleanup() {
    m_log.reset();
    ServiceCall::setTransferTimeoutMs(60000);
}

void tst_AccountCalls::aggregatedDetailsCopyProfileRoomAndInvitation() {
    VeloraSimulator& sim = m_session.sim();
    const QString uid = m_session.userId();
    Outcome o;
    start(Call::Aggregated, o);
    QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
    QCOMPARE(o.successes, 1);
    QCOMPARE(o.errors, 0);

    // Four GETs in order, each with the user token as the only query value.
    const QList<RecordedRequest> requests = sim.requests();
    QStringList endpoints;
    for (const RecordedRequest& r : requests)
        endpoints << r.endpoint;
    QCOMPARE(endpoints, (QStringList{"user", "room", "personalMeeting", "invitation"}));
    const QJsonObject room = sim.room(uid);
    const QStringList paths{
        "/ridgeapi/v1/user/" + uid, "/ridgeapi/v1/user/" + uid + "/room/",
        "/ridgeapi/v1/user/" + uid + "/personal_meeting/",
        QStringLiteral("/v1/user/%1/scheduled_meeting/%2/emails")
            .arg(uid, Record::urlText(room.value("personalMeetingId").toVariant()))};
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].method, QByteArray("GET"));
        QCOMPARE(requests[i].path, paths[i]);
        QCOMPARE(requests[i].query, (QMap<QString, QString>{{"access_token", m_session.token()}}));
        QVERIFY(requests[i].body.isEmpty());
        QVERIFY(!requests[i].hasHeader("content-type"));
    }

    // Exactly the listed fields, as the service gave them.
    const Record& r = *Record::sharedData();
    const QJsonObject user = sim.account(VeloraSimulator::PasswordUser).value("user").toObject();
    QCOMPARE(r.firstName, user.value("firstName").toVariant());
    QCOMPARE(r.lastName, user.value("lastName").toVariant());
    QCOMPARE(r.email, user.value("emailId").toVariant());
    QCOMPARE(r.profilePicture, user.value("profilePicture").toVariant());
    QCOMPARE(r.timezone, user.value("timezone").toVariant());
    QCOMPARE(r.language, user.value("language").toVariant());
    QCOMPARE(r.numericId, room.value("numericId").toVariant());
    QCOMPARE(r.personalMeetingId, room.value("personalMeetingId").toVariant());
    QCOMPARE(r.moderatorPasscode, room.value("moderatorPasscode").toVariant());
    QCOMPARE(r.roomId, room.value("id").toVariant());
    QCOMPARE(r.videoBestFit, room.value("videoBestFit").toVariant());
    QCOMPARE(r.muteParticipantsOnEntry, room.value("muteParticipantsOnEntry").toVariant());
    QCOMPARE(r.encryptionType, room.value("encryptionType").toVariant());
    const QJsonObject pm = sim.personalMeeting(uid);
    QCOMPARE(r.addAttendeePasscode, pm.value("addAttendeePasscode").toVariant());
    QCOMPARE(r.participantPasscode, pm.value("attendeePasscode").toVariant());
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
    QVERIFY(!loaded.language.isValid()); // never stored
    QVERIFY(!loaded.addAttendeePasscode.isValid());
}

void tst_AccountCalls::roomSettingsAndSingleReplyReadings() {
    VeloraSimulator& sim = m_session.sim();
    // Room settings: room and personal meeting only, then saved.
    Outcome o;
    start(Call::RoomSettings, o);
    QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
    QCOMPARE(o.successes, 1);
    QCOMPARE(sim.requestCount(), 2);
    QCOMPARE(sim.requests()[0].endpoint, QString("room"));
    QCOMPARE(sim.requests()[1].endpoint, QString("personalMeeting"));
    {
        PreferencesStore stored(PreferencesStore::defaultPath());
        QCOMPARE(stored.value("numericId"),
                 sim.room(m_session.userId()).value("numericId").toVariant());
    }

    // Passcode copied even when join links leave it out.
    sim.injectFault(
        "personalMeeting",
        Fault::httpErrorRaw(200, R"({"addAttendeePasscode":false,"attendeePasscode":"9911"})")
            .times(1));
    Outcome pm;
    start(Call::RoomSettings, pm);
    QTRY_VERIFY_WITH_TIMEOUT(pm.done(), 15000);
    QCOMPARE(pm.successes, 1);
    QCOMPARE(Record::sharedData()->addAttendeePasscode, QVariant(false));
    QCOMPARE(Record::sharedData()->participantPasscode, QVariant("9911"));

    // A user reply with only "email" leaves the address absent.
    sim.injectFault("user",
                    Fault::httpErrorRaw(200, R"({"firstName":"Ann","email":"a@b.c"})").times(1));
    Outcome user;
    start(Call::Aggregated, user);
    QTRY_VERIFY_WITH_TIMEOUT(user.done(), 15000);
    QCOMPARE(user.successes, 1);
    QCOMPARE(Record::sharedData()->firstName, QVariant("Ann"));
    QVERIFY(!Record::sharedData()->email.isValid());

    // An invitation reply without "participant" is a success with no text.
    sim.injectFault("invitation",
                    Fault::httpErrorRaw(200, R"({"other":{"create":{"ICS":"x"}}})").times(1));
    Outcome d;
    start(Call::Description, d);
    QTRY_VERIFY_WITH_TIMEOUT(d.done(), 15000);
    QCOMPARE(d.successes, 1);
    QVERIFY(!Record::sharedData()->personalMeetingDescription.isValid());
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
    {
        PreferencesStore stored(PreferencesStore::defaultPath());
        QCOMPARE(stored.value("publishMeeting"), QVariant("true"));
        QCOMPARE(stored.value("showAllParticipantsInIcs"), QVariant("true"));
        QCOMPARE(stored.value("videoBestFit"), QVariant("false"));
        QCOMPARE(stored.value("encryptionType"), QVariant("NO_ENCRYPTION"));
    }
    QVERIFY(!o.done());
    QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
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
    QVERIFY(m_log->contains(Log::Debug, QStringLiteral("Successful 200")));
}

void tst_AccountCalls::roomUpdateRefusedByStatusIsAFailure() {
    VeloraSimulator& sim = m_session.sim();
    Record& r = *Record::sharedData();
    r.publishMeeting = QStringLiteral("1");
    r.encryptionType = QStringLiteral("ENCRYPTED_ONLY");
    sim.injectFault("roomUpdate", Fault::httpError(400, {{"message", "Invalid room settings"}}));
    Outcome o;
    start(Call::RoomUpdate, o);
    QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
    QCOMPARE(o.successes, 0);
    QCOMPARE(o.errors, 1);
    QVERIFY(o.error);
    QCOMPARE(o.error->httpStatus, 400);
    QVERIFY(o.error->description.contains("Invalid room settings"));
    QVERIFY(m_log->contains(Log::Debug, QStringLiteral("Successful 400")));
    QVERIFY(
        m_log->contains(Log::Error, QStringLiteral("Error while updating room settings"), true));
    // The user's choice stays stored although the service refused it.
    PreferencesStore stored(PreferencesStore::defaultPath());
    QCOMPARE(stored.value("publishMeeting"), QVariant("true"));
    QCOMPARE(r.encryptionType, QVariant("ENCRYPTED_ONLY"));
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
    QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
    // Exactly one callback, never success for a read; the room update does not read its
    // reply, so a 200 with a bad body is still a success there.
    const bool bodyIgnored = Call(call) == Call::RoomUpdate &&
                             (faultKind == Fault::Kind::Garbage || faultKind == Fault::Kind::Empty);
    QCOMPARE(o.successes + o.errors, 1);
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
    sim.clearFaults();
}

void tst_AccountCalls::wrongJsonTypesNeverCrashOrBlank() {
    VeloraSimulator& sim = m_session.sim();
    fillWithStaleValues();
    const QVariantMap before = snapshot();

    // Numbers and booleans are kept as given; objects, lists and null become absent.
    sim.injectFault("user", Fault::httpErrorRaw(200, R"({"firstName":42,"lastName":{"a":1},)"
                                                     R"("emailId":["x@y.z"],"profilePicture":null,)"
                                                     R"("timezone":true,"language":"de"})")
                                .times(1));
    Outcome typed;
    start(Call::Aggregated, typed);
    QTRY_VERIFY_WITH_TIMEOUT(typed.done(), 15000);
    QCOMPARE(typed.successes, 1);
    const Record& r = *Record::sharedData();
    QCOMPARE(r.firstName.toInt(), 42);
    QVERIFY(!r.lastName.isValid());
    QVERIFY(!r.email.isValid());
    QVERIFY(!r.profilePicture.isValid());
    QCOMPARE(r.timezone, QVariant(true));
    saveAndReload();
    QCOMPARE(Record::sharedData()->firstName.toInt(), 42);

    // A list where an object belongs, a deeply nested document and a 10 MB reply.
    fillWithStaleValues();
    Record::sharedData()->access_token = m_session.token();
    const QByteArray nested = QByteArray(100000, '[') + QByteArray(100000, ']');
    const QByteArray list = R"([{"numericId":"1"},2,"three"])";
    for (const QByteArray& body : {list, nested}) {
        sim.injectFault("room", Fault::httpErrorRaw(200, body).times(1));
        Outcome o;
        start(Call::RoomSettings, o);
        QTRY_VERIFY_WITH_TIMEOUT(o.done(), 15000);
        QCOMPARE(o.errors, 1);
        QVERIFY(!o.error);
        QCOMPARE(Record::sharedData()->numericId, before.value("numericId"));
        QCOMPARE(Record::sharedData()->publishMeeting, before.value("publishMeeting"));
    }

    // 7 MiB arrive whole; 10 MiB are refused before they reach the record.
    const auto invitationOf = [](int size) {
        return R"({"participant":{"create":{"ICS":")" + QByteArray(size, 'x') + R"("}}})";
    };
    sim.injectFault("invitation", Fault::httpErrorRaw(200, invitationOf(7 << 20)).times(1));
    Outcome large;
    start(Call::Description, large);
    QTRY_VERIFY_WITH_TIMEOUT(large.done(), 30000);
    QCOMPARE(large.successes, 1);
    QCOMPARE(Record::sharedData()->personalMeetingDescription.toString().size(), 7 << 20);
    sim.injectFault("invitation", Fault::httpErrorRaw(200, invitationOf(10 << 20)).times(1));
    Outcome huge;
    start(Call::Description, huge);
    QTRY_VERIFY_WITH_TIMEOUT(huge.done(), 30000);
    QCOMPARE(huge.errors, 1);
    QVERIFY(huge.error && huge.error->code == -1103);
    QCOMPARE(Record::sharedData()->personalMeetingDescription.toString().size(), 7 << 20);
}

void tst_AccountCalls::expiredTokenLeavesProfileIntact() {
    VeloraSimulator& sim = m_session.sim();
    Outcome first;
    start(Call::Aggregated, first);
    QTRY_VERIFY_WITH_TIMEOUT(first.done(), 15000);
    QCOMPARE(first.successes, 1);
    const QVariantMap fetched = snapshot();

    // The service's own 401 for an expired token: nothing is copied, the chain stops at once.
    sim.expireAllUserTokens();
    sim.clearRequests();
    Outcome second;
    start(Call::Aggregated, second);
    QTRY_VERIFY_WITH_TIMEOUT(second.done(), 15000);
    QCOMPARE(second.errors, 1);
    QVERIFY(second.error);
    QCOMPARE(second.error->httpStatus, 401);
    QCOMPARE(sim.requestCount(), 1);
    QCOMPARE(snapshot(), fetched);
    Record::resetForTesting();
    Record::loadDataFromBundle();
    QCOMPARE(Record::sharedData()->firstName, fetched.value("firstName"));
    QCOMPARE(Record::sharedData()->numericId, fetched.value("numericId"));
}

TAMBER_TEST_MAIN_CORE(tst_AccountCalls)
#include "tst_AccountCalls.moc"
