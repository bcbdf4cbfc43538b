#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

// Desktop notifications with actions. On Linux the freedesktop notification service on the
// session bus; another platform plugs its own notification centre in behind the same calls
// (createDefault() says which one runs).
class Notifier : public QObject {
    Q_OBJECT
public:
    struct Action {
        QString key;
        QString label;
    };
    struct Notice {
        QString tag; // the caller's name for it: showing a tag again replaces it
        QString summary;
        QString body;
        QList<Action> actions;
        int expireMs = -1; // -1: the service's default
    };

    using QObject::QObject;

    // Finds out whether notifications can be shown; answers with availabilityKnown().
    virtual void probe() = 0;
    virtual void show(const Notice& notice) = 0;
    // Takes a shown notification away; unknown tags are ignored.
    virtual void withdraw(const QString& tag) = 0;

    // The platform's notifier.
    static std::unique_ptr<Notifier> createDefault();

signals:
    void availabilityKnown(bool available, const QString& why);
    void actionInvoked(const QString& tag, const QString& actionKey);
};
