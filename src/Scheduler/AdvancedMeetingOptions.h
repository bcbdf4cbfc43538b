#pragma once

#include <QString>
#include <QVariantMap>

class TamberDataModel;

// The advanced options of one form: the ten values as last loaded or saved (-1: unset, then
// the account default counts), and the check-box states they stand for.
class AdvancedMeetingOptions {
public:
    // What the sheet's check boxes show.
    struct States {
        bool publishMeeting = false;
        bool encrypt = false;
        int telephoneColumn = -1; // 0 encrypted or telephone, 1 encrypted only; -1 none
        bool videoBestFit = false;
        bool moderatorLess = false;
        bool autoRecord = false;
        bool disallowChat = false;
        bool muteParticipantsOnEntry = false;
        bool isLargeMeeting = false;
        bool showAllAttendeesInMeetingInvite = false;

        // "NO_ENCRYPTION", "ENCRYPTED_OR_PSTN_ONLY" (column 0) or "ENCRYPTED_ONLY".
        QString encryptionType() const;
        // The options of a request; the large-meeting flag goes at the top level instead.
        QVariantMap requestOptions(int publishMeeting) const;
        // The options a draft keeps: every value as a boolean, with the large-meeting flag.
        QVariantMap draftOptions() const;
        // The boxes as a record's options say; keys the options lack leave their box as it is.
        void applyRecordOptions(const QVariantMap& options);

        bool operator==(const States&) const = default;
    };

    // "NO_ENCRYPTION" gives off; "ENCRYPTED_OR_PSTN_ONLY" on with column 0; anything else on
    // with column 1.
    static void readEncryption(const QString& type, bool* encrypt, int* column);

    int publishMeeting = -1;
    int encryptionType = -1;
    int allowTelephone = -1;
    int videoBestFit = -1;
    int showAllParticipantsInIcs = -1;
    int isModeratorLess = -1;
    int enableAutoRecording = -1;
    int disallowChat = -1;
    int muteParticipantsOnEntry = -1;
    int isLargeMeeting = -1;

    void reset() { *this = AdvancedMeetingOptions(); }
    bool isUnset() const { return publishMeeting == -1; }

    // The values a scheduled meeting carries in "advancedMeetingOptions"; the large-meeting
    // flag from the record's top level, or from the options when the top level lacks it.
    static AdvancedMeetingOptions fromMeeting(const QVariantMap& meeting);
    // The values the sheet's boxes hold (the telephone column only while encryption is on).
    static AdvancedMeetingOptions fromStates(const States& states);
    // Each box from its value, or from the account's default when the value is unset.
    States states(const TamberDataModel& account) const;
};
