#pragma once

#include "Models/TamberDataModel.h"

#include <QString>

// The personal meeting as the join and personal-meeting pages show it. An absent value shows
// as nothing rather than a placeholder word.
namespace PersonalMeetingDetails {

inline QString textOf(const QVariant& value) {
    return TamberDataModel::isPresent(value) ? TamberDataModel::urlText(value) : QString();
}

inline QString meetingId() {
    return textOf(TamberDataModel::sharedData()->numericId);
}

inline QString passcode() {
    return textOf(TamberDataModel::sharedData()->moderatorPasscode);
}

} // namespace PersonalMeetingDetails
