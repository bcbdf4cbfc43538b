#pragma once

#include "AdvancedMeetingOptions.h"

#include <QString>
#include <QStringList>

// What the scheduler form holds at one moment, read off its controls: the input of the request
// body and of the draft record.
struct SchedulerForm {
    QString title;            // as typed; may be empty
    QString titlePlaceholder; // "Ada's meeting": sent when the title is empty
    QString timeZone;         // the zone name of the selected item
    qint64 startMs = 0;       // instants
    qint64 endMs = 0;
    int repetition = 0;     // the repetition item: 0 none
    QString repetitionType; // the item's title upper-cased ("WEEKLY")
    int daysOfWeekMask = 0; // Sunday 1, Monday 2, ... Saturday 64
    QString attendeesText;  // the token field's text, parts separated by ","
    QStringList attendees;  // the addresses that passed the save checks
    QString notes;
    bool requirePasscode = false;
    AdvancedMeetingOptions::States options;
    int intermediatePublishMeeting = -1; // -1: the options were neither loaded nor saved

    static constexpr int kWeekly = 2;
};
