#include "Platform/SystemInfo.h"
#include "TestEnvironment.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

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
    const QString a = writeId(dir, u"a"_s, rawId + '\n');
    const QString b = writeId(dir, u"b"_s, "0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f\n");

    const std::optional<QString> serial = SystemInfo::serialNumberFrom({a});
    QVERIFY(serial);
    QVERIFY(QRegularExpression(u"^[0-9A-F]{12}$"_s).match(*serial).hasMatch());
    // Not the machine id itself, nor a piece of it, nor its plain hash.
    QVERIFY(!QString::fromLatin1(rawId).toUpper().contains(*serial));
    const QString plainSha =
        QString::fromLatin1(QCryptographicHash::hash(rawId, QCryptographicHash::Sha256).toHex());
    QVERIFY(!plainSha.toUpper().startsWith(*serial));
    // Stable for the machine, different between machines; trailing white space ignored.
    QCOMPARE(SystemInfo::serialNumberFrom({a}), serial);
    QCOMPARE(SystemInfo::serialNumberFrom({writeId(dir, u"c"_s, rawId)}), serial);
    QVERIFY(SystemInfo::serialNumberFrom({b}) != serial);
}

void tst_SystemInfo::serialNumberFallsBackAndIsAbsentWhenUnreadable() {
    QTemporaryDir dir;
    const QString empty = writeId(dir, u"empty"_s, "\n");
    const QString good = writeId(dir, u"good"_s, "0123456789abcdef0123456789abcdef");
    const QString missing = dir.filePath(u"missing"_s);

    QCOMPARE(SystemInfo::serialNumberFrom({missing, empty, good}),
             SystemInfo::serialNumberFrom({good}));
    QVERIFY(!SystemInfo::serialNumberFrom({missing, empty}));
    QVERIFY(!SystemInfo::serialNumberFrom({dir.path()})); // a folder is no machine id
    QVERIFY(!SystemInfo::serialNumberFrom({}));
    // This machine has an id (containers and CI images included).
    if (QFile::exists(u"/etc/machine-id"_s) || QFile::exists(u"/var/lib/dbus/machine-id"_s))
        QVERIFY(SystemInfo::serialNumber());
}

TAMBER_TEST_MAIN_CORE(tst_SystemInfo)
#include "tst_SystemInfo.moc"
