#pragma once

#include "Platform/Keychain.h"
#include "ServiceCall.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <span>
#include <utility>

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
    QVariant calendarFeeds; // list of iCalendar feed addresses (the "ics_calendar" choice)
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
    // loadDataFromBundle() without the keychain read (a round trip to the secret service), for
    // what must not wait on it: the tray icon needs only the stored fields.
    static void loadStoredRecord();
    static QString applicationPlistPath();
    static std::optional<QString> serialNumber();
    static QString uuidString();
    // The keychain item of the account password (service = bundle id, account = app name).
    static QString keychainService();
    static QString keychainAccount();
    // A password the service accepted in a password grant (or one read from the keychain): only
    // such a password is written to the keychain, and only when it differs from the item's.
    static void passwordAccepted(const QVariant& password);
    // Deletes the keychain item (sign-out); the next accepted password is written afresh.
    static Keychain::Result deleteStoredPassword();

    // --- Value helpers shared by every reader ---
    // True when the field holds a non-empty value ("present" for fields the UI shows).
    static bool isPresent(const QVariant& value);
    // The yes/no reading of a stored setting (boolean, number or text).
    static bool booleanReading(const QVariant& value);
    // A field with its key; the seven boolean room defaults have the same keys in the store,
    // in the service's room record and in the room update.
    using KeyedField = std::pair<const char*, QVariant TamberDataModel::*>;
    static std::span<const KeyedField> roomSwitches();
    // A text, number or boolean is kept; null, list, map and invalid become absent.
    static QVariant scalarOrAbsent(const QVariant& value);
    // The field as text, "(null)" when absent: what address templates use.
    static QString textOrNull(const QVariant& value);

    // --- Test hooks ---
    // Puts the shared instance back to its creation defaults (a fresh process, as it were).
    static void resetForTesting();
    // Lets a test process use its own keychain item; an empty name restores the real one.
    static void setKeychainAccountForTesting(const QString& account);

    // --- User, room and personal meeting (TamberDataModelAccount.cpp) ---
    // Callbacks run on the main thread and may be empty. An error callback gets the transport
    // or service error (HTTP status >= 400), or nothing for an empty or unusable reply; such a
    // reply copies nothing into the record.
    static QString userRecordURL();
    static QString roomURL();
    static QString personalMeetingURL();
    static void
    fetchAggregatedUserDetails(std::function<void()> onSuccess,
                               std::function<void(const std::optional<ServiceError>&)> onError);
    static void
    fetchRoomSettingDetails(std::function<void()> onSuccess,
                            std::function<void(const std::optional<ServiceError>&)> onError);
    static void fetchPersonalMeetingDescription(
        std::function<void()> onSuccess,
        std::function<void(const std::optional<ServiceError>&)> onError);
    // Sends the room defaults and saves the record at once, before the reply.
    static void updateRoomSettings(std::function<void()> onSuccess,
                                   std::function<void(const std::optional<ServiceError>&)> onError);
    // The "email" texts of the contacts; an empty list whenever the call or the reply fails.
    static void fetchContacts(std::function<void(const QStringList& emails)> completion);

    // --- Service addresses (TamberDataModelUrls.cpp) ---
    // Hosts go in as they are; an absent value is written "(null)". Values placed in a query or
    // a path segment are percent-encoded for that place, so no value (typed text, a record
    // field, a token) can add a parameter or a path step. Numbers are written as integers when
    // they are whole (meeting times, ids).
    static QString VLRdomain();     // the web domain; a null text when apiHost is absent
    static QString oAuthTokenURL(); // restores the default apiHost (in memory) when it is empty
    static QString validateOAuthTokenURL();
    static QString signOutURL();
    static QString ssoAuthRequest();
    static QString meetinDescriptionURL();
    static QString upcomingMeetingsURL();
    static QString scheduleMeetingURL();
    static QString editScheduleMeetingURL(const QVariantMap& meeting);
    static QString deleteScheduledMeetingURL(const QVariantMap& meeting,
                                             const QString& cancellationMessage,
                                             bool nextIfRecurring);
    static QString fetchContactsURL();
    static QString signUpURL();
    static QString forgotURL();
    static QString personalMeetingLocation();
    static QString instantMeetingURL();
    static QString securityProfileURL(const QString& accountName);
    // Like the statistics host, these follow an API host that is not the default one: a private
    // deployment (or the simulator) serves logs and assets itself.
    static QString logUploadHost();
    static QString staticAssetsHost();
    // The log-upload endpoint for a file name at `timestamp` (seconds since 1970). The e-mail
    // value is empty when none is stored.
    static QString logUploadURL(const QString& fileName, quint32 timestamp);
    // `profilePicture` on the static-assets base, each of its path steps encoded.
    static QString profilePictureURL();
    static QString supportPageURL(); // on the vendor's web host
    // The configured update feed (empty when none), on the API host when that is not the
    // default one.
    static QString updateFeedURL();
    // A value as URL text: "(null)" when absent, whole numbers without exponent.
    static QString urlText(const QVariant& value);
    static QString queryValue(const QVariant& value);  // urlText, encoded as a query value
    static QString pathSegment(const QVariant& value); // urlText, encoded as one path segment
    // The cancellation message as a query value.
    static QString encodeCancellationMessage(const QString& message);

    // --- Tokens and account discovery (TamberDataModelAuth.cpp) ---
    // Callbacks run on the main thread. An error callback gets the transport error, or nothing
    // when the reply was empty or unusable.
    using TokenErrorCallback = std::function<void(const std::optional<ServiceError>&)>;
    // A new application token, then the account's security profile. Every callback must be
    // given.
    static void fetchSecurityProfileDetails(const QString& accountName,
                                            std::function<void()> onPassword,
                                            std::function<void()> onSSO, std::function<void()> onFB,
                                            TokenErrorCallback onError);
    // The password grant with the record's username and password.
    static void refreshAccessToken(std::function<void()> onSuccess, TokenErrorCallback onError);
    // Checks the user token; renews it silently for a password account. A SAML account, or a
    // failed renewal, is sent through sign-in by notification and no callback runs.
    // Either callback may be empty.
    static void validateTokenAndPerformAction(std::function<void()> onSuccess,
                                              TokenErrorCallback onError);
    // One client-credentials grant into app_access_token; `done` learns whether it succeeded.
    // A failure logs nothing: its callers (statistics, sign-on) drop their work silently.
    static void requestApplicationToken(std::function<void(bool obtained)> done);
    // A call opened by the application token: sent with the stored token (fetched first when
    // absent); refused with HTTP 401, the token is renewed once and the call sent once more.
    // `build` makes the request from the record at the moment of sending.
    static void sendWithApplicationToken(std::function<ServiceCall::Request()> build,
                                         ServiceCall::Completion done);
    // Revokes the user token at the service without waiting; onFailure on a transport error.
    static void revokeAccessToken(std::function<void()> onFailure);

private:
    TamberDataModel();
};
