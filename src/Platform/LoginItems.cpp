#include "LoginItems.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Quotes one argument of an Exec line: inside double quotes, ", `, $ and \ are escaped with a
// backslash, and "%" is doubled to stay clear of field codes. The string-value escaping of the
// desktop-entry format then doubles every backslash once more.
QString execArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return quoted;
}

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64 * 1024);
}

} // namespace

QString LoginItems::autostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString LoginItems::desktopEntryFor(const QString& executable) {
    // Line breaks and control characters cannot appear in an Exec value.
    for (const QChar c : executable) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    if (executable.isEmpty() || !QDir::isAbsolutePath(executable))
        return {};
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(BundleInfo::appName(), execArgument(executable));
}

bool LoginItems::addApplication() {
#if defined(Q_OS_MACOS)
    // TODO(macOS): register through the platform's login-item API (SMAppService /
    // LSSharedFileList). Not done yet: reports failure so callers know.
    TLOG_WARN(QStringLiteral("Login items are not supported on this platform yet"));
    return false;
#else
    return addApplication(QCoreApplication::applicationFilePath(), autostartFolder());
#endif
}

bool LoginItems::addApplication(const QString& executable, const QString& autostartFolder) {
    const QString entry = desktopEntryFor(executable);
    if (entry.isEmpty()) {
        TLOG_ERROR(QStringLiteral("Login item not added: the executable path \"%1\" cannot be "
                                  "used in an autostart entry")
                       .arg(executable));
        return false;
    }
    const QString path =
        autostartFolder + QLatin1Char('/') + BundleInfo::bundleIdentifier() + ".desktop";
    const QByteArray bytes = entry.toUtf8();
    if (readSmallFile(path) == bytes)
        return true;
    if (!QDir().mkpath(autostartFolder)) {
        TLOG_ERROR(QStringLiteral("Login item not added: cannot create %1").arg(autostartFolder));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        TLOG_ERROR(QStringLiteral("Login item not added: cannot write %1 (%2)")
                       .arg(path, file.errorString()));
        return false;
    }
    TLOG_INFO(QStringLiteral("Login item written: %1").arg(path));
    return true;
}
