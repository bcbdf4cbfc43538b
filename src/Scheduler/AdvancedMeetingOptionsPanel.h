#pragma once

#include "AdvancedMeetingOptions.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;

// The sheet of advanced options: a panel over the scheduler popover, modal to it. Save and
// Cancel end it (accepted or rejected); the controller reads and sets the boxes.
class AdvancedMeetingOptionsPanel : public QDialog {
    Q_OBJECT
public:
    explicit AdvancedMeetingOptionsPanel(QWidget* parent);

    AdvancedMeetingOptions::States states() const;
    void setStates(const AdvancedMeetingOptions::States& states);

    // Opens over `over` (the popover), 67 pixels below its top edge.
    void beginSheet(QWidget* over);

    QCheckBox* encryptMeeting() const { return m_encrypt; }
    QRadioButton* telephoneCell(int column) const { return column == 0 ? m_pstn : m_encryptedOnly; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }

    // The encryption box's action: the telephone pair follows the box.
    void toggleEncryptMeeting(int remembered);

private:
    QCheckBox* box(const QString& name, const QString& title);
    void setTelephone(int column);

    QCheckBox* m_publish = nullptr;
    QCheckBox* m_encrypt = nullptr;
    QCheckBox* m_cropVideo = nullptr;
    QCheckBox* m_moderatorLess = nullptr;
    QCheckBox* m_autoRecord = nullptr;
    QCheckBox* m_disableChat = nullptr;
    QCheckBox* m_mute = nullptr;
    QCheckBox* m_large = nullptr;
    QCheckBox* m_showNames = nullptr;
    QRadioButton* m_pstn = nullptr;
    QRadioButton* m_encryptedOnly = nullptr;
    QButtonGroup* m_telephone = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};
