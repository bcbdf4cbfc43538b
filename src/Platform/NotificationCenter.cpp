#include "NotificationCenter.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const QObject* observer, const QString& name,
                                     Handler handler) {
    const bool known = std::any_of(m_entries.begin(), m_entries.end(), [&](const auto& kv) {
        return std::any_of(kv.second.begin(), kv.second.end(),
                           [&](const Entry& e) { return e.observer == observer; });
    });
    m_entries[name].push_back({m_nextId++, observer, std::move(handler)});
    if (!known && observer) {
        connect(observer, &QObject::destroyed, this,
                [this, observer] { removeObserver(observer); });
    }
}

void NotificationCenter::removeObserver(const QObject* observer) {
    for (auto& [name, entries] : m_entries) {
        std::erase_if(entries, [&](const Entry& e) { return e.observer == observer; });
    }
}

void NotificationCenter::removeObserver(const QObject* observer, const QString& name) {
    auto it = m_entries.find(name);
    if (it != m_entries.end()) {
        std::erase_if(it->second, [&](const Entry& e) { return e.observer == observer; });
    }
}

void NotificationCenter::post(const QString& name, const QVariant& object) {
    Q_ASSERT(!QCoreApplication::instance() ||
             QThread::currentThread() == QCoreApplication::instance()->thread());
    auto it = m_entries.find(name);
    if (it == m_entries.end()) {
        return;
    }
    // Handlers may add or remove observers; deliver to a snapshot and skip removed ones.
    const std::vector<Entry> snapshot = it->second;
    for (const Entry& entry : snapshot) {
        const auto& live = m_entries[name];
        const bool stillThere =
            std::any_of(live.begin(), live.end(), [&](const Entry& e) { return e.id == entry.id; });
        if (stillThere) {
            entry.handler(object);
        }
    }
}

bool NotificationCenter::hasObservers(const QString& name) const {
    auto it = m_entries.find(name);
    return it != m_entries.end() && !it->second.empty();
}
