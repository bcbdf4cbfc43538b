#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The personal-meeting tab: the room's id and passcode and a button that starts the meeting in
// the browser.
class InstantMeetingViewController : public QWidget {
    Q_OBJECT
public:
    explicit InstantMeetingViewController(QWidget* parent = nullptr);
    ~InstantMeetingViewController() override;

    void updateInstantMeetingDetails();
    void startInstantMeeting();

    QLabel* meetingIdLabel() const { return m_meetingID; }
    QLabel* passcodeLabel() const { return m_participantPasscode; }
    QPushButton* startButton() const { return m_startInstantMeeting; }

private:
    QPushButton* m_startInstantMeeting = nullptr;
    QLabel* m_meetingID = nullptr;
    QLabel* m_participantPasscode = nullptr;
};
