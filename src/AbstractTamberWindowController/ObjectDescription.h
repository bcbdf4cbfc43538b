#pragma once

#include <QObject>
#include <QString>

// "<ClassName: 0x...>": how objects appear in log lines (the DEALLOC and "Showing" lines).
inline QString objectDescription(const QObject* object) {
    if (!object) {
        return QStringLiteral("(null)");
    }
    return QStringLiteral("<%1: 0x%2>")
        .arg(QString::fromLatin1(object->metaObject()->className()))
        .arg(quintptr(object), 0, 16);
}
