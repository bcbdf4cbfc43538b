#include "FreedesktopNotifier.h"

#include "BundleInfo.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QObject* parent)
    : Notifier(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::probe() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        emit availabilityKnown(false, QStringLiteral("no session bus"));
        return;
    }
    // Asking the service itself also starts one that the bus can activate.
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(call(QStringLiteral("GetServerInformation")), 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QString, QString, QString, QString> reply = *finished;
                if (reply.isError())
                    emit availabilityKnown(false, reply.error().message());
                else
                    emit availabilityKnown(true, reply.argumentAt<0>());
            });
}

void FreedesktopNotifier::show(const Notice& notice) {
    QStringList actions;
    for (const Action& action : notice.actions)
        actions << action.key << action.label;
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << BundleInfo::appName() << m_idByTag.value(notice.tag, 0u) << QString()
            << notice.summary << notice.body << actions
            << QVariantMap{{QStringLiteral("desktop-entry"), BundleInfo::bundleIdentifier()},
                           {QStringLiteral("category"), QStringLiteral("x-tamber.reminder")}}
            << qint32(notice.expireMs);
    m_withdrawnEarly.remove(notice.tag);
    m_pending.insert(notice.tag);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    const QString tag = notice.tag;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, tag](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                m_pending.remove(tag);
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError())
                    return;
                const uint id = reply.value();
                m_idByTag.insert(tag, id);
                m_tagById.insert(id, tag);
                if (m_withdrawnEarly.remove(tag))
                    withdraw(tag);
            });
}

void FreedesktopNotifier::withdraw(const QString& tag) {
    const auto it = m_idByTag.constFind(tag);
    if (it == m_idByTag.constEnd()) {
        if (m_pending.contains(tag))
            m_withdrawnEarly.insert(tag);
        return;
    }
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << *it;
    QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
    forget(*it);
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString& actionKey) {
    const auto it = m_tagById.constFind(id);
    if (it != m_tagById.constEnd())
        emit actionInvoked(*it, actionKey);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint) {
    forget(id);
}

void FreedesktopNotifier::forget(uint id) {
    const QString tag = m_tagById.take(id);
    if (!tag.isNull())
        m_idByTag.remove(tag);
}
