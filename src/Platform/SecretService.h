#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <functional>

class QDBusMessage;

// One request to the freedesktop Secret Service (org.freedesktop.secrets) on the session bus:
// read, write or delete the password item of a service and account, in the form QtKeychain's
// libsecret backend stores it. Every step is an asynchronous call; finished() reports the end.
// Destroying the object drops the answers still out, a prompt's included, so nothing calls
// back once its owner has given up waiting.
class SecretService : public QObject {
    Q_OBJECT
public:
    // The Secret struct of the protocol: (oayays).
    struct Secret {
        QDBusObjectPath session;
        QByteArray parameters;
        QByteArray value;
        QString contentType;
    };

    explicit SecretService(const QDBusConnection& bus, QObject* parent = nullptr);
    ~SecretService() override;

    // Registers the protocol's D-Bus types; done by the constructor too.
    static void registerTypes();

    void read(const QString& service, const QString& account);
    void write(const QString& service, const QString& account, const QByteArray& password);
    void remove(const QString& service, const QString& account);

    // After finished(): a Keychain::Code, what went wrong in the service's words and in ours.
    int code() const { return m_code; }
    QString message() const { return m_message; }
    QString reason() const { return m_reason; }
    // The password read; empty when there was none.
    QByteArray password() const { return m_password; }

Q_SIGNALS:
    void finished();

private Q_SLOTS:
    void onPromptCompleted(bool dismissed, const QDBusVariant& result);

private:
    using Reply = std::function<void(const QDBusMessage&)>;

    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, Reply onReply);
    void search(const QMap<QString, QString>& attributes,
                std::function<void(const QList<QDBusObjectPath>& unlocked,
                                   const QList<QDBusObjectPath>& locked)>
                    next);
    void unlock(const QList<QDBusObjectPath>& objects, std::function<void()> next);
    void openSession(std::function<void()> next);
    void prompt(const QDBusObjectPath& path, std::function<void(const QDBusVariant&)> next);
    void readSecret(const QDBusObjectPath& item, bool base64);
    void deleteItems(QList<QDBusObjectPath> items);
    void succeed();
    void finish(int code, const QString& reason, const QString& message);
    void failWith(const QDBusMessage& error);

    QDBusConnection m_bus;
    QDBusObjectPath m_session;
    QString m_promptPath;
    std::function<void(const QDBusVariant&)> m_promptNext;
    bool m_done = false;
    int m_code = 0;
    QString m_message;
    QString m_reason;
    QByteArray m_password;
};

Q_DECLARE_METATYPE(SecretService::Secret)
