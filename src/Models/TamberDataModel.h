#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The one record of the signed-in account. Each field is absent (an invalid QVariant) or holds
// a scalar: a text, a number or a boolean, kept as the service or the store gave it. Use
// scalarOrAbsent() when copying values from replies or files: a null, list or map never lands
// in a field. Service calls are class operations of this class, split by area over several
// source files.
class TamberDataModel {
public:
    static TamberDataModel* sharedData();

    // --- Fields, in declaration order ---
    QVariant username;
    QVariant password;
    QVariant app_access_token;
    QVariant app_expires_in;
    QVariant access_token;
    QVariant expires_in;
    QVariant partitionId;
    QVariant partitionName;
    QVariant firstName;
    QVariant lastName;
    QVariant email;
    QVariant userId;
    QVariant apiHost;
    QVariant clientId;
    QVariant clientSecret;
    QVariant authenticationType;
    QVariant enterpriseId;
    QVariant idpURL;
    QVariant profilePicture;
    QVariant timezone;
    QVariant calendar;
    QVariant CID;
    QVariant SID;
    QVariantMap meetingDrafts;
    QVariant personalMeetingDescription;
    QVariant numericId;
    QVariant personalMeetingId;
    QVariant moderatorPasscode;
    QVariant addAttendeePasscode;
    QVariant participantPasscode;
    QVariant dataModelVersion;
    QVariant roomId;
    QVariant language;
    QVariant publishMeeting;
    QVariant encryptionType;
    QVariant videoBestFit;
    QVariant showAllParticipantsInIcs;
    QVariant isModeratorLess;
    QVariant disallowChat;
    QVariant muteParticipantsOnEntry;
    QVariant isLargeMeeting;

    // --- Persistence and identifiers ---
    static void saveDataToBundle();
    static void loadDataFromBundle();
    static QString applicationPlistPath();
    static std::optional<QString> serialNumber();
    static QString uuidString();
    // The keychain item of the account password (service = bundle id, account = app name).
    static QString keychainService();
    static QString keychainAccount();

    // --- Value helpers shared by every reader ---
    // True when the field holds a non-empty value ("present" for fields the UI shows).
    static bool isPresent(const QVariant& value);
    // The yes/no reading of a stored setting (boolean, number or text).
    static bool booleanReading(const QVariant& value);
    // A text, number or boolean is kept; null, list, map and invalid become absent.
    static QVariant scalarOrAbsent(const QVariant& value);
    // The field as text, "(null)" when absent: what address templates use.
    static QString textOrNull(const QVariant& value);

    // --- Test hooks ---
    // Puts the shared instance back to its creation defaults (a fresh process, as it were).
    static void resetForTesting();
    // Lets a test process use its own keychain item; an empty name restores the real one.
    static void setKeychainAccountForTesting(const QString& account);

private:
    TamberDataModel();
};
