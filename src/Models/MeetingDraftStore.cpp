#include "MeetingDraftStore.h"

#include "Logging/Log.h"
#include "Platform/PreferencesStore.h"
#include "TamberDataModel.h"

#include <QStringList>

namespace {

QVariantMap& drafts() {
    return TamberDataModel::sharedData()->meetingDrafts;
}

const QString kIdKey = QStringLiteral("numericMeetingId");

} // namespace

bool MeetingDraftStore::put(const QVariantMap& draft) {
    const QString guid = draft.value(QStringLiteral("meetingDraftGuid")).toString();
    if (guid.isEmpty())
        return false;
    drafts().insert(guid, draft);
    save();
    return true;
}

bool MeetingDraftStore::remove(const QString& guid) {
    if (drafts().remove(guid) == 0)
        return false;
    save();
    return true;
}

int MeetingDraftStore::detachFrom(const QVariantMap& meeting) {
    const QString id = meetingIdText(meeting.value(kIdKey));
    if (id.isEmpty())
        return 0;
    int detached = 0;
    for (auto it = drafts().begin(); it != drafts().end(); ++it) {
        QVariantMap draft = it.value().toMap();
        if (meetingIdText(draft.value(kIdKey)) != id)
            continue;
        draft.remove(kIdKey);
        draft.remove(QStringLiteral("id"));
        it.value() = draft;
        ++detached;
    }
    if (detached > 0)
        save();
    return detached;
}

QString MeetingDraftStore::meetingIdText(const QVariant& id) {
    switch (id.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return TamberDataModel::urlText(id);
    case QMetaType::QString:
        return id.toString().trimmed();
    default:
        return {};
    }
}

void MeetingDraftStore::save() {
    PreferencesStore store(PreferencesStore::defaultPath());
    store.setValue(QStringLiteral("meetingDrafts"), drafts());
    if (!store.flush())
        TLOG_ERROR(QStringLiteral("Drafts could not be saved"));
}
