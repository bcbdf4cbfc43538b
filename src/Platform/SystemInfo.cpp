#include "SystemInfo.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QOperatingSystemVersion>
#include <QSysInfo>

namespace {

// A machine id is 32 hex digits and a newline; anything much longer is not one.
constexpr qint64 kMaxMachineIdSize = 256;

QByteArray readMachineId(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxMachineIdSize).trimmed();
}

} // namespace

std::optional<QString> SystemInfo::serialNumber() {
    return serialNumberFrom(
        {QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")});
}

std::optional<QString> SystemInfo::serialNumberFrom(const QStringList& machineIdFiles) {
    for (const QString& path : machineIdFiles) {
        const QByteArray id = readMachineId(path);
        if (id.isEmpty())
            continue;
        // Keyed by the application, so the value cannot be matched with other programs' ids.
        const QByteArray mac = QMessageAuthenticationCode::hash(
            id, BundleInfo::bundleIdentifier().toUtf8(), QCryptographicHash::Sha256);
        return QString::fromLatin1(mac.toHex().left(12)).toUpper();
    }
    TLOG_WARN(QStringLiteral("No machine id could be read from %1")
                  .arg(machineIdFiles.join(QStringLiteral(", "))));
    return std::nullopt;
}

bool SystemInfo::osSupported() {
#if defined(Q_OS_MACOS)
    return QOperatingSystemVersion::current() >=
           QOperatingSystemVersion(QOperatingSystemVersion::MacOS, 10, 9);
#else
    return true;
#endif
}

QString SystemInfo::osVersionText() {
    return QStringLiteral("%1 (%2 %3)")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion());
}
