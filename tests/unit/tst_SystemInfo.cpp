#include "Platform/SystemInfo.h"
#include "TestEnvironment.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QString writeId(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

} // namespace

class tst_SystemInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void serialNumberIsStableAppSpecificHash();
    void serialNumberFallsBackAndIsAbsentWhenUnreadable();
};

void tst_SystemInfo::serialNumberIsStableAppSpecificHash() {
    QTemporaryDir dir;
    const QByteArray rawId("4c4c4544003957108052b4c04f384d32");
    const QString a = writeId(dir, QStringLiteral("a"), rawId + '\n');
    const QString b = writeId(dir, QStringLiteral("b"), "0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f\n");

    const std::optional<QString> serial = SystemInfo::serialNumberFrom({a});
    QVERIFY(serial);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{12}$")).match(*serial).hasMatch());
    // Not the machine id itself, nor a piece of it, nor its plain hash.
    QVERIFY(!QString::fromLatin1(rawId).toUpper().contains(*serial));
    const QString plainSha =
        QString::fromLatin1(QCryptographicHash::hash(rawId, QCryptographicHash::Sha256).toHex());
    QVERIFY(!plainSha.toUpper().startsWith(*serial));
    // Stable for the machine, different between machines; trailing white space ignored.
    QCOMPARE(SystemInfo::serialNumberFrom({a}), serial);
    QCOMPARE(SystemInfo::serialNumberFrom({writeId(dir, QStringLiteral("c"), rawId)}), serial);
    QVERIFY(SystemInfo::serialNumberFrom({b}) != serial);
}

void tst_SystemInfo::serialNumberFallsBackAndIsAbsentWhenUnreadable() {
    QTemporaryDir dir;
    const QString empty = writeId(dir, QStringLiteral("empty"), "\n");
    const QString good = writeId(dir, QStringLiteral("good"), "0123456789abcdef0123456789abcdef");
    const QString missing = dir.filePath(QStringLiteral("missing"));

    QCOMPARE(SystemInfo::serialNumberFrom({missing, empty, good}),
             SystemInfo::serialNumberFrom({good}));
    QVERIFY(!SystemInfo::serialNumberFrom({missing, empty}));
    QVERIFY(!SystemInfo::serialNumberFrom({dir.path()})); // a folder is no machine id
    QVERIFY(!SystemInfo::serialNumberFrom({}));
    // This machine has an id (containers and CI images included).
    if (QFile::exists(QStringLiteral("/etc/machine-id")) ||
        QFile::exists(QStringLiteral("/var/lib/dbus/machine-id")))
        QVERIFY(SystemInfo::serialNumber());
}

TAMBER_TEST_MAIN_CORE(tst_SystemInfo)
#include "tst_SystemInfo.moc"
