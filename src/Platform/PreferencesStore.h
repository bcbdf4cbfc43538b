#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// A typed key/value record kept as one JSON file (texts, numbers, booleans, nested maps).
// Writes are atomic (a crash leaves the old or the new file) and private (mode 0600).
// A file that cannot be parsed is moved aside as "<name>.corrupt-<time>" and logged, and the
// store starts from what could be read.
class PreferencesStore {
public:
    // What the last load found.
    enum class LoadStatus { Missing, Empty, Loaded, KeptAside };

    // Files above this size are treated as damaged and never read whole; records that would
    // exceed it are not written.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // Loads the file at once (see reload()).
    explicit PreferencesStore(QString filePath);

    // The application's store: <config dir>/<bundle id>.json.
    static QString defaultPath();

    const QString& filePath() const { return m_path; }

    // Reads the file again, replacing the in-memory values.
    void reload();
    LoadStatus loadStatus() const { return m_status; }
    // Where the last unusable file was moved; empty when none was (or it could not be moved).
    const QString& backupPath() const { return m_backupPath; }

    bool contains(const QString& key) const { return m_values.contains(key); }
    QVariant value(const QString& key) const { return m_values.value(key); }
    // An invalid QVariant removes the key.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key) { m_values.remove(key); }
    const QVariantMap& values() const { return m_values; }

    // Writes the record to disk; false (and a log line) when it could not be written. A private
    // file that holds the record already is left alone.
    bool flush();
    // The size of the file flush() would write.
    qint64 encodedSize() const { return encode().size(); }

private:
    QByteArray encode() const;
    void keepAside(const QString& reason);

    QString m_path;
    QVariantMap m_values;
    QByteArray m_onDisk; // what the file held at the last load or save
    LoadStatus m_status = LoadStatus::Missing;
    QString m_backupPath;
};
