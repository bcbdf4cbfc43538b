#include "ReminderSettings.h"

#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"

#include <QVariantMap>

namespace {

const QString kLeadKey = QStringLiteral("reminderLeadMinutes");
const QString kRemindedKey = QStringLiteral("remindedMeetings");
constexpr int kOff = -1;
constexpr int kDefaultLead = 1;

bool notificationsMissing = false;

} // namespace

const QList<ReminderSettings::Choice>& ReminderSettings::choices() {
    static const QList<Choice> all{{std::nullopt, QStringLiteral("Off")},
                                   {0, QStringLiteral("At start")},
                                   {1, QStringLiteral("1 minute before")},
                                   {5, QStringLiteral("5 minutes before")},
                                   {10, QStringLiteral("10 minutes before")}};
    return all;
}

std::optional<int> ReminderSettings::leadMinutes() {
    const QVariant stored = PreferencesStore(PreferencesStore::defaultPath()).value(kLeadKey);
    bool ok = false;
    const int minutes = stored.toInt(&ok);
    if (!ok)
        return kDefaultLead;
    for (const Choice& choice : choices()) {
        if (choice.minutes.value_or(kOff) == minutes)
            return choice.minutes;
    }
    return kDefaultLead;
}

void ReminderSettings::setLeadMinutes(std::optional<int> minutes) {
    PreferencesStore store(PreferencesStore::defaultPath());
    store.setValue(kLeadKey, minutes.value_or(kOff));
    store.flush();
    NotificationCenter::defaultCenter().post(QStringLiteral("REMINDER_SETTINGS_CHANGED"));
}

QHash<QString, qint64> ReminderSettings::reminded() {
    const QVariantMap stored =
        PreferencesStore(PreferencesStore::defaultPath()).value(kRemindedKey).toMap();
    QHash<QString, qint64> keys;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        keys.insert(it.key(), it.value().toLongLong());
    return keys;
}

void ReminderSettings::setReminded(const QHash<QString, qint64>& keyToEndMs) {
    QVariantMap map;
    for (auto it = keyToEndMs.cbegin(); it != keyToEndMs.cend(); ++it)
        map.insert(it.key(), it.value());
    PreferencesStore store(PreferencesStore::defaultPath());
    store.setValue(kRemindedKey, map.isEmpty() ? QVariant() : QVariant(map));
    store.flush();
}

QString ReminderSettings::unavailableNote() {
    return notificationsMissing
               ? QStringLiteral("Reminders are off: this desktop has no notification service.")
               : QString();
}

void ReminderSettings::setNotificationsAvailable(bool available) {
    notificationsMissing = !available;
}
