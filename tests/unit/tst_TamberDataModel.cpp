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
#include <QHash>
#include <QObject>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

using Field = QVariant TamberDataModel::*;

TamberDataModel& model() {
    return *TamberDataModel::sharedData();
}

// What a reader of the record can tell apart; a failure then names the wrong kind.
QString kind(const QVariant& v) {
    static const QHash<int, QString> kinds{
        {QMetaType::UnknownType, u"absent"_s}, {QMetaType::Bool, u"bool"_s},
        {QMetaType::QString, u"text"_s},       {QMetaType::Int, u"number"_s},
        {QMetaType::UInt, u"number"_s},        {QMetaType::LongLong, u"number"_s},
        {QMetaType::ULongLong, u"number"_s},   {QMetaType::Double, u"number"_s}};
    return kinds.value(v.typeId(), u"other:"_s + QString::fromLatin1(v.typeName()));
}

QVariantMap stored() {
    return PreferencesStore(PreferencesStore::defaultPath()).values();
}

void writeStore(const QVariantMap& values) {
    PreferencesStore store(PreferencesStore::defaultPath());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    QVERIFY(store.flush());
}

// A restart: a fresh record, then the launch's load.
void restart() {
    TamberDataModel::resetForTesting();
    TamberDataModel::loadDataFromBundle();
}

void verifyDefaults() {
    QCOMPARE(model().apiHost, QVariant(u"api.velora.example"_s));
    QCOMPARE(model().clientId, QVariant(u"plumCode"_s));
    QCOMPARE(model().clientSecret, QVariant(u"plumPrivate"_s));
    QCOMPARE(model().dataModelVersion, QVariant(u"1.0"_s));
}

QVariantMap draft(const QString& guid, qint64 start) {
    return {{u"meetingDraftGuid"_s, guid},
            {u"title"_s, u"Plan "_s + guid},
            {u"start"_s, start},
            {u"end"_s, start + 3600000},
            {u"attendees"_s, QVariantList{u"a@example.com"_s}}};
}

// Every field the record stores and loads back as a plain value.
#define F(name)                                                                                    \
    { QStringLiteral(#name), &TamberDataModel::name }
const QList<QPair<QString, Field>> kStoredFields{
    F(CID),      F(clientId),     F(videoBestFit),    F(app_access_token),
    F(email),    F(calendar),     F(disallowChat),    F(dataModelVersion),
    F(userId),   F(firstName),    F(partitionName),   F(personalMeetingId),
    F(idpURL),   F(numericId),    F(app_expires_in),  F(moderatorPasscode),
    F(roomId),   F(expires_in),   F(profilePicture),  F(authenticationType),
    F(apiHost),  F(partitionId),  F(publishMeeting),  F(participantPasscode),
    F(username), F(access_token), F(encryptionType),  F(muteParticipantsOnEntry),
    F(timezone), F(clientSecret), F(isLargeMeeting),  F(showAllParticipantsInIcs),
    F(lastName), F(enterpriseId), F(isModeratorLess), F(personalMeetingDescription)};
#undef F

const QStringList kRoomSwitches{
    u"publishMeeting"_s,  u"videoBestFit"_s, u"showAllParticipantsInIcs"_s,
    u"isModeratorLess"_s, u"disallowChat"_s, u"muteParticipantsOnEntry"_s,
    u"isLargeMeeting"_s};

QVariant& field(const QString& name) {
    for (const auto& [key, member] : kStoredFields)
        if (key == name)
            return model().*member;
    qFatal("no field %s", qPrintable(name));
}

} // namespace

class tst_TamberDataModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The test environment provides an unlocked gnome-keyring in a private session. Each test
        // process uses its own item so tests running side by side never see each other's password.
        m_keychain = qEnvironmentVariableIsSet("TAMBER_TEST_ENV_INNER");
        TamberDataModel::setKeychainAccountForTesting(
            u"tst_TamberDataModel-%1"_s.arg(QCoreApplication::applicationPid()));
    }

    void init() {
        QFile::remove(PreferencesStore::defaultPath());
        if (m_keychain)
            Keychain::deletePassword(TamberDataModel::keychainService(),
                                     TamberDataModel::keychainAccount());
        TamberDataModel::resetForTesting();
    }

    void cleanupTestCase() {
        init();
        TamberDataModel::setKeychainAccountForTesting(QString());
    }

    void defaultsAndMissingKeys() {
        verifyDefaults();
        QVERIFY(model().meetingDrafts.isEmpty());
        QCOMPARE(kind(model().access_token), u"absent"_s);

        // First start: nothing stored. Defaults survive, and a value already in memory stays.
        model().firstName = u"Ada"_s;
        TamberDataModel::loadDataFromBundle();
        verifyDefaults();
        QCOMPARE(model().firstName, QVariant(u"Ada"_s));
        QCOMPARE(kind(model().password), u"absent"_s);

        // Only present keys overwrite.
        writeStore({{u"email"_s, u"ada@example.com"_s}});
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().email, QVariant(u"ada@example.com"_s));
        QCOMPARE(model().firstName, QVariant(u"Ada"_s));
        QVERIFY(TamberDataModel::applicationPlistPath().startsWith(QDir::homePath()));
    }

    void roundTripKeepsTypes() {
        TamberDataModel& m = model();
        m.CID = u"C0FFEE"_s;
        m.username = u"ada@example.com"_s;
        m.app_access_token = u"app-token"_s;
        m.app_expires_in = 3599.5;
        m.access_token = u"user-token"_s;
        m.expires_in = 3600;
        m.partitionId = qint64(9007199254740000LL);
        m.partitionName = u"eu"_s;
        m.firstName = u"Ada Åsa"_s;
        m.lastName = u"Lovelace-\"Byron\""_s;
        m.email = u"ada@example.com"_s;
        m.userId = 4242;
        m.apiHost = u"localhost:8443"_s;
        m.authenticationType = u"FB"_s;
        m.enterpriseId = 17;
        m.idpURL = u"https://idp.example/sso?x=1&y=2"_s;
        m.profilePicture = u"https://static.example/p.png"_s;
        m.timezone = u"Europe/Oslo"_s;
        m.calendar = QString(); // "no valid choice" is a value of its own
        m.personalMeetingDescription = u"Join:\nhttps://velora.example/111\n\t✓"_s;
        m.numericId = qint64(1112223334);
        m.personalMeetingId = u"pm-1"_s;
        m.moderatorPasscode = 9876;
        m.participantPasscode = u"0042"_s; // leading zeros must survive as text
        m.roomId = true;                   // odd, but a reply may say so
        m.encryptionType = u"ENCRYPTED_ONLY"_s;
        m.SID = u"session"_s;
        m.language = u"nb"_s;
        m.addAttendeePasscode = true;
        const TamberDataModel before = m;

        TamberDataModel::saveDataToBundle();
        for (const char* key :
             {"SID", "language", "addAttendeePasscode", "password", "clientId", "clientSecret"})
            QVERIFY2(!stored().contains(QLatin1String(key)), key);

        restart();
        for (const auto& [name, member] : kStoredFields) {
            const QVariant expected = before.*member;
            const QVariant actual = model().*member;
            QVERIFY2(
                kind(actual) == kind(expected) && actual.toString() == expected.toString(),
                qPrintable(u"%1: %2 %3 instead of %4 %5"_s.arg(
                    name, kind(actual), actual.toString(), kind(expected), expected.toString())));
        }
        // Never stored: absent after a restart.
        for (const QVariant& v : {model().SID, model().language, model().addAttendeePasscode})
            QCOMPARE(kind(v), u"absent"_s);
    }

    void removalRules() {
        const QVariantMap kept{{u"CID"_s, u"C1"_s},
                               {u"app_access_token"_s, u"app"_s},
                               {u"app_expires_in"_s, 100},
                               {u"firstName"_s, u"Ada"_s},
                               {u"authenticationType"_s, u"SAML"_s},
                               {u"roomId"_s, u"r1"_s},
                               {u"publishMeeting"_s, u"true"_s},
                               {u"encryptionType"_s, u"NO_ENCRYPTION"_s},
                               {u"calendar"_s, u"velora_calendar"_s},
                               {u"personalMeetingDescription"_s, u"desc"_s}};
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            field(it.key()) = it.value();
        for (const char* key : {"username", "access_token", "userId"})
            field(QLatin1String(key)) = u"x"_s;
        TamberDataModel::saveDataToBundle();
        // An older record kept the password in the store: it must go at the next save.
        writeStore({{u"password"_s, u"old-secret"_s}});

        TamberDataModel::resetForTesting();
        TamberDataModel::saveDataToBundle();
        const QVariantMap now = stored();
        // The sign-in fields follow the record, and so do the client credentials ...
        for (const char* key :
             {"username", "access_token", "userId", "password", "clientId", "clientSecret"})
            QVERIFY2(!now.contains(QLatin1String(key)), key);
        // ... everything else absent in memory stays stored, and defaults are written too.
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(now.value(it.key()).toString(), it.value().toString());
        QCOMPARE(now.value(u"apiHost"_s), QVariant(u"api.velora.example"_s));
        QCOMPARE(now.value(u"dataModelVersion"_s), QVariant(u"1.0"_s));
    }

    // A save with nothing changed is skipped, but not when someone else changed or removed the
    // file since, nor after a change of a field.
    void unchangedSaveSkippedButNeverLost() {
        const auto firstName = [] {
            return PreferencesStore(PreferencesStore::defaultPath()).value(u"firstName"_s);
        };
        model().firstName = u"Ada"_s;
        TamberDataModel::saveDataToBundle();
        QFile::remove(PreferencesStore::defaultPath());
        TamberDataModel::saveDataToBundle();
        QCOMPARE(firstName(), QVariant(u"Ada"_s));
        {
            PreferencesStore other(PreferencesStore::defaultPath());
            other.remove(u"firstName"_s);
            QVERIFY(other.flush());
        }
        TamberDataModel::saveDataToBundle();
        QCOMPARE(firstName(), QVariant(u"Ada"_s));
        model().firstName = u"Grace"_s;
        TamberDataModel::saveDataToBundle();
        QCOMPARE(firstName(), QVariant(u"Grace"_s));
        model().firstName = u"7"_s;
        TamberDataModel::saveDataToBundle();
        model().firstName = 7; // equal as text, stored differently
        TamberDataModel::saveDataToBundle();
        QCOMPARE(firstName().typeId(), QMetaType::LongLong);
    }

    void roomSwitchesAreStoredAsTrueOrFalse() {
        const QList<QPair<QVariant, bool>> cases{
            {0, false},      {u"0"_s, false},   {u"false"_s, false}, {false, false},
            {0.0, false},    {u"NO"_s, false},  {QString(), false},  {1, true},
            {u"1"_s, true},  {u"true"_s, true}, {true, true},        {-3, true},
            {u"YES"_s, true}};
        for (const auto& [value, on] : cases) {
            for (const QString& key : kRoomSwitches)
                field(key) = value;
            TamberDataModel::saveDataToBundle();
            const QVariantMap now = stored();
            for (const QString& key : kRoomSwitches) {
                const QVariant v = now.value(key);
                QVERIFY2(kind(v) == u"text"_s && v.toString() == (on ? u"true"_s : u"false"_s),
                         qPrintable(u"%1 = %2 (%3) stored as %4"_s.arg(key, value.toString(),
                                                                       kind(value), v.toString())));
            }
            // Read back, the text gives the same answer as the value it came from.
            restart();
            for (const QString& key : kRoomSwitches)
                QCOMPARE(TamberDataModel::booleanReading(field(key)), on);
        }

        // An absent switch leaves the stored text alone.
        TamberDataModel::resetForTesting();
        model().publishMeeting = u"0"_s;
        model().encryptionType = 3; // stored as it is, not made a boolean text
        TamberDataModel::saveDataToBundle();
        const QVariantMap now = stored();
        QCOMPARE(now.value(u"publishMeeting"_s), QVariant(u"false"_s));
        QCOMPARE(now.value(u"videoBestFit"_s), QVariant(u"true"_s));
        QCOMPARE(kind(now.value(u"encryptionType"_s)), u"number"_s);
    }

    void booleanReading_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("expected");
        const auto row = [](const char* name, const QVariant& v, bool on) {
            QTest::newRow(name) << v << on;
        };
        row("absent", QVariant(), false);
        row("bool true", true, true);
        row("bool false", false, false);
        row("int 0", 0, false);
        row("int -2", -2, true);
        row("double 0.1", 0.1, true);
        row("double 0", 0.0, false);
        row("longlong big", qint64(1) << 40, true);
        row("empty text", QString(), false);
        row("list", QVariantList{true}, false);
        row("map", QVariantMap{{u"a"_s, true}}, false);
        row("null", QVariant::fromValue(nullptr), false);
        // Text: a leading Y, y, T or t, or a number other than zero after blanks and one sign.
        const QList<QPair<const char*, bool>> texts{
            {" \t\n", false},  {"Y", true},   {"yes", true},     {"True", true}, {"t", true},
            {"Tuesday", true}, {"N", false},  {"false", false},  {"on", false},  {"0", false},
            {"000", false},    {"9", true},   {"  -0007", true}, {"+0", false},  {"00y", true},
            {"0.5", false},    {"1.5", true}, {"0x1", false},    {"+-1", false}, {"- 1", false}};
        for (const auto& [text, on] : texts)
            row(text, QString::fromLatin1(text), on);
    }

    void booleanReading() {
        QFETCH(QVariant, value);
        QFETCH(bool, expected);
        QCOMPARE(TamberDataModel::booleanReading(value), expected);
    }

    void valueHelpers_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("scalarKind"); // what scalarOrAbsent() keeps
        QTest::addColumn<QString>("text");       // textOrNull()
        QTest::addColumn<bool>("present");
        const auto row = [](const char* name, const QVariant& v, const QString& k, const QString& t,
                            bool present) { QTest::newRow(name) << v << k << t << present; };
        // Containers and nulls from replies or files never reach a field.
        row("null", QVariant::fromValue(nullptr), u"absent"_s, u"(null)"_s, false);
        row("list", QVariantList{1}, u"absent"_s, u"(null)"_s, true);
        row("map", QVariantMap{{u"a"_s, 1}}, u"absent"_s, u"(null)"_s, true);
        row("string list", QStringList{u"a"_s}, u"absent"_s, u"(null)"_s, true);
        row("invalid", QVariant(), u"absent"_s, u"(null)"_s, false);
        row("text", u"u-1"_s, u"text"_s, u"u-1"_s, true);
        row("empty text", QString(), u"text"_s, QString(), false);
        row("int", 4242, u"number"_s, u"4242"_s, true);
        row("zero", 0, u"number"_s, u"0"_s, true);
        row("big", qint64(9007199254740000LL), u"number"_s, u"9007199254740000"_s, true);
        row("false", false, u"bool"_s, u"false"_s, true);
    }

    void valueHelpers() {
        QFETCH(QVariant, value);
        QFETCH(QString, scalarKind);
        QFETCH(QString, text);
        QFETCH(bool, present);
        const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
        QCOMPARE(kind(scalar), scalarKind);
        if (scalarKind != u"absent"_s)
            QCOMPARE(scalar, value);
        if (value.typeId() != QMetaType::Bool)
            QCOMPARE(TamberDataModel::textOrNull(value), text);
        if (value.typeId() != QMetaType::QStringList && value.typeId() != QMetaType::QVariantList &&
            value.typeId() != QMetaType::QVariantMap)
            QCOMPARE(TamberDataModel::isPresent(value), present);
    }

    void passwordLivesInTheKeychainOnly() {
        if (!m_keychain)
            QSKIP("needs the secret service of scripts/with-test-env");
        const QString service = TamberDataModel::keychainService();
        const QString account = TamberDataModel::keychainAccount();
        QCOMPARE(service, u"com.velora.tamber"_s);

        // A password account: the keychain item is written, the store never holds the password.
        // SAML: nothing reaches the keychain. Either way a leftover "password" key is removed.
        for (const QString& type : {u"PASSWORD"_s, u"SAML"_s}) {
            const bool password = type == u"PASSWORD"_s;
            Keychain::deletePassword(service, account);
            writeStore({{u"password"_s, u"stale"_s}});
            model().authenticationType = type;
            model().password = u"pä55 wörd"_s;
            TamberDataModel::passwordAccepted(model().password);
            TamberDataModel::saveDataToBundle();
            QVERIFY(!stored().contains(u"password"_s));
            QCOMPARE(Keychain::passwordFor(service, account),
                     password ? std::optional(u"pä55 wörd"_s) : std::nullopt);
            // With no item the password in memory is cleared by a load.
            TamberDataModel::loadDataFromBundle();
            QCOMPARE(model().password, password ? QVariant(u"pä55 wörd"_s) : QVariant());
        }

        // The item is read back whatever the account type.
        QVERIFY(Keychain::setPassword(u"from-keychain"_s, service, account).ok);
        restart();
        QCOMPARE(model().password, QVariant(u"from-keychain"_s));
    }

    void keychainWrittenOnlyForANewAcceptedPassword() {
        if (!m_keychain)
            QSKIP("needs the secret service of scripts/with-test-env");
        const QString service = TamberDataModel::keychainService();
        const QString account = TamberDataModel::keychainAccount();
        const auto saveAndRead = [&] {
            TamberDataModel::saveDataToBundle();
            return Keychain::passwordFor(service, account);
        };
        model().authenticationType = u"PASSWORD"_s;
        model().password = u"first"_s;
        TamberDataModel::passwordAccepted(u"first"_s);
        QCOMPARE(saveAndRead(), std::optional(u"first"_s));

        // A password the service refused never replaces the stored one.
        model().password = u"typo"_s;
        QCOMPARE(saveAndRead(), std::optional(u"first"_s));

        // An unchanged password is not written again: routine saves leave the item alone.
        model().password = u"first"_s;
        QVERIFY(Keychain::deletePassword(service, account).ok);
        QCOMPARE(saveAndRead(), std::nullopt);

        // A new accepted password is written once; one read at start counts as stored.
        model().password = u"second"_s;
        TamberDataModel::passwordAccepted(u"second"_s);
        QCOMPARE(saveAndRead(), std::optional(u"second"_s));
        restart();
        QCOMPARE(model().password, QVariant(u"second"_s));
        QVERIFY(Keychain::deletePassword(service, account).ok);
        QCOMPARE(saveAndRead(), std::nullopt);

        // After sign-out's delete the same password is written afresh at the next sign-in.
        QVERIFY(Keychain::setPassword(u"second"_s, service, account).ok);
        QVERIFY(TamberDataModel::deleteStoredPassword().ok);
        TamberDataModel::passwordAccepted(u"second"_s);
        QCOMPARE(saveAndRead(), std::optional(u"second"_s));
    }

    void oversizedRecordStillSavesTheTokens() {
        // Two values that fit one by one but not together; the tokens must still be saved.
        const QString big(9 * 1024 * 1024, QLatin1Char('d'));
        model().personalMeetingDescription = big;
        model().firstName = big.left(8 * 1024 * 1024);
        model().access_token = u"fresh-token"_s;
        model().userId = u"u-1"_s;
        model().meetingDrafts.insert(u"D1"_s, draft(u"D1"_s, 1000));
        LogSpy log;
        TamberDataModel::saveDataToBundle();
        const QVariantMap now = stored();
        QCOMPARE(now.value(u"access_token"_s), QVariant(u"fresh-token"_s));
        QCOMPARE(now.value(u"userId"_s), QVariant(u"u-1"_s));
        QVERIFY(now.value(u"meetingDrafts"_s).toMap().contains(u"D1"_s));
        // Only the largest value gave way, and the error line names it.
        QVERIFY(!now.contains(u"personalMeetingDescription"_s));
        QCOMPARE(now.value(u"firstName"_s).toString().size(), 8 * 1024 * 1024);
        QVERIFY(log.contains(Log::Error, u"Not saving \"personalMeetingDescription\""_s, true));
    }

    void storedClientIdIsUsedButNeverKept() {
        writeStore({{u"clientId"_s, u"legacyCode"_s}, {u"clientSecret"_s, u"legacySecret"_s}});
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().clientId, QVariant(u"legacyCode"_s));
        QCOMPARE(model().clientSecret, QVariant(u"legacySecret"_s));

        TamberDataModel::saveDataToBundle();
        QVERIFY(!stored().contains(u"clientId"_s));
        QVERIFY(!stored().contains(u"clientSecret"_s));
        // The loaded value stays for the session; the next start is back on the built-in one.
        QCOMPARE(model().clientId, QVariant(u"legacyCode"_s));
        restart();
        verifyDefaults();
    }

    // The feed addresses are a list: saved and loaded as one, an emptied list included.
    void calendarFeedsRoundTrip() {
        const QStringList feeds{u"https://cal.example/a.ics"_s, u"/home/ada/b.ics"_s};
        model().calendarFeeds = feeds;
        TamberDataModel::saveDataToBundle();
        restart();
        QCOMPARE(model().calendarFeeds.toStringList(), feeds);
        // Written by another program (the demo's set-up): texts kept, anything else left out.
        writeStore({{u"calendarFeeds"_s, QVariantList{feeds.first(), 7, QVariantMap{}}}});
        restart();
        QCOMPARE(model().calendarFeeds.toStringList(), QStringList{feeds.first()});
        // All feeds removed: they stay removed.
        model().calendarFeeds = QStringList();
        TamberDataModel::saveDataToBundle();
        restart();
        QVERIFY(model().calendarFeeds.toStringList().isEmpty());
        QVERIFY(stored().contains(u"calendarFeeds"_s));
    }

    void draftsRoundTripAndBadDrafts() {
        for (int i = 0; i < 3; ++i) {
            const QString guid = TamberDataModel::uuidString();
            model().meetingDrafts.insert(guid, draft(guid, 1700000000000LL + i));
        }
        const QVariantMap before = model().meetingDrafts;
        TamberDataModel::saveDataToBundle();
        restart();
        QCOMPARE(model().meetingDrafts.keys(), before.keys());
        for (const QString& guid : before.keys()) {
            const QVariantMap loaded = model().meetingDrafts.value(guid).toMap();
            const QVariantMap original = before.value(guid).toMap();
            QCOMPARE(loaded.value("title"), original.value("title"));
            QCOMPARE(loaded.value("start").toLongLong(), original.value("start").toLongLong());
            QCOMPARE(loaded.value("attendees").toList().size(), 1);
        }

        // A draft that is not a record is dropped; its neighbours stay.
        QVariantMap mixed = before;
        mixed.insert(u"broken"_s, u"not a draft"_s);
        mixed.insert(u"listy"_s, QVariantList{1, 2});
        writeStore({{u"meetingDrafts"_s, mixed}});
        restart();
        QCOMPARE(model().meetingDrafts.keys(), before.keys());

        // A drafts value that is not a map leaves the drafts in memory alone.
        writeStore({{u"meetingDrafts"_s, QVariantList{before.first()}}});
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().meetingDrafts.keys(), before.keys());

        // An empty drafts map is stored, not skipped: it replaces the old drafts (as at sign-out).
        model().meetingDrafts.clear();
        TamberDataModel::saveDataToBundle();
        model().meetingDrafts = before;
        TamberDataModel::loadDataFromBundle();
        QVERIFY(model().meetingDrafts.isEmpty());
    }

    void corruptStore_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expectedEmail"); // empty: nothing usable
        const auto row = [](const char* name, const QByteArray& bytes, const QString& email = {}) {
            QTest::newRow(name) << bytes << email;
        };
        row("empty file", QByteArray());
        row("not JSON", "{\"email\": \"a@b\", oops");
        row("binary", QByteArray("\x00\xff\xfe{\x01", 5));
        row("top-level list", "[1, 2, {\"email\": \"x\"}]");
        row("top-level text", "\"email\"");
        row("nulls and containers",
            "{\"email\": \"ada@example.com\", \"apiHost\": null, \"access_token\": [\"t\"], "
            "\"username\": {\"a\": 1}, \"CID\": null, \"clientId\": [], \"dataModelVersion\": {}, "
            "\"meetingDrafts\": \"oops\"}",
            u"ada@example.com"_s);
        row("drafts is a number", "{\"email\": \"ada@example.com\", \"meetingDrafts\": 5}",
            u"ada@example.com"_s);
        // Containers and nulls under every key: treated as missing, the defaults stay.
        for (const char* bad : {"[\"x\"]", "{\"x\": 1}", "null"}) {
            QStringList pairs;
            for (const auto& [key, member] : kStoredFields)
                pairs << u"\"%1\": %2"_s.arg(key, QLatin1String(bad));
            row(qPrintable(u"every key "_s + QLatin1String(bad)),
                "{" + pairs.join(u',').toUtf8() + "}");
        }
    }

    void corruptStore() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expectedEmail);
        const QVariantMap keptDraft{{u"k"_s, draft(u"k"_s, 5)}};
        model().meetingDrafts = keptDraft;
        const QString path = PreferencesStore::defaultPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();

        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().email.toString(), expectedEmail);
        verifyDefaults();
        for (const QVariant& v : {model().access_token, model().username, model().CID,
                                  model().firstName, model().publishMeeting, model().calendar})
            QCOMPARE(kind(v), u"absent"_s);
        QCOMPARE(model().meetingDrafts.keys(), keptDraft.keys());

        // The next save writes a sound record that loads back the same.
        model().firstName = u"Ada"_s;
        TamberDataModel::saveDataToBundle();
        QCOMPARE(stored().value(u"apiHost"_s), QVariant(u"api.velora.example"_s));
        restart();
        QCOMPARE(model().firstName, QVariant(u"Ada"_s));
        QCOMPARE(model().email.toString(), expectedEmail);
        QCOMPARE(model().meetingDrafts.keys(), keptDraft.keys());
        verifyDefaults();
    }

    void wrongTypesInEveryKey() {
        // Scalars of an unexpected type are carried as they are, and a save still works.
        QVariantMap values;
        for (const auto& [key, member] : kStoredFields)
            values.insert(key, 12);
        values.insert(u"publishMeeting"_s, u"yes"_s);
        values.insert(u"username"_s, false);
        writeStore(values);
        TamberDataModel::loadDataFromBundle();
        QCOMPARE(model().apiHost, QVariant(12));
        QCOMPARE(model().username, QVariant(false));
        QCOMPARE(model().publishMeeting, QVariant(u"yes"_s));
        TamberDataModel::saveDataToBundle();
        const QVariantMap now = stored();
        QCOMPARE(now.value(u"publishMeeting"_s), QVariant(u"true"_s));
        QCOMPARE(now.value(u"videoBestFit"_s), QVariant(u"true"_s));
        QCOMPARE(now.value(u"username"_s), QVariant(false));
        QCOMPARE(now.value(u"firstName"_s).toInt(), 12);
    }

    void uuidStrings() {
        static const QRegularExpression canonical(
            u"^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"_s);
        QSet<QString> seen;
        for (int i = 0; i < 200; ++i) {
            const QString id = TamberDataModel::uuidString();
            QVERIFY2(canonical.match(id).hasMatch(), qPrintable(id));
            seen.insert(id);
        }
        QCOMPARE(seen.size(), 200);
    }

private:
    bool m_keychain = false;
};

TAMBER_TEST_MAIN_CORE(tst_TamberDataModel)
#include "tst_TamberDataModel.moc"
