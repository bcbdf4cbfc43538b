#pragma once

#include "Platform/PreferencesStore.h"
#include "VeloraSimulator.h"

#include <QStringList>

// A recorded request as one line: method, path, the query as key=value in key order, then the
// Content-Type in brackets when one was sent. One comparison checks a whole request.
inline QString requestLine(const RecordedRequest& r) {
    QStringList parts{QString::fromLatin1(r.method), r.path};
    for (auto it = r.query.cbegin(); it != r.query.cend(); ++it)
        parts << it.key() + u'=' + it.value();
    if (r.hasHeader("content-type"))
        parts << u'[' + QString::fromLatin1(r.header("content-type")) + u']';
    return parts.join(u' ');
}

// The endpoints of the requests, in the order they arrived.
inline QStringList endpointsOf(const QList<RecordedRequest>& requests) {
    QStringList names;
    for (const RecordedRequest& r : requests)
        names << r.endpoint;
    return names;
}

// A value of the saved preferences, as the next start would read it.
inline QVariant storedPreference(const QString& key) {
    return PreferencesStore(PreferencesStore::defaultPath()).value(key);
}
