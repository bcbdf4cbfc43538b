#include "MeetingRecord.h"

#include <cmath>

namespace {

const QString kEntryType = QStringLiteral("calendar_entry_type");
const QString kVelora = QStringLiteral("velora");

constexpr double kMaxAbsMs = 8.64e15;

std::optional<double> withinRange(double ms) {
    if (!std::isfinite(ms) || std::fabs(ms) > kMaxAbsMs)
        return std::nullopt;
    return ms;
}

std::optional<double> fromText(const QString& text) {
    bool ok = false;
    const double ms = text.trimmed().toDouble(&ok);
    return ok ? withinRange(ms) : std::nullopt;
}

} // namespace

bool MeetingRecord::isRecurrencePattern(const QVariant& pattern) {
    if (pattern.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariant type = pattern.toMap().value(QStringLiteral("recurrenceType"));
    return type.isValid() && !type.isNull() && type.toString() != QLatin1String("NONE");
}

MeetingRecord::MeetingRecord(QVariantMap map)
    : m_map(std::move(map)) {}

MeetingRecord MeetingRecord::fromService(QJsonObject object) {
    MeetingRecord record;
    record.m_object = std::move(object);
    record.m_service = true;
    return record;
}

bool MeetingRecord::contains(const QString& key) const {
    if (!m_service)
        return m_map.contains(key);
    return key == kEntryType || m_object.contains(key);
}

bool MeetingRecord::has(const QString& key) const {
    if (!m_service) {
        const auto it = m_map.constFind(key);
        return it != m_map.constEnd() && it->isValid() && !it->isNull();
    }
    if (key == kEntryType)
        return true;
    const QJsonValue value = m_object.value(key);
    return !value.isUndefined() && !value.isNull();
}

QVariant MeetingRecord::value(const QString& key) const {
    if (!m_service)
        return m_map.value(key);
    if (key == kEntryType)
        return kVelora;
    return m_object.value(key).toVariant();
}

std::optional<double> MeetingRecord::time(const QString& key) const {
    if (!m_service)
        return numericTime(m_map.value(key));
    if (key == kEntryType)
        return std::nullopt;
    return numericTime(m_object.value(key));
}

QVariantMap MeetingRecord::toVariantMap() const {
    if (!m_service)
        return m_map;
    QVariantMap map = m_object.toVariantMap();
    map.insert(kEntryType, kVelora);
    return map;
}

std::optional<double> MeetingRecord::numericTime(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return withinRange(value.toDouble());
    case QMetaType::QString:
        return fromText(value.toString());
    default:
        return std::nullopt;
    }
}

std::optional<double> MeetingRecord::numericTime(const QJsonValue& value) {
    if (value.isDouble()) // integers too
        return withinRange(value.toDouble());
    if (value.isString())
        return fromText(value.toString());
    return std::nullopt;
}
