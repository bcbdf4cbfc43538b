#pragma once

#include <QVariantMap>

// A copy of a record with one field set, or removed when the value is invalid (a table row's
// "field missing").
inline QVariantMap with(QVariantMap record, const QString& key, const QVariant& value) {
    if (value.isValid())
        record.insert(key, value);
    else
        record.remove(key);
    return record;
}
