#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The personal-meeting tab: the room's id and passcode, a button that starts the meeting in
// the browser, and copies of the invitation and the id.
class InstantMeetingViewController : public QWidget {
    Q_OBJECT
public:
    explicit InstantMeetingViewController(QWidget* parent = nullptr);
    ~InstantMeetingViewController() override;

    void updateInstantMeetingDetails();
    void startInstantMeeting();
    // The service's invitation text; the meeting id.
    void copyInvitation();
    void copyMeetingId();

    QLabel* meetingIdLabel() const { return m_meetingID; }
    QLabel* passcodeLabel() const { return m_participantPasscode; }
    QPushButton* startButton() const { return m_startInstantMeeting; }
    QLabel* copyConfirmation() const { return m_copyConfirmation; }

private:
    QPushButton* m_startInstantMeeting = nullptr;
    QLabel* m_meetingID = nullptr;
    QLabel* m_participantPasscode = nullptr;
    QLabel* m_copyConfirmation = nullptr;

    void confirmCopy(const QString& text);
};
