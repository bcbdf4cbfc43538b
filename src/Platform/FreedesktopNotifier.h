#pragma once

#include "Notifier.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariantMap>

// Notifier over org.freedesktop.Notifications on the session bus (Qt D-Bus, asynchronous
// calls only: a slow service never holds up the main thread).
class FreedesktopNotifier final : public Notifier {
    Q_OBJECT
public:
    explicit FreedesktopNotifier(QObject* parent = nullptr);

    void probe() override;
    void show(const Notice& notice) override;
    void withdraw(const QString& tag) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void forget(uint id);

    QHash<QString, uint> m_idByTag;
    QHash<uint, QString> m_tagById;
    QSet<QString> m_pending; // Notify calls still out
    // Tags withdrawn while their Notify call was still out.
    QSet<QString> m_withdrawnEarly;
};
