#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <vector>

// Process-wide named notifications on the main thread. Names are the application's
// UPPER_SNAKE_CASE strings; an optional object rides along (a meeting record, for instance).
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QVariant& object)>;

    static NotificationCenter& defaultCenter();

    // The observer's lifetime bounds the registration: it ends when the observer is destroyed.
    void addObserver(const QObject* observer, const QString& name, Handler handler);
    void removeObserver(const QObject* observer);
    void removeObserver(const QObject* observer, const QString& name);

    // Delivers synchronously, in registration order. Must be called on the main thread.
    void post(const QString& name, const QVariant& object = {});

    bool hasObservers(const QString& name) const;

private:
    struct Entry {
        quint64 id;
        const QObject* observer;
        Handler handler;
    };
    std::map<QString, std::vector<Entry>> m_entries;
    quint64 m_nextId = 1;
};
