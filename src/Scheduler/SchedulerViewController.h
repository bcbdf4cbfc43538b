#pragma once

#include "AbstractTamberWindowController/AbstractTamberViewController.h"
#include "AdvancedMeetingOptions.h"
#include "SchedulerForm.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

class AdvancedMeetingOptionsPanel;
class CustomTextField;
class CustomTokenField;
class DayOfWeekPopover;
class OverlayView;
class ProgressIndicator;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
struct ServiceError;
struct ServiceReply;

// The scheduler form: a new meeting, a change to a scheduled one, or a resumed draft. It checks
// and sends the meeting, and keeps an unsent form as a draft when its popover closes.
class SchedulerViewController : public AbstractTamberViewController {
    Q_OBJECT
public:
    explicit SchedulerViewController(QWidget* parent = nullptr);
    ~SchedulerViewController() override;

    const QVariantMap& meeting() const { return m_meeting; }
    void setMeeting(const QVariantMap& meeting) { m_meeting = meeting; }
    // Fills the form from the meeting (none: a new meeting), at every show.
    void updateSchedulingUI();

    void focusPopover() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Ends the advanced-options sheet if it is open, without saving or cancelling it.
    void closeAdvancedMeetingOptionsPanel();
    void closeDayOfWeekPopover();
    // The popover is closing: keeps the unsent form as a draft, or drops a resumed draft that
    // was saved to the service.
    void saveDraftIfRequired();

    // The form as it stands; the attendees that passed the save checks are filled by the save.
    SchedulerForm form() const;
    // A change of a scheduled meeting (it has an "id" and a "numericMeetingId").
    bool isChange() const;

    // Actions of the controls.
    void timeZoneBeingChanged();
    void startDateModified();
    void endDateModified();
    void repeatPatternAction();
    void showDayOfWeekRepeat();
    void showAdvancedMeetingOptions();
    void scheduleButtonAction();
    void cancelScheduling();

    bool saveDraft() const { return m_saveDraft; }
    bool saveDraftAMO() const { return m_saveDraftAMO; }
    bool cancelEditDraft() const { return m_cancelEditDraft; }
    const QString& meetingDraftGuid() const { return m_meetingDraftGuid; }
    const AdvancedMeetingOptions& intermediateOptions() const { return m_options; }
    AdvancedMeetingOptionsPanel* advancedMeetingOptionsPanel() const { return m_panel; }
    DayOfWeekPopover* dayOfWeekPopover() const { return m_dayOfWeekPopover; }
    CustomTokenField* invitees() const { return m_invitees; }

    // The clock of the default times; tests set a fixed one (empty: the real clock).
    static void setClockForTesting(std::function<QDateTime()> clock);

private:
    struct PendingSave;

    void buildForm();
    QWidget* buildTimes();
    QWidget* buildRepetition();
    QWidget* buildFooter();
    void wireActions();

    QTimeZone selectedZone() const;
    void selectZone(const QString& name);
    void updateTimesAsPerTimeZone();
    void updateTimesAsPerMeeting();
    void updateSchedulingUIAsPerMeeting();
    void updateRepetitionAsPerMeeting();
    void updateAdvancedMeetingOptionsPanel();
    void updateDayOfWeekButton();
    void updateTimeNotices();
    QDateTime defaultStartWall() const;
    bool hasMeetingKey(const QString& key) const;

    void openAdvancedMeetingOptionsSheet();
    void saveAdvancedMeetingOptions();
    void cancelAdvancedMeetingOptions();
    void didEndSheet();
    void setSheetButtonsEnabled(bool enabled);
    bool isSaving() const;

    void showError(QLabel* label, const QString& text);
    void hideError(QLabel* label);
    void makeFieldsEditable(bool editable);
    void setSaving(bool saving);
    bool notesEditAllowed(int removed, const QString& inserted) const;

    void sendMeeting();
    void tokenCheckFailed(const std::optional<ServiceError>& error);
    void handleAnswer(const ServiceReply& reply);
    void sendUsageEvent(const QString& status) const;

    QVariantMap m_meeting;
    QString m_meetingDraftGuid;
    QStringList m_myContacts;
    bool m_saveDraft = true;
    bool m_saveDraftAMO = false;
    bool m_cancelEditDraft = false;
    bool m_closed = false;
    AdvancedMeetingOptions m_options;
    SchedulerForm m_pendingForm;
    std::shared_ptr<PendingSave> m_pending;

    QLabel* m_heading = nullptr;
    CustomTextField* m_title = nullptr;
    QLabel* m_titleError = nullptr;
    QComboBox* m_timeZone = nullptr;
    QDateTimeEdit* m_startDate = nullptr;
    QDateTimeEdit* m_endDate = nullptr;
    QLabel* m_startError = nullptr;
    QLabel* m_endError = nullptr;
    QComboBox* m_recurringOption = nullptr;
    QPushButton* m_dayOfWeekButton = nullptr;
    DayOfWeekPopover* m_dayOfWeekPopover = nullptr;
    CustomTokenField* m_invitees = nullptr;
    QLabel* m_emailError = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QLabel* m_memoError = nullptr;
    QCheckBox* m_requirePasscode = nullptr;
    QLabel* m_participantPasscode = nullptr;
    QPushButton* m_advancedButton = nullptr;
    ProgressIndicator* m_advancedIndicator = nullptr;
    QLabel* m_advancedError = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_scheduleButton = nullptr;
    ProgressIndicator* m_savingIndicator = nullptr;
    QLabel* m_saveError = nullptr;
    OverlayView* m_overlay = nullptr;
    AdvancedMeetingOptionsPanel* m_panel = nullptr;
};
