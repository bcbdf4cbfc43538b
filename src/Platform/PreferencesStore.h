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
    explicit PreferencesStore(QString filePath);

    // The application's store: <config dir>/<bundle id>.json.
    static QString defaultPath();

    const QString& filePath() const { return m_path; }

    // Reads the file again, replacing the in-memory values.
    void reload();
    bool contains(const QString& key) const { return m_values.contains(key); }
    QVariant value(const QString& key) const { return m_values.value(key); }
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key) { m_values.remove(key); }
    const QVariantMap& values() const { return m_values; }

    // Writes the record to disk; false (and a log line) when it could not be written.
    bool flush();

private:
    QString m_path;
    QVariantMap m_values;
};
