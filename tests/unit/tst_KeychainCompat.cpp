#include "Platform/Keychain.h"
#include "TestEnvironment.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QSignalSpy>
#include <QUuid>
#include <memory>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

// Earlier versions stored the password with QtKeychain (libsecret backend). Its items and
// Keychain's are the same items: each side reads, replaces and deletes what the other wrote, so
// an upgrade and a downgrade both keep the password. Runs against the secret service of
// scripts/with-test-env.
namespace {

const QString kService = u"com.velora.tamber.test"_s;

QString uniqueAccount() {
    return u"tst_KeychainCompat-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Runs a QtKeychain job to its end; returns its error.
int runJob(QKeychain::Job& job) {
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QSignalSpy finished(&job, &QKeychain::Job::finished);
    job.start();
    if (finished.isEmpty() && !finished.wait(5000))
        return -1;
    return job.error();
}

int qtWrite(const QString& account, const QString& password, bool binary) {
    QKeychain::WritePasswordJob job(kService);
    job.setKey(account);
    if (binary)
        job.setBinaryData(password.toUtf8());
    else
        job.setTextData(password);
    return runJob(job);
}

std::optional<QString> qtRead(const QString& account) {
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(account);
    if (runJob(job) != QKeychain::NoError)
        return std::nullopt;
    return QString::fromUtf8(job.binaryData());
}

// How many items the service holds for the account, whatever their encoding.
int itemCount(const QString& account) {
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage search =
        QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
                                       u"org.freedesktop.Secret.Service"_s, u"SearchItems"_s);
    search << QVariant::fromValue(
        QMap<QString, QString>{{u"user"_s, account}, {u"server"_s, kService}});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(search);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    return int(qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().value(0)).size() +
               qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().value(1)).size());
}

} // namespace

class tst_KeychainCompat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void earlierItemIsReadReplacedAndDeleted() {
        const QString account = uniqueAccount();
        const QString first = u"pässwörd \"1\" ∑ & = ;"_s;
        QCOMPARE(qtWrite(account, first, true), int(QKeychain::NoError));
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(first));

        QVERIFY(Keychain::setPassword(u"second"_s, kService, account).ok);
        QCOMPARE(qtRead(account), std::optional<QString>(u"second"_s));
        QCOMPARE(itemCount(account), 1); // replaced, not stored beside it

        QVERIFY(Keychain::deletePassword(kService, account).ok);
        QCOMPARE(itemCount(account), 0);
        QVERIFY(!qtRead(account));

        // QtKeychain's text encoding is read and deleted too.
        QCOMPARE(qtWrite(account, first, false), int(QKeychain::NoError));
        QCOMPARE(Keychain::passwordFor(kService, account), std::optional<QString>(first));
        QVERIFY(Keychain::deletePassword(kService, account).ok);
        QCOMPARE(itemCount(account), 0);
    }

    void newItemIsReadAndDeletedByEarlierVersions() {
        const QString account = uniqueAccount();
        const QString password = u"pässwörd \"2\" ∑"_s;
        QVERIFY(Keychain::setPassword(password, kService, account).ok);
        QCOMPARE(qtRead(account), std::optional<QString>(password));

        QKeychain::DeletePasswordJob remove(kService);
        remove.setKey(account);
        QCOMPARE(runJob(remove), int(QKeychain::NoError));
        QVERIFY(!Keychain::passwordFor(kService, account));
        QCOMPARE(itemCount(account), 0);
    }
};

TAMBER_TEST_MAIN_CORE(tst_KeychainCompat)
#include "tst_KeychainCompat.moc"
