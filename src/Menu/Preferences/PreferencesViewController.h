#pragma once

#include <QWidget>

class PreferencesView;
class QObject;
struct ServiceError;

// The preferences page of the menu: profile, room defaults and default calendar, update check,
// sign-out and quit, and the support functions (log upload, feedback mail, support page).
class PreferencesViewController : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesViewController(QWidget* parent = nullptr);
    ~PreferencesViewController() override;

    PreferencesView* view() const { return m_view; }

    void updateProfileDetails();
    void fetchRoomSettingDetails();
    void toggleEncryptMeeting();
    void updateDefaultSettings();
    void refreshAllUserSettings();
    void calenderBeingChanged();
    void checkForUpdates();
    void signOutButtonAction();
    void quitButtonAction();
    void uploadLogData();
    void uploadHelper(bool failed, const QString& reason);
    void provideFeedback();
    // Opens "mailto:?to=..&subject=..&body=.." in the mail program; false when none started.
    bool sendEmailTo(const QString& to, const QString& subject, const QString& body);
    void contactSupport();

    // The upload of the preferences page, shared by every page of the process (null when none).
    static QObject* runningUpload();

private:
    void connectActions();
    void tabChanged(int index);
    void showCalendar();
    void showReminderChoice();
    void reminderChoiceChanged();
    void showRoomDefaults();
    void writeRoomDefaults();
    void showTelephoneChoice(bool encrypted, int column);
    void fetchPicture();
    void showPlaceholderPicture();
    void showMessage(class QLabel* line, const QString& text);

    PreferencesView* m_view = nullptr;
};
