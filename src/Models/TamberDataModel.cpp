#include "TamberDataModel.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"
#include "Platform/Keychain.h"
#include "Platform/PreferencesStore.h"
#include "Platform/SystemInfo.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUuid>
#include <array>
#include <optional>
#include <utility>

namespace {

using Field = QVariant TamberDataModel::*;
using KeyedField = TamberDataModel::KeyedField;

// Loaded only: the tokens (their save steps differ) and the client credentials (never saved).
const std::array<KeyedField, 3> kTokenFields{{
    {"app_access_token", &TamberDataModel::app_access_token},
    {"app_expires_in", &TamberDataModel::app_expires_in},
    {"access_token", &TamberDataModel::access_token},
}};

const std::array<KeyedField, 2> kClientFields{{
    {"clientId", &TamberDataModel::clientId},
    {"clientSecret", &TamberDataModel::clientSecret},
}};

// Stored only when present; an absent field leaves what the store holds.
const std::array<KeyedField, 10> kProfileFields{{
    {"expires_in", &TamberDataModel::expires_in},
    {"partitionId", &TamberDataModel::partitionId},
    {"partitionName", &TamberDataModel::partitionName},
    {"firstName", &TamberDataModel::firstName},
    {"profilePicture", &TamberDataModel::profilePicture},
    {"timezone", &TamberDataModel::timezone},
    {"lastName", &TamberDataModel::lastName},
    {"email", &TamberDataModel::email},
    {"userId", &TamberDataModel::userId},
    {"apiHost", &TamberDataModel::apiHost},
}};

const std::array<KeyedField, 8> kAccountFields{{
    {"authenticationType", &TamberDataModel::authenticationType},
    {"enterpriseId", &TamberDataModel::enterpriseId},
    {"idpURL", &TamberDataModel::idpURL},
    {"roomId", &TamberDataModel::roomId},
    {"numericId", &TamberDataModel::numericId},
    {"personalMeetingId", &TamberDataModel::personalMeetingId},
    {"moderatorPasscode", &TamberDataModel::moderatorPasscode},
    {"participantPasscode", &TamberDataModel::participantPasscode},
}};

// Room defaults written as "true"/"false" whatever type they arrived in.
const std::array<KeyedField, 7> kRoomSwitches{{
    {"publishMeeting", &TamberDataModel::publishMeeting},
    {"videoBestFit", &TamberDataModel::videoBestFit},
    {"showAllParticipantsInIcs", &TamberDataModel::showAllParticipantsInIcs},
    {"isModeratorLess", &TamberDataModel::isModeratorLess},
    {"disallowChat", &TamberDataModel::disallowChat},
    {"muteParticipantsOnEntry", &TamberDataModel::muteParticipantsOnEntry},
    {"isLargeMeeting", &TamberDataModel::isLargeMeeting},
}};

const std::array<KeyedField, 4> kTrailingFields{{
    {"encryptionType", &TamberDataModel::encryptionType},
    {"dataModelVersion", &TamberDataModel::dataModelVersion},
    {"personalMeetingDescription", &TamberDataModel::personalMeetingDescription},
    {"calendar", &TamberDataModel::calendar},
}};

// The calendar feeds are a list of addresses, which the scalar rules of the other keys would
// neither save nor load.
const QString kCalendarFeedsKey = QStringLiteral("calendarFeeds");

using KeyedFields = std::span<const KeyedField>;

// What a load copies back as stored: every saved group, and the tokens and client credentials.
// "CID", "username", the password and the drafts have their own steps.
const std::array<KeyedFields, 6> kLoadedGroups{kTokenFields,   kProfileFields, kClientFields,
                                               kAccountFields, kRoomSwitches,  kTrailingFields};

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

bool isMap(const QVariant& value) {
    return value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QVariantHash;
}

bool holdsValue(const QVariant& value) {
    return TamberDataModel::scalarOrAbsent(value).isValid();
}

void storeIfPresent(PreferencesStore& store, const QString& key, const QVariant& value) {
    const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
    if (scalar.isValid())
        store.setValue(key, scalar);
}

void storeOrRemove(PreferencesStore& store, const QString& key, const QVariant& value) {
    const QVariant scalar = TamberDataModel::scalarOrAbsent(value);
    if (scalar.isValid())
        store.setValue(key, scalar);
    else
        store.remove(key);
}

// Copies a stored value into the field when it is usable. Anything else (null, list, map) is
// treated like a missing key, so the field keeps what it had.
void loadKey(const PreferencesStore& store, const QString& key, QVariant& field) {
    if (!store.contains(key))
        return;
    const QVariant scalar = TamberDataModel::scalarOrAbsent(store.value(key));
    if (!scalar.isValid()) {
        TLOG_WARN(QStringLiteral("Ignoring stored \"%1\": not a text, number or boolean").arg(key));
        return;
    }
    field = scalar;
}

bool isList(const QVariant& value) {
    return value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList;
}

// The texts of a list; anything else in it is left out.
QStringList textsIn(const QVariant& list) {
    QStringList texts;
    for (const QVariant& item : list.toList()) {
        if (item.typeId() == QMetaType::QString)
            texts.append(item.toString());
    }
    return texts;
}

// An empty list is stored too: it replaces the addresses of feeds the user removed.
void storeFeeds(PreferencesStore& store, const QVariant& feeds) {
    if (isList(feeds))
        store.setValue(kCalendarFeedsKey, textsIn(feeds));
}

void loadFeeds(const PreferencesStore& store, QVariant& feeds) {
    if (!store.contains(kCalendarFeedsKey))
        return;
    const QVariant stored = store.value(kCalendarFeedsKey);
    if (!isList(stored)) {
        TLOG_WARN(QStringLiteral("Ignoring stored \"calendarFeeds\": not a list of addresses"));
        return;
    }
    feeds = textsIn(stored);
}

void loadDrafts(const PreferencesStore& store, QVariantMap& drafts) {
    const QString key = QStringLiteral("meetingDrafts");
    if (!store.contains(key))
        return;
    const QVariant stored = store.value(key);
    if (!isMap(stored)) {
        TLOG_WARN(QStringLiteral("Ignoring stored \"meetingDrafts\": not a map of drafts"));
        return;
    }
    const QVariantMap storedMap = stored.toMap();
    QVariantMap loaded;
    for (auto it = storedMap.cbegin(); it != storedMap.cend(); ++it) {
        if (isMap(it.value()))
            loaded.insert(it.key(), it.value().toMap());
        else
            TLOG_WARN(QStringLiteral("Dropping stored meeting draft \"%1\": not a meeting record")
                          .arg(it.key()));
    }
    drafts = loaded;
}

// What the keychain is known to hold, and the password the service last accepted. A save
// writes the item only for an accepted password that differs from the stored one, so neither a
// refused password nor a keychain hiccup during a routine save can replace or lose the item.
struct PasswordState {
    std::optional<QString> accepted;
    std::optional<QString> stored;
};

PasswordState& passwordState() {
    static PasswordState state;
    return state;
}

void storePasswordIfChanged(const QString& password) {
    PasswordState& state = passwordState();
    if (state.accepted != password || state.stored == password)
        return;
    const Keychain::Result result = Keychain::setPassword(
        password, TamberDataModel::keychainService(), TamberDataModel::keychainAccount());
    if (result.ok) {
        state.stored = password;
        return;
    }
    TLOG_DEBUG(QStringLiteral("Error while storing password %1")
                   .arg(QStringLiteral("%1 (code %2)").arg(result.message).arg(result.code)));
}

// Keys a save never gives up to fit the store: without them the user is signed out or the
// machine loses its analytics identity.
bool mustKeep(const QString& key) {
    static const QStringList keys{
        QStringLiteral("access_token"), QStringLiteral("app_access_token"),
        QStringLiteral("expires_in"),   QStringLiteral("app_expires_in"),
        QStringLiteral("userId"),       QStringLiteral("username"),
        QStringLiteral("partitionId"),  QStringLiteral("partitionName"),
        QStringLiteral("apiHost"),      QStringLiteral("authenticationType"),
        QStringLiteral("enterpriseId"), QStringLiteral("idpURL"),
        QStringLiteral("CID"),          QStringLiteral("dataModelVersion"),
        QStringLiteral("calendar")};
    return keys.contains(key);
}

qsizetype encodedSize(const QString& key, const QVariant& value) {
    return QJsonDocument(QJsonObject{{key, QJsonValue::fromVariant(value)}})
        .toJson(QJsonDocument::Compact)
        .size();
}

// A record over the store's cap would not be written at all, and the tokens with it: the
// largest values give way first, the drafts last, each named in an error line.
void keepWithinStoreCap(PreferencesStore& store) {
    const QString drafts = QStringLiteral("meetingDrafts");
    while (store.encodedSize() > PreferencesStore::kMaxFileSize) {
        std::pair<bool, qsizetype> worst{false, -1}; // (not the drafts, size)
        QString key;
        for (auto it = store.values().cbegin(); it != store.values().cend(); ++it) {
            if (mustKeep(it.key()))
                continue;
            const std::pair<bool, qsizetype> rank{it.key() != drafts,
                                                  encodedSize(it.key(), it.value())};
            if (rank > worst) {
                worst = rank;
                key = it.key();
            }
        }
        if (key.isEmpty())
            return;
        TLOG_ERROR(QStringLiteral("Not saving \"%1\" (%2 bytes): the record would exceed the "
                                  "preferences store's limit")
                       .arg(key)
                       .arg(worst.second));
        store.remove(key);
    }
}

// The fields a save reads, in a fixed order, and the store file as that save left it: while
// neither changed, another save would write the same record (each token check of a menu open
// saves), so it is skipped. The file's size and times tell a rewrite by someone else.
struct SaveMemo {
    QVariantList inputs;
    qint64 size = -1;
    QDateTime modified, born;
};

std::optional<SaveMemo>& lastSave() {
    static std::optional<SaveMemo> memo;
    return memo;
}

QVariantList saveInputs(const TamberDataModel& m) {
    QVariantList inputs{
        m.CID,          m.username, m.userId,       m.app_access_token,   m.app_expires_in,
        m.access_token, m.clientId, m.clientSecret, m.authenticationType, m.meetingDrafts,
        m.calendarFeeds};
    for (const KeyedFields fields : {KeyedFields(kProfileFields), KeyedFields(kAccountFields),
                                     KeyedFields(kRoomSwitches), KeyedFields(kTrailingFields)}) {
        for (const auto& [key, field] : fields)
            inputs.append(m.*field);
    }
    return inputs;
}

// Equal values of the same types: a number and its text would be stored differently.
bool sameInputs(const QVariantList& a, const QVariantList& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].typeId() != b[i].typeId() || a[i] != b[i])
            return false;
    }
    return true;
}

SaveMemo memoOf(QVariantList inputs, const QString& path) {
    const QFileInfo file(path);
    if (!file.exists())
        return {std::move(inputs), -1, {}, {}};
    return {std::move(inputs), file.size(), file.lastModified(), file.birthTime()};
}

QString& keychainAccountOverride() {
    static QString account;
    return account;
}

} // namespace

TamberDataModel::TamberDataModel()
    : apiHost(BundleInfo::defaultApiHost())
    , clientId(QStringLiteral("plumCode"))
    , clientSecret(QStringLiteral("plumPrivate"))
    , dataModelVersion(QStringLiteral("1.0")) {}

TamberDataModel* TamberDataModel::sharedData() {
    // Function-local static: created once, thread-safe, never released.
    static TamberDataModel instance;
    return &instance;
}

void TamberDataModel::resetForTesting() {
    *sharedData() = TamberDataModel();
    lastSave().reset();
    passwordState() = {};
}

void TamberDataModel::passwordAccepted(const QVariant& password) {
    if (holdsValue(password))
        passwordState().accepted = password.toString();
}

Keychain::Result TamberDataModel::deleteStoredPassword() {
    passwordState() = {};
    return Keychain::deletePassword(keychainService(), keychainAccount());
}

void TamberDataModel::setKeychainAccountForTesting(const QString& account) {
    keychainAccountOverride() = account;
}

QString TamberDataModel::keychainService() {
    return BundleInfo::bundleIdentifier();
}

QString TamberDataModel::keychainAccount() {
    const QString& account = keychainAccountOverride();
    return account.isEmpty() ? BundleInfo::appName() : account;
}

void TamberDataModel::saveDataToBundle() {
    const TamberDataModel& m = *sharedData();
    const bool passwordAccount = m.authenticationType.typeId() == QMetaType::QString &&
                                 m.authenticationType.toString() == QStringLiteral("PASSWORD");
    if (passwordAccount && holdsValue(m.password))
        storePasswordIfChanged(m.password.toString());

    const QString path = PreferencesStore::defaultPath();
    QVariantList inputs = saveInputs(m);
    if (const std::optional<SaveMemo>& last = lastSave(); last && last->size >= 0) {
        const SaveMemo now = memoOf({}, path);
        if (now.size == last->size && now.modified == last->modified && now.born == last->born &&
            sameInputs(inputs, last->inputs))
            return;
    }
    PreferencesStore store(path);

    // The analytics client id identifies the machine for good: never removed.
    storeIfPresent(store, QStringLiteral("CID"), m.CID);
    storeOrRemove(store, QStringLiteral("username"), m.username);
    // The password lives in the keychain only.
    store.remove(QStringLiteral("password"));

    storeOrRemove(store, QStringLiteral("userId"), m.userId);
    storeIfPresent(store, QStringLiteral("app_access_token"), m.app_access_token);
    storeIfPresent(store, QStringLiteral("app_expires_in"), m.app_expires_in);
    storeOrRemove(store, QStringLiteral("access_token"), m.access_token);
    for (const auto& [key, field] : kProfileFields)
        storeIfPresent(store, QLatin1String(key), m.*field);

    // The client credentials are built in; a stored copy would only shadow a newer build's.
    if (holdsValue(m.clientId))
        store.remove(QStringLiteral("clientId"));
    if (holdsValue(m.clientSecret))
        store.remove(QStringLiteral("clientSecret"));

    for (const auto& [key, field] : kAccountFields)
        storeIfPresent(store, QLatin1String(key), m.*field);
    for (const auto& [key, field] : kRoomSwitches) {
        if (holdsValue(m.*field))
            store.setValue(QLatin1String(key), booleanReading(m.*field) ? QStringLiteral("true")
                                                                        : QStringLiteral("false"));
    }
    for (const auto& [key, field] : kTrailingFields)
        storeIfPresent(store, QLatin1String(key), m.*field);
    storeFeeds(store, m.calendarFeeds);

    store.setValue(QStringLiteral("meetingDrafts"), m.meetingDrafts);
    keepWithinStoreCap(store);
    if (store.flush())
        lastSave() = memoOf(std::move(inputs), path);
    else
        lastSave().reset();
}

void TamberDataModel::loadDataFromBundle() {
    loadStoredRecord();
    const std::optional<QString> password =
        Keychain::passwordFor(keychainService(), keychainAccount());
    sharedData()->password = password ? QVariant(*password) : QVariant();
    // What the keychain holds was accepted once: a save need not write it again.
    if (password) {
        passwordState().stored = password;
        passwordState().accepted = password;
    }
}

void TamberDataModel::loadStoredRecord() {
    TLOG_DEBUG(QStringLiteral("Loading data from %1").arg(applicationPlistPath()));
    TamberDataModel& m = *sharedData();
    PreferencesStore store(PreferencesStore::defaultPath());

    loadKey(store, QStringLiteral("CID"), m.CID);
    loadKey(store, QStringLiteral("username"), m.username);
    for (const KeyedFields group : kLoadedGroups)
        for (const auto& [key, field] : group)
            loadKey(store, QLatin1String(key), m.*field);
    loadFeeds(store, m.calendarFeeds);
    loadDrafts(store, m.meetingDrafts);
}

QString TamberDataModel::applicationPlistPath() {
    return PreferencesStore::defaultPath();
}

std::optional<QString> TamberDataModel::serialNumber() {
    return SystemInfo::serialNumber();
}

QString TamberDataModel::uuidString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

bool TamberDataModel::isPresent(const QVariant& value) {
    const QVariant scalar = scalarOrAbsent(value);
    if (!scalar.isValid())
        return false;
    return scalar.typeId() != QMetaType::QString || !scalar.toString().isEmpty();
}

std::span<const TamberDataModel::KeyedField> TamberDataModel::roomSwitches() {
    return kRoomSwitches;
}

bool TamberDataModel::booleanReading(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return value.toDouble() != 0.0;
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QByteArray)
        return false;
    const QString text = value.toString();
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    while (i < text.size() && text.at(i) == u'0')
        ++i;
    if (i >= text.size())
        return false;
    const QChar c = text.at(i);
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

QVariant TamberDataModel::scalarOrAbsent(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool || value.typeId() == QMetaType::QString ||
        isNumber(value))
        return value;
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return {};
}

QString TamberDataModel::textOrNull(const QVariant& value) {
    const QVariant scalar = scalarOrAbsent(value);
    return scalar.isValid() ? scalar.toString() : QStringLiteral("(null)");
}
