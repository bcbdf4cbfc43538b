#include "PreferencesStore.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr QFile::Permissions kPrivateFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kPrivateFolder =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Creates the folder and any missing parents, each private to the user. Existing folders are
// left as they are: they may be shared on purpose (~/.config, for instance).
bool ensureFolder(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink()) {
        TLOG_ERROR(QStringLiteral("Cannot save preferences: %1 is not a folder").arg(path));
        return false;
    }
    const QString parent = info.absoluteDir().absolutePath();
    if (parent != info.absoluteFilePath() && !ensureFolder(parent))
        return false;
    // mkdir's permissions pass through the umask; set them again to be sure.
    if (!QDir().mkdir(path, kPrivateFolder) && !QFileInfo(path).isDir()) {
        TLOG_ERROR(
            QStringLiteral("Cannot save preferences: folder %1 could not be created").arg(path));
        return false;
    }
    QFile::setPermissions(path, kPrivateFolder);
    return true;
}

bool isPrivateFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 07777) == 0600;
}

// "<file>.corrupt-<time>", with a counter when a backup of that second already exists.
QString freeBackupName(const QString& path) {
    const QString base = path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    for (int n = 1; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + QStringLiteral("-%1").arg(n);
    return candidate;
}

} // namespace

PreferencesStore::PreferencesStore(QString filePath)
    : m_path(std::move(filePath)) {
    reload();
}

QString PreferencesStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + BundleInfo::bundleIdentifier() + QStringLiteral(".json");
}

void PreferencesStore::reload() {
    m_values.clear();
    m_onDisk.clear();
    m_backupPath.clear();
    m_status = LoadStatus::Missing;

    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return;
    // Only regular files are opened: a FIFO would block, a device could be endless.
    if (!info.isFile())
        return keepAside(QStringLiteral("not a regular file"));
    if (info.size() > kMaxFileSize)
        return keepAside(QStringLiteral("%1 bytes, more than a record can hold").arg(info.size()));

    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return keepAside(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    // Bounded even if the file grows between the size check and the read.
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return keepAside(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    if (data.size() > kMaxFileSize)
        return keepAside(QStringLiteral("more than %1 bytes").arg(kMaxFileSize));
    file.close();

    if (data.trimmed().isEmpty()) {
        m_status = LoadStatus::Empty;
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        return keepAside(
            QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        return keepAside(QStringLiteral("the top level is not a JSON object"));
    m_values = document.object().toVariantMap();
    m_onDisk = data;
    m_status = LoadStatus::Loaded;
}

void PreferencesStore::keepAside(const QString& reason) {
    m_values.clear();
    m_status = LoadStatus::KeptAside;
    const QString backup = freeBackupName(m_path);
    // QFile::rename never replaces an existing file, so an earlier backup survives a race.
    if (QFile::rename(m_path, backup)) {
        m_backupPath = backup;
        TLOG_ERROR(QStringLiteral("Preferences file %1 is unusable (%2); kept it as %3 and "
                                  "started with an empty record")
                       .arg(m_path, reason, backup));
    } else {
        TLOG_ERROR(QStringLiteral("Preferences file %1 is unusable (%2) and could not be kept "
                                  "aside; started with an empty record, the next save replaces it")
                       .arg(m_path, reason));
    }
}

void PreferencesStore::setValue(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        m_values.remove(key);
        return;
    }
    m_values.insert(key, value);
}

QByteArray PreferencesStore::encode() const {
    return QJsonDocument(QJsonObject::fromVariantMap(m_values)).toJson(QJsonDocument::Indented);
}

bool PreferencesStore::flush() {
    const QByteArray data = encode();
    // A larger file would be refused (and kept aside) by the next load.
    if (data.size() > kMaxFileSize) {
        TLOG_ERROR(QStringLiteral("Preferences not saved to %1: the record is %2 bytes, more "
                                  "than %3")
                       .arg(m_path)
                       .arg(data.size())
                       .arg(kMaxFileSize));
        return false;
    }
    // The record is saved after every token check, that is at every menu open: an unchanged
    // one costs no rewrite and no wait for the disk.
    if (!m_onDisk.isEmpty() && data == m_onDisk && isPrivateFile(m_path))
        return true;
    if (!ensureFolder(QFileInfo(m_path).absolutePath()))
        return false;

    // QSaveFile writes a temporary file and renames it over the old one at commit, so a crash
    // leaves either record whole. Its mode is narrowed before any byte is written.
    QSaveFile file(m_path);
    const auto fail = [&](const QString& step) {
        TLOG_ERROR(QStringLiteral("Preferences not saved to %1: %2 (%3)")
                       .arg(m_path, step, file.errorString()));
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot open a temporary file"));
    if (!file.setPermissions(kPrivateFile))
        return fail(QStringLiteral("cannot make the file private"));
    if (file.write(data) != data.size())
        return fail(QStringLiteral("write failed"));
    if (!file.commit()) {
        TLOG_ERROR(QStringLiteral("Preferences not saved to %1: commit failed (%2)")
                       .arg(m_path, file.errorString()));
        return false;
    }
    m_onDisk = data;
    return true;
}
