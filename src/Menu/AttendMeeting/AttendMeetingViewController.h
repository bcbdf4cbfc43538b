#pragma once

#include <QString>
#include <QWidget>

class CustomTextField;
class QLabel;
class QPushButton;

// The join tab: a meeting id and an optional passcode, checked as the user types, and the
// personal meeting with its own start button underneath.
class AttendMeetingViewController : public QWidget {
    Q_OBJECT
public:
    explicit AttendMeetingViewController(QWidget* parent = nullptr);
    ~AttendMeetingViewController() override;

    // Heights of the collapsible error labels and the space above the id error.
    static constexpr int kErrorLabelHeight = 13;
    static constexpr int kErrorLabelSpacing = 10;

    // The page as it appears when the tab is chosen: personal meeting filled in, errors
    // collapsed, keyboard focus in the id field.
    void focusMeetingID();

    // Checks one field: empty text passes unless validateEmptyString; any other text must be
    // digit groups. Sets the field's error state and returns the result.
    bool validateTextField(CustomTextField* field, bool validateEmptyString);
    bool isValidMeetingID(bool validateEmptyString);
    bool isValidPasscode(bool validateEmptyString);
    void updateJoinMeetingButtonBasedOnMeetingID(bool valid);

    void joinMeeting();
    void updateInstantMeetingDetails();
    void startInstantMeeting();

    // Groups of decimal digits separated by spaces or dashes, with white space around; no sign.
    static bool isDigitGroups(const QString& text);
    // The digits of a text that isDigitGroups accepts (separators dropped); empty otherwise.
    static QString digitsOf(const QString& text);
    // "https://<host>/<id>/<passcode>" with the given digits; the passcode may be empty.
    static QString joinAddress(const QString& host, const QString& meetingId,
                               const QString& passcode);

    CustomTextField* meetingIdField() const { return m_meetingID; }
    CustomTextField* passcodeField() const { return m_passcode; }
    QPushButton* joinMeetingButton() const { return m_joinMeeting; }
    QLabel* invalidMeetingIdLabel() const { return m_invalidMeetingId; }
    QLabel* invalidPasscodeLabel() const { return m_invalidPasscode; }
    int invalidMeetingIdHeight() const { return m_invalidMeetingIdHeight; }
    int invalidPasscodeHeight() const { return m_invalidPasscodeHeight; }
    int spaceAboveInvalidMeetingId() const { return m_spaceAboveInvalidMeetingId; }

private:
    void buildView();
    QWidget* buildPersonalMeetingBox();
    void controlTextDidChange(CustomTextField* field);
    void setMeetingIdErrorShown(bool shown);
    void setPasscodeErrorShown(bool shown);

    CustomTextField* m_meetingID = nullptr;
    CustomTextField* m_passcode = nullptr;
    QPushButton* m_joinMeeting = nullptr;
    QPushButton* m_startInstantMeeting = nullptr;
    QLabel* m_instantMeetingID = nullptr;
    QLabel* m_participantPasscode = nullptr;
    QLabel* m_invalidMeetingId = nullptr;
    QLabel* m_invalidPasscode = nullptr;
    int m_invalidMeetingIdHeight = 0;
    int m_invalidPasscodeHeight = 0;
    int m_spaceAboveInvalidMeetingId = 0;
};
