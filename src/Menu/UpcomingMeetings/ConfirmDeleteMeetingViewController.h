#pragma once

#include <QVariantMap>
#include <QWidget>

class ProgressIndicator;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

// The confirmation over a service meeting's Delete button: an optional message for the
// attendees, "Cancel Meeting" (or "Cancel Series" plus the next occurrence for a series) and a
// keep action. The request itself runs in a MeetingCancellation, which outlives this view; the
// view only shows its progress and outcome.
class ConfirmDeleteMeetingViewController : public QWidget {
    Q_OBJECT
public:
    explicit ConfirmDeleteMeetingViewController(const QVariantMap& meeting,
                                                QWidget* parent = nullptr);
    ~ConfirmDeleteMeetingViewController() override;

    const QVariantMap& meeting() const { return m_meeting; }

    void adjustViewForRecurringMeeting();
    void confirmCancelNextMeetingAction();
    void confirmCancelMeetingAction();
    void keepMeeting();

    QPlainTextEdit* cancellationMessage() const { return m_cancellationMessage; }
    QLabel* cancellationMessageWarning() const { return m_cancellationMessageWarning; }
    QLabel* cancellationFailure() const { return m_cancellationFailure; }
    QPushButton* cancelMeeting() const { return m_cancelMeeting; }
    QPushButton* cancelNextMeeting() const { return m_cancelNextMeeting; }
    ProgressIndicator* cancelMeetingProgressIndicator() const {
        return m_cancelMeetingProgressIndicator;
    }
    ProgressIndicator* cancelNextProgressIndicator() const { return m_cancelNextProgressIndicator; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildView();
    void buildMessageRows(QVBoxLayout* layout);
    void buildButtonRows(QVBoxLayout* layout);
    QWidget* buttonRow(QPushButton* button, ProgressIndicator* spinner);
    void cancel(bool nextIfRecurring, ProgressIndicator* spinner);
    void showFailure(const QString& text, ProgressIndicator* spinner);
    void setCancelButtonsEnabled(bool enabled);
    // Grows or shrinks the popup around a row that opened or closed, keeping its lower edge on
    // the Delete button.
    void refitPopup();

    QVariantMap m_meeting;
    QPlainTextEdit* m_cancellationMessage = nullptr;
    QLabel* m_cancellationMessageWarning = nullptr;
    QLabel* m_cancellationFailure = nullptr;
    QPushButton* m_cancelMeeting = nullptr;
    QPushButton* m_cancelNextMeeting = nullptr;
    QWidget* m_cancelNextRow = nullptr;
    ProgressIndicator* m_cancelMeetingProgressIndicator = nullptr;
    ProgressIndicator* m_cancelNextProgressIndicator = nullptr;
    QPushButton* m_keepMeeting = nullptr;
};
