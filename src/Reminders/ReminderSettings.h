#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// The reminder choice of the preferences page and what reminders remember between runs, kept
// in the preferences store. Main thread only.
namespace ReminderSettings {

struct Choice {
    std::optional<int> minutes; // nothing: off
    QString label;
};

// Off, at start, 1, 5 and 10 minutes before.
const QList<Choice>& choices();
// The chosen lead time (1 minute unless chosen otherwise); nothing when reminders are off.
std::optional<int> leadMinutes();
// Stores the choice and tells the running reminders ("REMINDER_SETTINGS_CHANGED").
void setLeadMinutes(std::optional<int> minutes);

// Occurrences already reminded of, with their end (ms).
QHash<QString, qint64> reminded();
void setReminded(const QHash<QString, qint64>& keyToEndMs);

// What the preferences page says about reminders while the notification service is missing;
// empty while notifications work (or before anyone looked).
QString unavailableNote();
void setNotificationsAvailable(bool available);

} // namespace ReminderSettings
