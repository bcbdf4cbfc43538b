#pragma once

#include <QTabWidget>

class ProgressIndicator;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QToolButton;

// The widgets of the preferences page, laid out in three tabs (Profile, Settings, Support): the
// page's layout resource. Each widget carries its element name as object name; the controller
// holds the logic.
class PreferencesView : public QTabWidget {
    Q_OBJECT
public:
    explicit PreferencesView(QWidget* parent = nullptr);

    // Profile
    QLabel* profilePicture = nullptr;
    QLabel* name = nullptr;
    QLabel* email = nullptr;
    QLabel* meetingID = nullptr;
    QLabel* participantPasscode = nullptr;
    QLabel* moderatorPasscode = nullptr;
    QLabel* appVersion = nullptr;
    QComboBox* calender = nullptr;
    QComboBox* reminderLeadTime = nullptr;
    QLabel* reminderNote = nullptr; // why reminders are off, when no notification service runs
    QPushButton* refreshSettingsButton = nullptr;
    ProgressIndicator* refreshAggregatedUserSettingsIndicator = nullptr;
    QLabel* refreshMessage = nullptr;
    QPushButton* checkForUpdates = nullptr;
    QLabel* updateMessage = nullptr;
    QPushButton* downloadUpdate = nullptr;
    QPushButton* signOut = nullptr;
    QPushButton* quit = nullptr;

    // Settings
    QCheckBox* publishMeeting = nullptr;
    QCheckBox* cropVideo = nullptr;
    QCheckBox* moderatorLessMeeting = nullptr;
    QCheckBox* showParticipantNames = nullptr;
    QCheckBox* disableChatMessaging = nullptr;
    QCheckBox* muteParticipantsOnEntry = nullptr;
    QCheckBox* silentParticipationEntryMode = nullptr;
    QCheckBox* encryptMeeting = nullptr;
    QButtonGroup* allowTelephone = nullptr; // ids 0 and 1 are the two columns
    QPushButton* updateRoomSettingsButton = nullptr;
    ProgressIndicator* updateProgressIndicator = nullptr;
    ProgressIndicator* fetchRoomSettingsIndicator = nullptr;
    QToolButton* errorInRoomSettings = nullptr;
    QLabel* roomSettingsMessage = nullptr;

    // Support
    QPushButton* uploadLogData = nullptr;
    ProgressIndicator* uploadLogIndicator = nullptr;
    QLabel* uploadSuccessful = nullptr;
    QPushButton* giveUsFeedback = nullptr;
    QPushButton* contactSupport = nullptr;
    QLabel* supportMessage = nullptr;

    static constexpr int kPictureSide = 56;

private:
    QWidget* buildProfile();
    QWidget* buildSettings();
    QWidget* buildSupport();
};
