#pragma once

#include "Models/TamberDataModel.h"

#include <QHBoxLayout>
#include <QLabel>
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

// The value labels hold the bare id and passcode: the start event reports them as shown.
inline void fill(QLabel* meetingIdLabel, QLabel* passcodeLabel) {
    meetingIdLabel->setText(meetingId());
    passcodeLabel->setText(passcode());
}

// "Caption value" on one line, the caption in the value's own look.
inline QHBoxLayout* line(const QString& caption, QLabel* value) {
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    auto* label = new QLabel(caption, value->parentWidget());
    label->setStyleSheet(value->styleSheet());
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(label);
    row->addWidget(value);
    return row;
}

} // namespace PersonalMeetingDetails
