#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/TamberDataModel.h"
#include "Platform/Keychain.h"
#include "Platform/PreferencesStore.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>
#include <QSet>

namespace {

using Field = QVariant TamberDataModel::*;

TamberDataModel& model() {
    return *TamberDataModel::sharedData();
}

// What a reader of the record can tell apart; a failure then names the wrong kind.
QString kind(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return QStringLiteral("absent");
    case QMetaType::Bool:
        return QStringLiteral("bool");
    case QMetaType::QString:
        return QStringLiteral("text");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return QStringLiteral("number");
    default:
        return QStringLiteral("other:%1").arg(QString::fromLatin1(v.typeName()));
    }
}

QVariantMap storedValues() {
    PreferencesStore store(PreferencesStore::defaultPath());
    return store.values();
}

void writeStore(const QVariantMap& values) {
    PreferencesStore store(PreferencesStore::defaultPath());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    QVERIFY(store.flush());
}

void writeStoreBytes(const QByteArray& bytes) {
    const QString path = PreferencesStore::defaultPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A restart: a fresh record, then the launch's load.
void restart() {
    TamberDataModel::resetForTesting();
    TamberDataModel::loadDataFromBundle();
}

QVariantMap draft(const QString& guid, const QString& topic, qint64 start) {
    return QVariantMap{
        {QStringLiteral("meetingDraftGuid"), guid},
        {QStringLiteral("title"), topic},
        {QStringLiteral("start"), start},
        {QStringLiteral("end"), start + 3600000},
        {QStringLiteral("calendar_entry_type"), QStringLiteral("velora")},
        {QStringLiteral("attendees"), QVariantList{QStringLiteral("a@example.com")}},
    };
}

// Every field the record stores and loads back as a plain value.
#define FIELD(name)                                                                                \
    { QStringLiteral(#name), &TamberDataModel::name }
const QList<QPair<QString, Field>> kStoredFields{
    FIELD(CID),
    FIELD(username),
    FIELD(app_access_token),
    FIELD(app_expires_in),
    FIELD(access_token),
    FIELD(expires_in),
    FIELD(partitionId),
    FIELD(partitionName),
    FIELD(firstName),
    FIELD(profilePicture),
    FIELD(timezone),
    FIELD(lastName),
    FIELD(email),
    FIELD(userId),
    FIELD(apiHost),
    FIELD(clientId),
    FIELD(clientSecret),
    FIELD(authenticationType),
    FIELD(enterpriseId),
    FIELD(idpURL),
    FIELD(numericId),
    FIELD(roomId),
    FIELD(personalMeetingId),
    FIELD(moderatorPasscode),
    FIELD(participantPasscode),
    FIELD(publishMeeting),
    FIELD(encryptionType),
    FIELD(videoBestFit),
    FIELD(showAllParticipantsInIcs),
    FIELD(isModeratorLess),
    FIELD(disallowChat),
    FIELD(muteParticipantsOnEntry),
    FIELD(isLargeMeeting),
    FIELD(dataModelVersion),
    FIELD(personalMeetingDescription),
    FIELD(calendar),
};
#undef FIELD

const QList<Field> kRoomSwitches{&TamberDataModel::publishMeeting,
                                 &TamberDataModel::videoBestFit,
                                 &TamberDataModel::showAllParticipantsInIcs,
                                 &TamberDataModel::isModeratorLess,
                                 &TamberDataModel::disallowChat,
                                 &TamberDataModel::muteParticipantsOnEntry,
                                 &TamberDataModel::isLargeMeeting};

} // namespace

class tst_TamberDataModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void defaultsAndMissingKeys();
    void roundTripKeepsTypes();
    void removalRules();
    void roomSwitchesAreStoredAsTrueOrFalse();
    void booleanReading_data();
    void booleanReading();
    void valueHelpers();
    void passwordLivesInTheKeychainOnly();
    void keychainWrittenOnlyForANewAcceptedPassword();
    void oversizedRecordStillSavesTheTokens();
    void storedClientIdIsUsedButNeverKept();
    void signOutAndRestart();
    void draftsRoundTripAndBadDrafts();
    void corruptStore_data();
    void corruptStore();
    void wrongTypesInEveryKey();
    void uuidStrings();

private:
    bool m_keychain = false;
};

void tst_TamberDataModel::initTestCase() {
    // The test environment provides an unlocked gnome-keyring in a private session. Each test
    // process uses its own item so tests running side by side never see each other's password.
    m_keychain = qEnvironmentVariableIsSet("TAMBER_TEST_ENV_INNER");
    TamberDataModel::setKeychainAccountForTesting(
        QStringLiteral("tst_TamberDataModel-%1").arg(QCoreApplication::applicationPid()));
}

void tst_TamberDataModel::init() {
    QFile::remove(PreferencesStore::defaultPath());
    if (m_keychain)
        Keychain::deletePassword(TamberDataModel::keychainService(),
                                 TamberDataModel::keychainAccount());
    TamberDataModel::resetForTesting();
}

void tst_TamberDataModel::cleanupTestCase() {
    if (m_keychain)
        Keychain::deletePassword(TamberDataModel::keychainService(),
                                 TamberDataModel::keychainAccount());
    TamberDataModel::setKeychainAccountForTesting(QString());
}

void tst_TamberDataModel::defaultsAndMissingKeys() {
    QCOMPARE(model().apiHost, QVariant(QStringLiteral("api.velora.example")));
    QCOMPARE(model().clientId, QVariant(QStringLiteral("plumCode")));
    QCOMPARE(model().clientSecret, QVariant(QStringLiteral("plumPrivate")));
    QCOMPARE(model().dataModelVersion, QVariant(QStringLiteral("1.0")));
    QVERIFY(model().meetingDrafts.isEmpty());
    QCOMPARE(kind(model().access_token), QStringLiteral("absent"));
    QCOMPARE(kind(model().CID), QStringLiteral("absent"));

    // First start: nothing stored. Defaults survive, and a value already in memory stays.
    model().firstName = QStringLiteral("Ada");
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().apiHost, QVariant(QStringLiteral("api.velora.example")));
    QCOMPARE(model().clientId, QVariant(QStringLiteral("plumCode")));
    QCOMPARE(model().clientSecret, QVariant(QStringLiteral("plumPrivate")));
    QCOMPARE(model().dataModelVersion, QVariant(QStringLiteral("1.0")));
    QCOMPARE(model().firstName, QVariant(QStringLiteral("Ada")));
    QCOMPARE(kind(model().password), QStringLiteral("absent"));

    // Only present keys overwrite.
    writeStore({{QStringLiteral("email"), QStringLiteral("ada@example.com")}});
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().email, QVariant(QStringLiteral("ada@example.com")));
    QCOMPARE(model().firstName, QVariant(QStringLiteral("Ada")));

    QCOMPARE(TamberDataModel::applicationPlistPath(), PreferencesStore::defaultPath());
    QVERIFY(TamberDataModel::applicationPlistPath().startsWith(QDir::homePath()));
}

void tst_TamberDataModel::roundTripKeepsTypes() {
    TamberDataModel& m = model();
    m.CID = QStringLiteral("C0FFEE");
    m.username = QStringLiteral("ada@example.com");
    m.app_access_token = QStringLiteral("app-token");
    m.app_expires_in = 3599.5;
    m.access_token = QStringLiteral("user-token");
    m.expires_in = 3600;
    m.partitionId = qint64(9007199254740000LL);
    m.partitionName = QStringLiteral("eu");
    m.firstName = QStringLiteral("Ada Åsa");
    m.lastName = QStringLiteral("Lovelace-\"Byron\"");
    m.email = QStringLiteral("ada@example.com");
    m.userId = 4242;
    m.apiHost = QStringLiteral("localhost:8443");
    m.authenticationType = QStringLiteral("FB");
    m.enterpriseId = 17;
    m.idpURL = QStringLiteral("https://idp.example/sso?x=1&y=2");
    m.profilePicture = QStringLiteral("https://static.example/p.png");
    m.timezone = QStringLiteral("Europe/Oslo");
    m.calendar = QString(); // "no valid choice" is a value of its own
    m.personalMeetingDescription = QStringLiteral("Join:\nhttps://velora.example/111\n\t✓");
    m.numericId = qint64(1112223334);
    m.personalMeetingId = QStringLiteral("pm-1");
    m.moderatorPasscode = 9876;
    m.participantPasscode = QStringLiteral("0042"); // leading zeros must survive as text
    m.roomId = true;                                // odd, but a reply may say so
    m.encryptionType = QStringLiteral("ENCRYPTED_ONLY");
    m.dataModelVersion = QStringLiteral("1.0");
    m.SID = QStringLiteral("session");
    m.language = QStringLiteral("nb");
    m.addAttendeePasscode = true;
    const TamberDataModel before = m;

    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    for (const QString& key :
         {QStringLiteral("SID"), QStringLiteral("language"), QStringLiteral("addAttendeePasscode"),
          QStringLiteral("password"), QStringLiteral("clientId"), QStringLiteral("clientSecret")})
        QVERIFY2(!stored.contains(key), qPrintable(key));

    restart();
    for (const auto& [name, field] : kStoredFields) {
        const QVariant expected = before.*field;
        const QVariant actual = model().*field;
        QVERIFY2(
            kind(actual) == kind(expected),
            qPrintable(
                QStringLiteral("%1: %2 instead of %3").arg(name, kind(actual), kind(expected))));
        QVERIFY2(actual.toString() == expected.toString(),
                 qPrintable(QStringLiteral("%1: %2 instead of %3")
                                .arg(name, actual.toString(), expected.toString())));
    }
    // Never stored: absent after a restart.
    QCOMPARE(kind(model().SID), QStringLiteral("absent"));
    QCOMPARE(kind(model().language), QStringLiteral("absent"));
    QCOMPARE(kind(model().addAttendeePasscode), QStringLiteral("absent"));
}

void tst_TamberDataModel::removalRules() {
    TamberDataModel& m = model();
    m.CID = QStringLiteral("C1");
    m.username = QStringLiteral("ada");
    m.access_token = QStringLiteral("t");
    m.userId = QStringLiteral("u1");
    m.app_access_token = QStringLiteral("app");
    m.app_expires_in = 100;
    m.firstName = QStringLiteral("Ada");
    m.email = QStringLiteral("ada@example.com");
    m.authenticationType = QStringLiteral("SAML");
    m.roomId = QStringLiteral("r1");
    m.publishMeeting = true;
    m.encryptionType = QStringLiteral("NO_ENCRYPTION");
    m.calendar = QStringLiteral("velora_calendar");
    m.personalMeetingDescription = QStringLiteral("desc");
    TamberDataModel::saveDataToBundle();
    // An older record kept the password in the store: it must go at the next save.
    writeStore({{QStringLiteral("password"), QStringLiteral("old-secret")}});

    TamberDataModel::resetForTesting();
    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    // The sign-in fields follow the record ...
    QVERIFY(!stored.contains(QStringLiteral("username")));
    QVERIFY(!stored.contains(QStringLiteral("access_token")));
    QVERIFY(!stored.contains(QStringLiteral("userId")));
    QVERIFY(!stored.contains(QStringLiteral("password")));
    // ... everything else absent in memory stays stored.
    QCOMPARE(stored.value(QStringLiteral("CID")), QVariant(QStringLiteral("C1")));
    QCOMPARE(stored.value(QStringLiteral("app_access_token")), QVariant(QStringLiteral("app")));
    QCOMPARE(stored.value(QStringLiteral("app_expires_in")).toInt(), 100);
    QCOMPARE(stored.value(QStringLiteral("firstName")), QVariant(QStringLiteral("Ada")));
    QCOMPARE(stored.value(QStringLiteral("email")), QVariant(QStringLiteral("ada@example.com")));
    QCOMPARE(stored.value(QStringLiteral("authenticationType")), QVariant(QStringLiteral("SAML")));
    QCOMPARE(stored.value(QStringLiteral("roomId")), QVariant(QStringLiteral("r1")));
    QCOMPARE(stored.value(QStringLiteral("publishMeeting")), QVariant(QStringLiteral("true")));
    QCOMPARE(stored.value(QStringLiteral("encryptionType")),
             QVariant(QStringLiteral("NO_ENCRYPTION")));
    QCOMPARE(stored.value(QStringLiteral("calendar")), QVariant(QStringLiteral("velora_calendar")));
    QCOMPARE(stored.value(QStringLiteral("personalMeetingDescription")),
             QVariant(QStringLiteral("desc")));
    // Defaults are written too, except the client credentials.
    QCOMPARE(stored.value(QStringLiteral("apiHost")),
             QVariant(QStringLiteral("api.velora.example")));
    QCOMPARE(stored.value(QStringLiteral("dataModelVersion")), QVariant(QStringLiteral("1.0")));
    QVERIFY(!stored.contains(QStringLiteral("clientId")));
    QVERIFY(!stored.contains(QStringLiteral("clientSecret")));
}

void tst_TamberDataModel::roomSwitchesAreStoredAsTrueOrFalse() {
    struct Case {
        QVariant value;
        const char* stored;
    };
    const QList<Case> cases{
        {0, "false"},
        {QStringLiteral("0"), "false"},
        {QStringLiteral("false"), "false"},
        {false, "false"},
        {0.0, "false"},
        {QStringLiteral("NO"), "false"},
        {QString(), "false"},
        {1, "true"},
        {QStringLiteral("1"), "true"},
        {QStringLiteral("true"), "true"},
        {true, "true"},
        {-3, "true"},
        {QStringLiteral("YES"), "true"},
    };
    const QStringList keys{"publishMeeting",  "videoBestFit", "showAllParticipantsInIcs",
                           "isModeratorLess", "disallowChat", "muteParticipantsOnEntry",
                           "isLargeMeeting"};
    for (const Case& c : cases) {
        for (Field f : kRoomSwitches)
            model().*f = c.value;
        TamberDataModel::saveDataToBundle();
        const QVariantMap stored = storedValues();
        for (const QString& key : keys) {
            const QVariant v = stored.value(key);
            QVERIFY2(kind(v) == QStringLiteral("text") && v.toString() == QLatin1String(c.stored),
                     qPrintable(QStringLiteral("%1 = %2 (%3) stored as %4")
                                    .arg(key, c.value.toString(), kind(c.value), v.toString())));
        }
        // Read back, the text gives the same answer as the value it came from.
        restart();
        for (Field f : kRoomSwitches)
            QCOMPARE(TamberDataModel::booleanReading(model().*f),
                     QLatin1String(c.stored) == QLatin1String("true"));
    }

    // An absent switch leaves the stored text alone.
    TamberDataModel::resetForTesting();
    model().publishMeeting = QStringLiteral("0");
    model().encryptionType = 3; // stored as it is, not made a boolean text
    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    QCOMPARE(stored.value(QStringLiteral("publishMeeting")), QVariant(QStringLiteral("false")));
    QCOMPARE(stored.value(QStringLiteral("videoBestFit")), QVariant(QStringLiteral("true")));
    QCOMPARE(kind(stored.value(QStringLiteral("encryptionType"))), QStringLiteral("number"));
}

void tst_TamberDataModel::booleanReading_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("bool true") << QVariant(true) << true;
    QTest::newRow("bool false") << QVariant(false) << false;
    QTest::newRow("int 0") << QVariant(0) << false;
    QTest::newRow("int -2") << QVariant(-2) << true;
    QTest::newRow("double 0.1") << QVariant(0.1) << true;
    QTest::newRow("double 0") << QVariant(0.0) << false;
    QTest::newRow("longlong big") << QVariant(qint64(1) << 40) << true;
    QTest::newRow("empty text") << QVariant(QString()) << false;
    QTest::newRow("blanks") << QVariant(QStringLiteral(" \t\n")) << false;
    QTest::newRow("Y") << QVariant(QStringLiteral("Y")) << true;
    QTest::newRow("yes") << QVariant(QStringLiteral("yes")) << true;
    QTest::newRow("True") << QVariant(QStringLiteral("True")) << true;
    QTest::newRow("t") << QVariant(QStringLiteral("t")) << true;
    QTest::newRow("Tuesday") << QVariant(QStringLiteral("Tuesday")) << true;
    QTest::newRow("N") << QVariant(QStringLiteral("N")) << false;
    QTest::newRow("false") << QVariant(QStringLiteral("false")) << false;
    QTest::newRow("on") << QVariant(QStringLiteral("on")) << false;
    QTest::newRow("0") << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("000") << QVariant(QStringLiteral("000")) << false;
    QTest::newRow("9") << QVariant(QStringLiteral("9")) << true;
    QTest::newRow("spaces sign zeros 7") << QVariant(QStringLiteral("  -0007")) << true;
    QTest::newRow("plus zero") << QVariant(QStringLiteral("+0")) << false;
    QTest::newRow("zeros then y") << QVariant(QStringLiteral("00y")) << true;
    QTest::newRow("0.5") << QVariant(QStringLiteral("0.5")) << false;
    QTest::newRow("1.5") << QVariant(QStringLiteral("1.5")) << true;
    QTest::newRow("0x1") << QVariant(QStringLiteral("0x1")) << false;
    QTest::newRow("two signs") << QVariant(QStringLiteral("+-1")) << false;
    QTest::newRow("space after sign") << QVariant(QStringLiteral("- 1")) << false;
    QTest::newRow("list") << QVariant(QVariantList{true}) << false;
    QTest::newRow("map") << QVariant(QVariantMap{{"a", true}}) << false;
    QTest::newRow("null") << QVariant::fromValue(nullptr) << false;
}

void tst_TamberDataModel::booleanReading() {
    QFETCH(QVariant, value);
    QFETCH(bool, expected);
    QCOMPARE(TamberDataModel::booleanReading(value), expected);
}

void tst_TamberDataModel::valueHelpers() {
    // Containers and nulls from replies or files never reach a field.
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QVariant::fromValue(nullptr))),
             QStringLiteral("absent"));
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QVariantList{1})), QStringLiteral("absent"));
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QVariantMap{{"a", 1}})),
             QStringLiteral("absent"));
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QStringList{"a"})), QStringLiteral("absent"));
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QVariant())), QStringLiteral("absent"));
    QCOMPARE(TamberDataModel::scalarOrAbsent(QStringLiteral("x")), QVariant(QStringLiteral("x")));
    QCOMPARE(kind(TamberDataModel::scalarOrAbsent(QString())), QStringLiteral("text"));
    QCOMPARE(TamberDataModel::scalarOrAbsent(qint64(7)), QVariant(qint64(7)));
    QCOMPARE(TamberDataModel::scalarOrAbsent(false), QVariant(false));

    QCOMPARE(TamberDataModel::textOrNull(QVariant()), QStringLiteral("(null)"));
    QCOMPARE(TamberDataModel::textOrNull(QVariantList{1}), QStringLiteral("(null)"));
    QCOMPARE(TamberDataModel::textOrNull(4242), QStringLiteral("4242"));
    QCOMPARE(TamberDataModel::textOrNull(qint64(9007199254740000LL)),
             QStringLiteral("9007199254740000"));
    QCOMPARE(TamberDataModel::textOrNull(QStringLiteral("u-1")), QStringLiteral("u-1"));

    QVERIFY(!TamberDataModel::isPresent(QVariant()));
    QVERIFY(!TamberDataModel::isPresent(QString()));
    QVERIFY(!TamberDataModel::isPresent(QVariant::fromValue(nullptr)));
    QVERIFY(TamberDataModel::isPresent(QStringLiteral("t")));
    QVERIFY(TamberDataModel::isPresent(0));
    QVERIFY(TamberDataModel::isPresent(false));
}

void tst_TamberDataModel::passwordLivesInTheKeychainOnly() {
    if (!m_keychain)
        QSKIP("needs the secret service of scripts/with-test-env");
    const QString service = TamberDataModel::keychainService();
    const QString account = TamberDataModel::keychainAccount();
    QCOMPARE(service, QStringLiteral("com.velora.tamber"));

    // A password account: the keychain item is written, the store never holds the password.
    writeStore({{QStringLiteral("password"), QStringLiteral("stale")}});
    model().authenticationType = QStringLiteral("PASSWORD");
    model().password = QStringLiteral("pä55 wörd");
    TamberDataModel::passwordAccepted(model().password);
    TamberDataModel::saveDataToBundle();
    QVERIFY(!storedValues().contains(QStringLiteral("password")));
    QCOMPARE(Keychain::passwordFor(service, account), std::optional(QStringLiteral("pä55 wörd")));
    restart();
    QCOMPARE(model().password, QVariant(QStringLiteral("pä55 wörd")));

    // SAML: nothing reaches the keychain, and a leftover "password" key is removed.
    QVERIFY(Keychain::deletePassword(service, account).ok);
    writeStore({{QStringLiteral("password"), QStringLiteral("stale")}});
    model().authenticationType = QStringLiteral("SAML");
    model().password = QStringLiteral("not-for-saml");
    TamberDataModel::passwordAccepted(model().password);
    TamberDataModel::saveDataToBundle();
    QVERIFY(!storedValues().contains(QStringLiteral("password")));
    QCOMPARE(Keychain::passwordFor(service, account), std::nullopt);
    // No item: the password in memory is cleared by a load.
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(kind(model().password), QStringLiteral("absent"));

    // The item is read back whatever the account type.
    QVERIFY(Keychain::setPassword(QStringLiteral("from-keychain"), service, account).ok);
    restart();
    QCOMPARE(model().password, QVariant(QStringLiteral("from-keychain")));
}

void tst_TamberDataModel::keychainWrittenOnlyForANewAcceptedPassword() {
    if (!m_keychain)
        QSKIP("needs the secret service of scripts/with-test-env");
    const auto item = [] {
        return Keychain::passwordFor(TamberDataModel::keychainService(),
                                     TamberDataModel::keychainAccount());
    };
    const auto removeBehindTheModel = [] {
        QVERIFY(Keychain::deletePassword(TamberDataModel::keychainService(),
                                         TamberDataModel::keychainAccount())
                    .ok);
    };
    model().authenticationType = QStringLiteral("PASSWORD");
    model().password = QStringLiteral("first");
    TamberDataModel::passwordAccepted(QStringLiteral("first"));
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::optional(QStringLiteral("first")));

    // A password the service refused never replaces the stored one.
    model().password = QStringLiteral("typo");
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::optional(QStringLiteral("first")));

    // An unchanged password is not written again: routine saves leave the item alone.
    model().password = QStringLiteral("first");
    removeBehindTheModel();
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::nullopt);

    // A new accepted password is written once; one read at start counts as stored.
    model().password = QStringLiteral("second");
    TamberDataModel::passwordAccepted(QStringLiteral("second"));
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::optional(QStringLiteral("second")));
    restart();
    QCOMPARE(model().password, QVariant(QStringLiteral("second")));
    removeBehindTheModel();
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::nullopt);

    // After sign-out's delete the same password is written afresh at the next sign-in.
    QVERIFY(Keychain::setPassword(QStringLiteral("second"), TamberDataModel::keychainService(),
                                  TamberDataModel::keychainAccount())
                .ok);
    QVERIFY(TamberDataModel::deleteStoredPassword().ok);
    TamberDataModel::passwordAccepted(QStringLiteral("second"));
    TamberDataModel::saveDataToBundle();
    QCOMPARE(item(), std::optional(QStringLiteral("second")));
}

void tst_TamberDataModel::oversizedRecordStillSavesTheTokens() {
    // Two values that fit one by one but not together; the tokens must still be saved.
    const QString big(9 * 1024 * 1024, QLatin1Char('d'));
    TamberDataModel& m = model();
    m.personalMeetingDescription = big;
    m.firstName = big.left(8 * 1024 * 1024);
    m.access_token = QStringLiteral("fresh-token");
    m.userId = QStringLiteral("u-1");
    m.meetingDrafts.insert(QStringLiteral("D1"), draft(QStringLiteral("D1"), "Plan", 1000));
    LogSpy log;
    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    QCOMPARE(stored.value(QStringLiteral("access_token")), QVariant(QStringLiteral("fresh-token")));
    QCOMPARE(stored.value(QStringLiteral("userId")), QVariant(QStringLiteral("u-1")));
    QVERIFY(stored.value(QStringLiteral("meetingDrafts")).toMap().contains(QStringLiteral("D1")));
    // Only the largest value gave way, and the error line names it.
    QVERIFY(!stored.contains(QStringLiteral("personalMeetingDescription")));
    QCOMPARE(stored.value(QStringLiteral("firstName")).toString().size(), 8 * 1024 * 1024);
    QVERIFY(log.contains(Log::Error, QStringLiteral("Not saving \"personalMeetingDescription\""),
                         true));
}

void tst_TamberDataModel::storedClientIdIsUsedButNeverKept() {
    writeStore({{QStringLiteral("clientId"), QStringLiteral("legacyCode")},
                {QStringLiteral("clientSecret"), QStringLiteral("legacySecret")}});
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().clientId, QVariant(QStringLiteral("legacyCode")));
    QCOMPARE(model().clientSecret, QVariant(QStringLiteral("legacySecret")));

    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    QVERIFY(!stored.contains(QStringLiteral("clientId")));
    QVERIFY(!stored.contains(QStringLiteral("clientSecret")));
    // The loaded value stays for the session; the next start is back on the built-in one.
    QCOMPARE(model().clientId, QVariant(QStringLiteral("legacyCode")));
    restart();
    QCOMPARE(model().clientId, QVariant(QStringLiteral("plumCode")));
    QCOMPARE(model().clientSecret, QVariant(QStringLiteral("plumPrivate")));
}

void tst_TamberDataModel::signOutAndRestart() {
    TamberDataModel& m = model();
    m.username = QStringLiteral("ada@example.com");
    m.password = QStringLiteral("secret");
    m.authenticationType = QStringLiteral("PASSWORD");
    m.access_token = QStringLiteral("user-token");
    m.userId = QStringLiteral("u-1");
    m.firstName = QStringLiteral("Ada");
    m.email = QStringLiteral("ada@example.com");
    m.CID = QStringLiteral("C1");
    m.calendar = QStringLiteral("outlook_calendar");
    m.isLargeMeeting = true;
    m.disallowChat = 0;
    m.meetingDrafts.insert(QStringLiteral("D1"), draft(QStringLiteral("D1"), "Plan", 1000));
    TamberDataModel::passwordAccepted(m.password);
    TamberDataModel::saveDataToBundle();

    // What sign-out does to the record.
    m.access_token = QVariant();
    m.username = QVariant();
    m.password = QVariant();
    m.userId = QVariant();
    m.meetingDrafts.clear();
    if (m_keychain)
        QVERIFY(TamberDataModel::deleteStoredPassword().ok);
    TamberDataModel::saveDataToBundle();

    restart();
    QCOMPARE(kind(model().access_token), QStringLiteral("absent"));
    QCOMPARE(kind(model().username), QStringLiteral("absent"));
    QCOMPARE(kind(model().userId), QStringLiteral("absent"));
    QCOMPARE(kind(model().password), QStringLiteral("absent"));
    QVERIFY(model().meetingDrafts.isEmpty());
    QCOMPARE(model().firstName, QVariant(QStringLiteral("Ada")));
    QCOMPARE(model().email, QVariant(QStringLiteral("ada@example.com")));
    QCOMPARE(model().CID, QVariant(QStringLiteral("C1")));
    QCOMPARE(model().calendar, QVariant(QStringLiteral("outlook_calendar")));
    QCOMPARE(model().authenticationType, QVariant(QStringLiteral("PASSWORD")));
    QCOMPARE(model().isLargeMeeting, QVariant(QStringLiteral("true")));
    QCOMPARE(model().disallowChat, QVariant(QStringLiteral("false")));
}

void tst_TamberDataModel::draftsRoundTripAndBadDrafts() {
    for (int i = 0; i < 3; ++i) {
        const QString guid = TamberDataModel::uuidString();
        model().meetingDrafts.insert(
            guid, draft(guid, QStringLiteral("Draft %1").arg(i), 1700000000000LL + i));
    }
    const QVariantMap before = model().meetingDrafts;
    TamberDataModel::saveDataToBundle();
    restart();
    QCOMPARE(model().meetingDrafts.keys(), before.keys());
    for (const QString& guid : before.keys()) {
        const QVariantMap loaded = model().meetingDrafts.value(guid).toMap();
        const QVariantMap original = before.value(guid).toMap();
        QCOMPARE(loaded.value("meetingDraftGuid"), QVariant(guid));
        QCOMPARE(loaded.value("title"), original.value("title"));
        QCOMPARE(loaded.value("start").toLongLong(), original.value("start").toLongLong());
        QCOMPARE(loaded.value("attendees").toList().size(), 1);
    }

    // A draft that is not a record is dropped; its neighbours stay.
    QVariantMap mixed = before;
    mixed.insert(QStringLiteral("broken"), QStringLiteral("not a draft"));
    mixed.insert(QStringLiteral("listy"), QVariantList{1, 2});
    writeStore({{QStringLiteral("meetingDrafts"), mixed}});
    restart();
    QCOMPARE(model().meetingDrafts.keys(), before.keys());

    // A drafts value that is not a map leaves the drafts in memory alone.
    model().meetingDrafts = before;
    writeStore({{QStringLiteral("meetingDrafts"), QVariantList{before.first()}}});
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().meetingDrafts.keys(), before.keys());

    // An empty drafts map is stored, not skipped: it replaces the old drafts.
    model().meetingDrafts.clear();
    TamberDataModel::saveDataToBundle();
    model().meetingDrafts = before;
    TamberDataModel::loadDataFromBundle();
    QVERIFY(model().meetingDrafts.isEmpty());
}

void tst_TamberDataModel::corruptStore_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expectedEmail"); // empty: nothing usable
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("not JSON") << QByteArray("{\"email\": \"a@b\", oops") << QString();
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\x01", 5) << QString();
    QTest::newRow("top-level list") << QByteArray("[1, 2, {\"email\": \"x\"}]") << QString();
    QTest::newRow("top-level text") << QByteArray("\"email\"") << QString();
    QTest::newRow("nulls and containers")
        << QByteArray("{\"email\": \"ada@example.com\", \"apiHost\": null, \"access_token\": "
                      "[\"t\"], \"username\": {\"a\": 1}, \"CID\": null, \"clientId\": [], "
                      "\"dataModelVersion\": {}, \"meetingDrafts\": \"oops\"}")
        << QStringLiteral("ada@example.com");
    QTest::newRow("drafts is a number")
        << QByteArray("{\"email\": \"ada@example.com\", \"meetingDrafts\": 5}")
        << QStringLiteral("ada@example.com");
}

void tst_TamberDataModel::corruptStore() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expectedEmail);
    const QVariantMap keptDraft{{QStringLiteral("k"), draft(QStringLiteral("k"), "Kept", 5)}};
    model().meetingDrafts = keptDraft;
    writeStoreBytes(bytes);

    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().email.toString(), expectedEmail);
    QCOMPARE(model().apiHost, QVariant(QStringLiteral("api.velora.example")));
    QCOMPARE(model().clientId, QVariant(QStringLiteral("plumCode")));
    QCOMPARE(model().dataModelVersion, QVariant(QStringLiteral("1.0")));
    QCOMPARE(kind(model().access_token), QStringLiteral("absent"));
    QCOMPARE(kind(model().username), QStringLiteral("absent"));
    QCOMPARE(kind(model().CID), QStringLiteral("absent"));
    QCOMPARE(model().meetingDrafts.keys(), keptDraft.keys());

    // The next save writes a sound record that loads back the same.
    model().firstName = QStringLiteral("Ada");
    TamberDataModel::saveDataToBundle();
    restart();
    QCOMPARE(model().firstName, QVariant(QStringLiteral("Ada")));
    QCOMPARE(model().email.toString(), expectedEmail);
    QCOMPARE(model().meetingDrafts.keys(), keptDraft.keys());
    QCOMPARE(model().apiHost, QVariant(QStringLiteral("api.velora.example")));
}

void tst_TamberDataModel::wrongTypesInEveryKey() {
    // Containers and nulls under every key: treated as missing, the defaults stay.
    const QList<QVariant> unusable{QVariantList{QStringLiteral("x")},
                                   QVariantMap{{QStringLiteral("x"), 1}},
                                   QVariant::fromValue(nullptr)};
    for (const QVariant& bad : unusable) {
        init();
        QVariantMap values;
        for (const auto& [key, field] : kStoredFields)
            values.insert(key, bad);
        writeStore(values);
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().apiHost, QVariant(QStringLiteral("api.velora.example")));
        QCOMPARE(model().clientSecret, QVariant(QStringLiteral("plumPrivate")));
        QCOMPARE(kind(model().firstName), QStringLiteral("absent"));
        QCOMPARE(kind(model().publishMeeting), QStringLiteral("absent"));
        QCOMPARE(kind(model().calendar), QStringLiteral("absent"));
        TamberDataModel::saveDataToBundle();
        QCOMPARE(storedValues().value(QStringLiteral("apiHost")),
                 QVariant(QStringLiteral("api.velora.example")));
    }

    // Scalars of an unexpected type are carried as they are, and a save still works.
    init();
    QVariantMap values;
    for (const auto& [key, field] : kStoredFields)
        values.insert(key, 12);
    values.insert(QStringLiteral("publishMeeting"), QStringLiteral("yes"));
    values.insert(QStringLiteral("username"), false);
    writeStore(values);
    TamberDataModel::loadDataFromBundle();
    QCOMPARE(model().apiHost.toInt(), 12);
    QCOMPARE(kind(model().apiHost), QStringLiteral("number"));
    QCOMPARE(model().username, QVariant(false));
    QCOMPARE(model().publishMeeting, QVariant(QStringLiteral("yes")));
    TamberDataModel::saveDataToBundle();
    const QVariantMap stored = storedValues();
    QCOMPARE(stored.value(QStringLiteral("publishMeeting")), QVariant(QStringLiteral("true")));
    QCOMPARE(stored.value(QStringLiteral("videoBestFit")), QVariant(QStringLiteral("true")));
    QCOMPARE(stored.value(QStringLiteral("username")), QVariant(false));
    QCOMPARE(stored.value(QStringLiteral("firstName")).toInt(), 12);
}

void tst_TamberDataModel::uuidStrings() {
    static const QRegularExpression canonical(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString id = TamberDataModel::uuidString();
        QCOMPARE(id.size(), 36);
        QVERIFY2(canonical.match(id).hasMatch(), qPrintable(id));
        seen.insert(id);
    }
    QCOMPARE(seen.size(), 200);
}

TAMBER_TEST_MAIN_CORE(tst_TamberDataModel)
#include "tst_TamberDataModel.moc"
