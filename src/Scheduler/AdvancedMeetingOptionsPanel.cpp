#include "AdvancedMeetingOptionsPanel.h"

#include "Menu/MenuStyle.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

// Kept on top: the popover it covers stays on top itself.
AdvancedMeetingOptionsPanel::AdvancedMeetingOptionsPanel(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("advancedMeetingOptionsPanel"));
    setWindowModality(Qt::WindowModal);
    setStyleSheet(QStringLiteral("AdvancedMeetingOptionsPanel { background: #ffffff; "
                                 "border: 1px solid #aab1bd; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(7);
    layout->addWidget(MenuStyle::titleLabel(tr("Advanced options"), this));
    m_publish = box(QStringLiteral("publishMeeting"), tr("List the meeting publicly"));
    m_encrypt = box(QStringLiteral("encryptMeeting"), tr("Encrypt the meeting"));
    auto* cells = new QHBoxLayout;
    cells->setContentsMargins(24, 0, 0, 0);
    m_pstn = new QRadioButton(tr("Also allow telephone"), this);
    m_pstn->setObjectName(QStringLiteral("allowTelephonePstn"));
    m_encryptedOnly = new QRadioButton(tr("Encrypted only"), this);
    m_encryptedOnly->setObjectName(QStringLiteral("allowTelephoneEncryptedOnly"));
    m_telephone = new QButtonGroup(this);
    m_telephone->addButton(m_pstn, 0);
    m_telephone->addButton(m_encryptedOnly, 1);
    cells->addWidget(m_pstn);
    cells->addWidget(m_encryptedOnly);
    cells->addStretch(1);
    layout->addLayout(cells);
    m_cropVideo = box(QStringLiteral("cropVideo"), tr("Crop video to fit"));
    m_moderatorLess =
        box(QStringLiteral("isModeratorLessMeeting"), tr("Start without a moderator"));
    m_autoRecord = box(QStringLiteral("enableAutoRecording"), tr("Record automatically"));
    m_disableChat = box(QStringLiteral("disableChatMessaging"), tr("Turn off chat"));
    m_mute = box(QStringLiteral("muteParticipantsOnEntry"), tr("Mute participants on entry"));
    m_large = box(QStringLiteral("isLargeMeeting"), tr("Large meeting"));
    m_showNames =
        box(QStringLiteral("showParticipantNames"), tr("Show all attendees in the invitation"));

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 10, 0, 0);
    m_cancel = MenuStyle::button(tr("Cancel"), QStringLiteral("cancelAdvancedMeetingOptions"),
                                 MenuStyle::secondaryButton(), this);
    m_save = MenuStyle::button(tr("Save"), QStringLiteral("saveAdvancedMeetingOptions"),
                               MenuStyle::primaryButton(), this);
    m_save->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QCheckBox* AdvancedMeetingOptionsPanel::box(const QString& name, const QString& title) {
    auto* check = new QCheckBox(title, this);
    check->setObjectName(name);
    layout()->addWidget(check);
    return check;
}

AdvancedMeetingOptions::States AdvancedMeetingOptionsPanel::states() const {
    AdvancedMeetingOptions::States s;
    s.publishMeeting = m_publish->isChecked();
    s.encrypt = m_encrypt->isChecked();
    s.telephoneColumn = s.encrypt ? m_telephone->checkedId() : -1;
    s.videoBestFit = m_cropVideo->isChecked();
    s.moderatorLess = m_moderatorLess->isChecked();
    s.autoRecord = m_autoRecord->isChecked();
    s.disallowChat = m_disableChat->isChecked();
    s.muteParticipantsOnEntry = m_mute->isChecked();
    s.isLargeMeeting = m_large->isChecked();
    s.showAllAttendeesInMeetingInvite = m_showNames->isChecked();
    return s;
}

void AdvancedMeetingOptionsPanel::setStates(const AdvancedMeetingOptions::States& s) {
    m_publish->setChecked(s.publishMeeting);
    m_encrypt->setChecked(s.encrypt);
    setTelephone(s.encrypt ? s.telephoneColumn : -1);
    m_pstn->setEnabled(s.encrypt);
    m_encryptedOnly->setEnabled(s.encrypt);
    m_cropVideo->setChecked(s.videoBestFit);
    m_moderatorLess->setChecked(s.moderatorLess);
    m_autoRecord->setChecked(s.autoRecord);
    m_disableChat->setChecked(s.disallowChat);
    m_mute->setChecked(s.muteParticipantsOnEntry);
    m_large->setChecked(s.isLargeMeeting);
    m_showNames->setChecked(s.showAllAttendeesInMeetingInvite);
}

void AdvancedMeetingOptionsPanel::toggleEncryptMeeting(int remembered) {
    const bool on = m_encrypt->isChecked();
    m_pstn->setEnabled(on);
    m_encryptedOnly->setEnabled(on);
    setTelephone(on ? (remembered == -1 ? 0 : remembered) : -1);
}

void AdvancedMeetingOptionsPanel::setTelephone(int column) {
    // An exclusive group cannot be emptied by unchecking its button.
    m_telephone->setExclusive(false);
    m_pstn->setChecked(column == 0);
    m_encryptedOnly->setChecked(column == 1);
    m_telephone->setExclusive(true);
}

void AdvancedMeetingOptionsPanel::beginSheet(QWidget* over) {
    adjustSize();
    const QRect frame = over->frameGeometry();
    move(frame.left() + (frame.width() - width()) / 2, frame.top() + 67);
    open();
    raise();
}
