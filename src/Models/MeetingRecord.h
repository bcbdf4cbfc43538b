#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// One meeting of the upcoming-meetings list. A service meeting keeps the JSON object of the
// list reply as parsed, so a long list is not converted field by field before anyone looks at
// it; calendar meetings and drafts keep their maps. Reading a key gives what the map form of
// the record holds, and toVariantMap() is that form, made where a record leaves the list (the
// scheduler, the delete confirmation).
class MeetingRecord {
public:
    MeetingRecord() = default;
    // Calendar meetings and drafts: the record is the map.
    MeetingRecord(QVariantMap map); // NOLINT(google-explicit-constructor)
    // A service meeting: its "calendar_entry_type" reads "velora", whatever the object holds.
    static MeetingRecord fromService(QJsonObject object);

    bool isService() const { return m_service; }
    bool contains(const QString& key) const;
    // Present and not null.
    bool has(const QString& key) const;
    QVariant value(const QString& key) const;
    // The key's value as a time in milliseconds (numericTime), read without converting it.
    std::optional<double> time(const QString& key) const;
    QVariantMap toVariantMap() const;
    // A series: see isRecurrencePattern().
    bool isRecurring() const {
        return isRecurrencePattern(value(QStringLiteral("recurrencePattern")));
    }

    // The one reading of "recurrencePattern" that the row's mark, the cancel popover and the
    // cancel address share: an object whose "recurrenceType" is present and not "NONE".
    static bool isRecurrencePattern(const QVariant& pattern);

    // A time in milliseconds: a finite number, or numeric text, within +-8.64e15 ms (the range
    // of ECMAScript dates; beyond it a date has no calendar day).
    static std::optional<double> numericTime(const QVariant& value);
    static std::optional<double> numericTime(const QJsonValue& value);

    // The same source and the same keys and values (a refetched list compared with the shown one).
    bool operator==(const MeetingRecord&) const = default;

private:
    QJsonObject m_object; // service meetings
    QVariantMap m_map;    // all others
    bool m_service = false;
};
