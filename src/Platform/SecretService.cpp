#include "SecretService.h"

#include "Keychain.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>

namespace {

const QString kService = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kCollectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");
const QString kItemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString kSessionInterface = QStringLiteral("org.freedesktop.Secret.Session");
const QString kPromptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString kNoObject = QStringLiteral("/");

// QtKeychain's libsecret schema: items are found by user and server; "type" tells how the
// secret is encoded. Its binary mode (the one earlier versions used) stores base64 text.
const QString kUser = QStringLiteral("user");
const QString kServer = QStringLiteral("server");
const QString kType = QStringLiteral("type");
const QString kBase64 = QStringLiteral("base64");
const QString kPlaintext = QStringLiteral("plaintext");
// libsecret adds the schema's name to every item it stores.
const QString kSchemaKey = QStringLiteral("xdg:schema");
const QString kSchema = QStringLiteral("org.qt.keychain");

const QString kNoSuchItem = QStringLiteral("no such item");
const QString kLocked = QStringLiteral("keyring locked or access refused");
const QString kNoDefault = QStringLiteral("keyring locked or missing");
const QString kNotRunning = QStringLiteral("no secret service running");

using Attributes = QMap<QString, QString>;
using Paths = QList<QDBusObjectPath>;

Attributes itemAttributes(const QString& service, const QString& account) {
    return {{kUser, account}, {kServer, service}};
}

Attributes withType(Attributes attributes, const QString& type) {
    attributes.insert(kType, type);
    return attributes;
}

QDBusObjectPath pathAt(const QDBusMessage& reply, int index) {
    return reply.arguments().value(index).value<QDBusObjectPath>();
}

Paths pathsIn(const QVariant& value) {
    return qdbus_cast<Paths>(value);
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const SecretService::Secret& secret) {
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SecretService::Secret& secret) {
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

SecretService::SecretService(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {
    registerTypes();
}

SecretService::~SecretService() {
    // Given up on (the caller's wait ran out): the prompt's answer goes nowhere. The prompt
    // itself stays for the user, as with libsecret: gnome-keyring 42 aborts when an unlock
    // prompt is dismissed while it is shown.
    if (!m_promptPath.isEmpty())
        m_bus.disconnect(kService, m_promptPath, kPromptInterface, QStringLiteral("Completed"),
                         this, SLOT(onPromptCompleted(bool, QDBusVariant)));
    if (!m_session.path().isEmpty())
        m_bus.send(QDBusMessage::createMethodCall(kService, m_session.path(), kSessionInterface,
                                                  QStringLiteral("Close")));
}

void SecretService::registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<Secret>();
        qDBusRegisterMetaType<Attributes>();
        return true;
    }();
    Q_UNUSED(registered);
}

void SecretService::read(const QString& service, const QString& account) {
    const Attributes attributes = itemAttributes(service, account);
    // First the encoding earlier versions wrote; QtKeychain's text mode as a fallback.
    auto readFirst = [this](bool base64, const Paths& unlocked, const Paths& locked) {
        if (!unlocked.isEmpty())
            return readSecret(unlocked.first(), base64);
        const QDBusObjectPath item = locked.first();
        unlock({item}, [this, item, base64] { readSecret(item, base64); });
    };
    search(withType(attributes, kBase64), [=, this](const Paths& unlocked, const Paths& locked) {
        if (!unlocked.isEmpty() || !locked.isEmpty())
            return readFirst(true, unlocked, locked);
        search(withType(attributes, kPlaintext), [=, this](const Paths& u, const Paths& l) {
            if (u.isEmpty() && l.isEmpty())
                return finish(Keychain::EntryNotFound, kNoSuchItem,
                              QStringLiteral("Entry not found"));
            readFirst(false, u, l);
        });
    });
}

void SecretService::write(const QString& service, const QString& account,
                          const QByteArray& password) {
    Attributes attributes = withType(itemAttributes(service, account), kBase64);
    attributes.insert(kSchemaKey, kSchema);
    const QVariantMap properties{{QStringLiteral("org.freedesktop.Secret.Item.Label"), service},
                                 {QStringLiteral("org.freedesktop.Secret.Item.Attributes"),
                                  QVariant::fromValue(attributes)}};
    const QByteArray encoded = password.toBase64();
    call(kServicePath, kServiceInterface, QStringLiteral("ReadAlias"), {QStringLiteral("default")},
         [=, this](const QDBusMessage& reply) {
             const QDBusObjectPath collection = pathAt(reply, 0);
             if (collection.path().isEmpty() || collection.path() == kNoObject)
                 return finish(Keychain::OtherError, kNoDefault,
                               QStringLiteral("No default collection in the secret service"));
             unlock({collection}, [=, this] {
                 openSession([=, this] {
                     const Secret secret{m_session, {}, encoded, QStringLiteral("text/plain")};
                     // Replacing in the same call: a failed write keeps the earlier item.
                     call(collection.path(), kCollectionInterface, QStringLiteral("CreateItem"),
                          {properties, QVariant::fromValue(secret), true},
                          [this](const QDBusMessage& created) {
                              const QDBusObjectPath prompted = pathAt(created, 1);
                              if (prompted.path() == kNoObject)
                                  return succeed();
                              prompt(prompted, [this](const QDBusVariant&) { succeed(); });
                          });
                 });
             });
         });
}

void SecretService::remove(const QString& service, const QString& account) {
    search(itemAttributes(service, account), [this](const Paths& unlocked, const Paths& locked) {
        if (unlocked.isEmpty() && locked.isEmpty())
            return finish(Keychain::EntryNotFound, kNoSuchItem, QStringLiteral("Entry not found"));
        if (locked.isEmpty())
            return deleteItems(unlocked);
        unlock(locked, [this, all = unlocked + locked] { deleteItems(all); });
    });
}

void SecretService::call(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments, Reply onReply) {
    // A call on a bus never connected would not be answered at all.
    if (!m_bus.isConnected())
        return finish(Keychain::OtherError, kNotRunning,
                      QStringLiteral("Could not connect to the session bus: ") +
                          m_bus.lastError().message());
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    // Owned by this object: destroying it drops the answer.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onReply = std::move(onReply)](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (m_done)
                    return;
                const QDBusMessage reply = answered->reply();
                if (reply.type() == QDBusMessage::ErrorMessage)
                    return failWith(reply);
                onReply(reply);
            });
}

void SecretService::search(
    const QMap<QString, QString>& attributes,
    std::function<void(const QList<QDBusObjectPath>&, const QList<QDBusObjectPath>&)> next) {
    call(kServicePath, kServiceInterface, QStringLiteral("SearchItems"),
         {QVariant::fromValue(attributes)}, [next = std::move(next)](const QDBusMessage& reply) {
             next(pathsIn(reply.arguments().value(0)), pathsIn(reply.arguments().value(1)));
         });
}

void SecretService::unlock(const QList<QDBusObjectPath>& objects, std::function<void()> next) {
    auto check = [this, objects, next = std::move(next)](const Paths& unlocked) {
        for (const QDBusObjectPath& object : objects) {
            if (!unlocked.contains(object))
                return finish(Keychain::AccessDenied, kLocked,
                              QStringLiteral("The keyring was not unlocked"));
        }
        next();
    };
    call(kServicePath, kServiceInterface, QStringLiteral("Unlock"), {QVariant::fromValue(objects)},
         [this, check](const QDBusMessage& reply) {
             const QDBusObjectPath prompted = pathAt(reply, 1);
             if (prompted.path() == kNoObject)
                 return check(pathsIn(reply.arguments().value(0)));
             prompt(prompted,
                    [check](const QDBusVariant& result) { check(pathsIn(result.variant())); });
         });
}

void SecretService::openSession(std::function<void()> next) {
    // The "plain" algorithm: the secret crosses only the user's own session bus, to a service
    // running as the same user, as it does for libsecret's clients.
    call(kServicePath, kServiceInterface, QStringLiteral("OpenSession"),
         {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))},
         [this, next = std::move(next)](const QDBusMessage& reply) {
             m_session = pathAt(reply, 1);
             next();
         });
}

void SecretService::prompt(const QDBusObjectPath& path,
                           std::function<void(const QDBusVariant&)> next) {
    m_promptPath = path.path();
    m_promptNext = std::move(next);
    m_bus.connect(kService, m_promptPath, kPromptInterface, QStringLiteral("Completed"), this,
                  SLOT(onPromptCompleted(bool, QDBusVariant)));
    // No parent window to name; the answer comes as Completed.
    call(m_promptPath, kPromptInterface, QStringLiteral("Prompt"), {QString()},
         [](const QDBusMessage&) {});
}

void SecretService::onPromptCompleted(bool dismissed, const QDBusVariant& result) {
    m_bus.disconnect(kService, m_promptPath, kPromptInterface, QStringLiteral("Completed"), this,
                     SLOT(onPromptCompleted(bool, QDBusVariant)));
    m_promptPath.clear();
    const auto next = std::move(m_promptNext);
    m_promptNext = nullptr;
    if (m_done)
        return;
    if (dismissed)
        return finish(Keychain::AccessDeniedByUser, QStringLiteral("refused by the user"),
                      QStringLiteral("The prompt was dismissed"));
    next(result);
}

void SecretService::readSecret(const QDBusObjectPath& item, bool base64) {
    openSession([this, item, base64] {
        call(item.path(), kItemInterface, QStringLiteral("GetSecret"),
             {QVariant::fromValue(m_session)}, [this, base64](const QDBusMessage& reply) {
                 if (reply.signature() != QLatin1String("(oayays)"))
                     return finish(Keychain::OtherError, QStringLiteral("secret service error"),
                                   QStringLiteral("Unexpected secret of type ") +
                                       reply.signature());
                 const auto secret = qdbus_cast<Secret>(reply.arguments().value(0));
                 m_password = base64 ? QByteArray::fromBase64(secret.value) : secret.value;
                 succeed();
             });
    });
}

void SecretService::deleteItems(QList<QDBusObjectPath> items) {
    if (items.isEmpty())
        return succeed();
    const QDBusObjectPath item = items.takeFirst();
    call(item.path(), kItemInterface, QStringLiteral("Delete"), {},
         [this, items](const QDBusMessage& reply) {
             const QDBusObjectPath prompted = pathAt(reply, 0);
             if (prompted.path() == kNoObject)
                 return deleteItems(items);
             prompt(prompted, [this, items](const QDBusVariant&) { deleteItems(items); });
         });
}

void SecretService::succeed() {
    finish(Keychain::NoError, {}, {});
}

void SecretService::finish(int code, const QString& reason, const QString& message) {
    if (m_done)
        return;
    m_done = true;
    m_code = code;
    m_reason = reason;
    m_message = message;
    if (!m_session.path().isEmpty()) {
        m_bus.send(QDBusMessage::createMethodCall(kService, m_session.path(), kSessionInterface,
                                                  QStringLiteral("Close")));
        m_session = {};
    }
    emit finished();
}

void SecretService::failWith(const QDBusMessage& error) {
    const QString name = error.errorName();
    const QString message = name + QStringLiteral(": ") + error.errorMessage();
    if (name == QLatin1String("org.freedesktop.Secret.Error.IsLocked"))
        return finish(Keychain::AccessDenied, kLocked, message);
    if (name == QLatin1String("org.freedesktop.Secret.Error.NoSuchObject"))
        return finish(Keychain::EntryNotFound, kNoSuchItem, message);
    if (name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
        name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        return finish(Keychain::OtherError, kNotRunning, message);
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return finish(Keychain::OtherError, QStringLiteral("secret service not answering"),
                      message);
    finish(Keychain::OtherError, QStringLiteral("secret service error"), message);
}
