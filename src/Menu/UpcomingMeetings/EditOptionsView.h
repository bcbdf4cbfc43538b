#pragma once

#include "ConfirmDeleteDraftViewController.h"
#include "ConfirmDeleteMeetingViewController.h"

#include <QFrame>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

class QLabel;
class QPushButton;

// The options strip of a service meeting or draft row: Join and Copy (not for drafts), Edit,
// Delete.
// Edit and Delete never open anything themselves: Edit posts "EDIT_MEETING_POPOVERREQUESTED"
// with the record, Delete shows the meeting's or the draft's confirmation in a small transient
// popup over the Delete button. "CLOSE_DELETE_MEETING" closes that popup.
class EditOptionsView : public QWidget {
    Q_OBJECT
public:
    explicit EditOptionsView(const QVariantMap& meeting, QWidget* parent = nullptr);
    ~EditOptionsView() override;

    // The strip covers the right end of its row, above the row's separator: one 40-pixel slot
    // per button (Delete, Edit, and Join for a meeting) plus a margin.
    static constexpr int kButtonSlot = 40;
    static constexpr int kMargin = 4;
    static constexpr int kHeight = 49;
    static int stripWidth(bool draft) { return (draft ? 2 : 4) * kButtonSlot + 2 * kMargin; }

    const QVariantMap& meeting() const { return m_meeting; }
    bool isDraft() const;

    QPushButton* joinMeetingButton() const { return m_joinMeeting; }
    QPushButton* editMeetingButton() const { return m_editMeeting; }
    QPushButton* deleteMeetingButton() const { return m_deleteMeeting; }
    // Copy invitation / Copy meeting id (not for drafts) and the confirmation they show.
    QPushButton* copyButton() const { return m_copy; }
    QLabel* copyConfirmation() const { return m_copyConfirmation; }
    void copyInvitationAction();
    void copyMeetingIdAction();
    QWidget* confirmDeletePopover() const { return m_confirmDeletePopover; }
    ConfirmDeleteMeetingViewController* confirmDeleteViewController() const {
        return m_confirmDeleteViewController;
    }
    ConfirmDeleteDraftViewController* confirmDeleteDraftViewController() const {
        return m_confirmDeleteDraftViewController;
    }

    void joinMeetingAction();
    void editMeetingAction();
    void deleteMeetingAction();
    void deleteDraftAction();
    void closeCancelMeeting();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPushButton* makeButton(const QString& name, int x, const QString& toolTip,
                            const QString& image);
    void openConfirmation();
    void confirmCopy(const QString& text);

    QVariantMap m_meeting;
    QPushButton* m_joinMeeting = nullptr;
    QPushButton* m_editMeeting = nullptr;
    QPushButton* m_deleteMeeting = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_copyConfirmation = nullptr;
    QPointer<QFrame> m_confirmDeletePopover;
    QPointer<ConfirmDeleteMeetingViewController> m_confirmDeleteViewController;
    QPointer<ConfirmDeleteDraftViewController> m_confirmDeleteDraftViewController;
};
