#include "PreferencesView.h"

#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "CalendarFeedListView.h"
#include "Menu/MenuStyle.h"
#include "Reminders/ReminderSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString valueStyle() {
    return QStringLiteral("color: #1d2330; font-size: 12px;");
}

QString tabStyle() {
    return QStringLiteral(R"(
QTabWidget::pane { border: none; border-top: 1px solid #dde1e7; }
QTabWidget::tab-bar { alignment: center; }
QTabBar::tab { padding: 5px 12px; color: #5f6670; background: transparent; border: none; }
QTabBar::tab:selected { color: #0c61fe; border-bottom: 2px solid #0c61fe; font-weight: 600; }
QCheckBox, QRadioButton { color: #1d2330; font-size: 12px; }
)");
}

QLabel* label(const QString& name, const QString& style, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setStyleSheet(style);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// A one-line message under a button: what went wrong, in the words of whoever said it.
QLabel* messageLine(const QString& name, QWidget* parent) {
    QLabel* l = label(name, MenuStyle::errorLabel(), parent);
    l->setWordWrap(true);
    l->setVisible(false);
    return l;
}

ProgressIndicator* spinner(const QString& name, QWidget* parent) {
    auto* s = new ProgressIndicator(parent);
    s->setObjectName(name);
    s->setVisible(false);
    return s;
}

QCheckBox* checkBox(const QString& text, const QString& name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

QWidget* page(QVBoxLayout** layout, QWidget* parent) {
    auto* w = new QWidget(parent);
    *layout = new QVBoxLayout(w);
    (*layout)->setContentsMargins(6, 10, 6, 6);
    (*layout)->setSpacing(6);
    return w;
}

} // namespace

PreferencesView::PreferencesView(QWidget* parent)
    : QTabWidget(parent) {
    setObjectName(QStringLiteral("preferencesTabs"));
    setDocumentMode(true);
    setStyleSheet(tabStyle());
    addTab(buildProfile(), tr("Profile"));
    addTab(buildSettings(), tr("Settings"));
    addTab(buildSupport(), tr("Support"));
    addTab(new CalendarFeedListView(CalendarFeeds::shared(), this), tr("Feeds"));
}

QWidget* PreferencesView::buildProfile() {
    QVBoxLayout* layout = nullptr;
    QWidget* tab = page(&layout, this);

    auto* who = new QHBoxLayout;
    profilePicture = label(QStringLiteral("profilePicture"), QString(), tab);
    profilePicture->setFixedSize(kPictureSide, kPictureSide);
    profilePicture->setAlignment(Qt::AlignCenter);
    auto* names = new QVBoxLayout;
    name = label(QStringLiteral("name"),
                 QStringLiteral("color: #1d2330; font-size: 14px; font-weight: 600;"), tab);
    email = label(QStringLiteral("email"), MenuStyle::fieldCaption(), tab);
    names->addStretch(1);
    names->addWidget(name);
    names->addWidget(email);
    names->addStretch(1);
    who->addWidget(profilePicture);
    who->addSpacing(8);
    who->addLayout(names, 1);
    layout->addLayout(who);

    auto* details = new QFormLayout;
    details->setHorizontalSpacing(12);
    details->setVerticalSpacing(3);
    const auto row = [&](const QString& caption, const QString& objectName) {
        QLabel* value = label(objectName, valueStyle(), tab);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* c = new QLabel(caption, tab);
        c->setStyleSheet(MenuStyle::fieldCaption());
        details->addRow(c, value);
        return value;
    };
    meetingID = row(tr("Meeting ID"), QStringLiteral("meetingID"));
    participantPasscode = row(tr("Participant passcode"), QStringLiteral("participantPasscode"));
    moderatorPasscode = row(tr("Moderator passcode"), QStringLiteral("moderatorPasscode"));
    appVersion = row(tr("Version"), QStringLiteral("appVersion"));
    calender = new QComboBox(tab);
    calender->setObjectName(QStringLiteral("calender"));
    calender->addItem(tr("Velora calendar"), 1);
#ifdef Q_OS_MACOS
    // Their readers and creators exist only there.
    calender->addItem(tr("Microsoft Outlook"), 2);
    calender->addItem(tr("Apple Calendar"), 3);
#endif
    calender->addItem(tr("Calendar feeds"), 4);
    auto* calendarCaption = new QLabel(tr("Default calendar"), tab);
    calendarCaption->setStyleSheet(MenuStyle::fieldCaption());
    details->addRow(calendarCaption, calender);
    reminderLeadTime = new QComboBox(tab);
    reminderLeadTime->setObjectName(QStringLiteral("reminderLeadTime"));
    for (int i = 0; i < ReminderSettings::choices().size(); ++i)
        reminderLeadTime->addItem(ReminderSettings::choices().at(i).label, i);
    auto* reminderCaption = new QLabel(tr("Meeting reminders"), tab);
    reminderCaption->setStyleSheet(MenuStyle::fieldCaption());
    details->addRow(reminderCaption, reminderLeadTime);
    reminderNote = messageLine(QStringLiteral("reminderNote"), tab);
    details->addRow(reminderNote);
    layout->addLayout(details);

    auto* refresh = new QHBoxLayout;
    refreshSettingsButton = MenuStyle::button(
        tr("Refresh"), QStringLiteral("refreshSettingsButton"), MenuStyle::secondaryButton(), tab);
    refreshAggregatedUserSettingsIndicator =
        spinner(QStringLiteral("refreshAggregatedUserSettingsIndicator"), tab);
    checkForUpdates = MenuStyle::button(tr("Check for updates"), QStringLiteral("checkForUpdates"),
                                        MenuStyle::secondaryButton(), tab);
    refresh->addWidget(refreshSettingsButton);
    refresh->addWidget(refreshAggregatedUserSettingsIndicator);
    refresh->addStretch(1);
    refresh->addWidget(checkForUpdates);
    layout->addLayout(refresh);
    refreshMessage = messageLine(QStringLiteral("refreshMessage"), tab);
    layout->addWidget(refreshMessage);

    auto* update = new QHBoxLayout;
    updateMessage = label(QStringLiteral("updateMessage"), MenuStyle::fieldCaption(), tab);
    updateMessage->setWordWrap(true);
    downloadUpdate = MenuStyle::button(tr("Download"), QStringLiteral("downloadUpdate"),
                                       MenuStyle::primaryButton(), tab);
    downloadUpdate->setVisible(false);
    update->addWidget(updateMessage, 1);
    update->addWidget(downloadUpdate);
    layout->addLayout(update);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    signOut = MenuStyle::button(tr("Sign out"), QStringLiteral("signOutButton"),
                                MenuStyle::secondaryButton(), tab);
    quit = MenuStyle::button(tr("Quit"), QStringLiteral("quitButton"), MenuStyle::secondaryButton(),
                             tab);
    buttons->addWidget(signOut);
    buttons->addStretch(1);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    return tab;
}

QWidget* PreferencesView::buildSettings() {
    QVBoxLayout* layout = nullptr;
    QWidget* tab = page(&layout, this);
    layout->setSpacing(5);
    publishMeeting = checkBox(tr("Publish meetings"), QStringLiteral("publishMeeting"), tab);
    cropVideo = checkBox(tr("Crop video to fit"), QStringLiteral("cropVideo"), tab);
    moderatorLessMeeting =
        checkBox(tr("Start without a moderator"), QStringLiteral("moderatorLessMeeting"), tab);
    showParticipantNames = checkBox(tr("Show all participants in invitations"),
                                    QStringLiteral("showParticipantNames"), tab);
    disableChatMessaging =
        checkBox(tr("Disable chat messages"), QStringLiteral("disableChatMessaging"), tab);
    muteParticipantsOnEntry =
        checkBox(tr("Mute participants on entry"), QStringLiteral("muteParticipantsOnEntry"), tab);
    silentParticipationEntryMode = checkBox(tr("Large meeting: enter silently"),
                                            QStringLiteral("silentParticipationEntryMode"), tab);
    encryptMeeting = checkBox(tr("Encrypt meetings"), QStringLiteral("encryptMeeting"), tab);
    for (QCheckBox* box : {publishMeeting, cropVideo, moderatorLessMeeting, showParticipantNames,
                           disableChatMessaging, muteParticipantsOnEntry,
                           silentParticipationEntryMode, encryptMeeting})
        layout->addWidget(box);

    allowTelephone = new QButtonGroup(tab);
    allowTelephone->setObjectName(QStringLiteral("allowTelephone"));
    auto* telephone = new QVBoxLayout;
    telephone->setContentsMargins(22, 0, 0, 0);
    const QStringList columns{tr("Allow telephone callers"), tr("Encrypted callers only")};
    for (int column = 0; column < columns.size(); ++column) {
        auto* radio = new QRadioButton(columns[column], tab);
        radio->setObjectName(QStringLiteral("allowTelephone%1").arg(column));
        allowTelephone->addButton(radio, column);
        telephone->addWidget(radio);
    }
    layout->addLayout(telephone);
    layout->addStretch(1);

    auto* update = new QHBoxLayout;
    updateRoomSettingsButton = MenuStyle::button(
        tr("Update"), QStringLiteral("updateRoomSettingsButton"), MenuStyle::primaryButton(), tab);
    updateProgressIndicator = spinner(QStringLiteral("updateProgressIndicator"), tab);
    fetchRoomSettingsIndicator = spinner(QStringLiteral("fetchRoomSettingsIndicator"), tab);
    errorInRoomSettings = new QToolButton(tab);
    errorInRoomSettings->setObjectName(QStringLiteral("errorInRoomSettings"));
    errorInRoomSettings->setIcon(MenuStyle::image(QStringLiteral("cautionIcon")));
    errorInRoomSettings->setAutoRaise(true);
    errorInRoomSettings->setStyleSheet(QStringLiteral("border: none;"));
    errorInRoomSettings->setVisible(false);
    update->addWidget(fetchRoomSettingsIndicator);
    update->addWidget(errorInRoomSettings);
    update->addStretch(1);
    update->addWidget(updateProgressIndicator);
    update->addWidget(updateRoomSettingsButton);
    layout->addLayout(update);
    roomSettingsMessage = messageLine(QStringLiteral("roomSettingsMessage"), tab);
    layout->addWidget(roomSettingsMessage);
    return tab;
}

QWidget* PreferencesView::buildSupport() {
    QVBoxLayout* layout = nullptr;
    QWidget* tab = page(&layout, this);
    auto* intro = new QLabel(
        tr("Having trouble? Send your log file to support, or tell us what you think."), tab);
    intro->setWordWrap(true);
    intro->setStyleSheet(MenuStyle::fieldCaption());
    layout->addWidget(intro);
    layout->addSpacing(6);

    auto* upload = new QHBoxLayout;
    uploadLogData = MenuStyle::button(tr("Upload logs"), QStringLiteral("uploadLogData"),
                                      MenuStyle::secondaryButton(), tab);
    uploadLogIndicator = spinner(QStringLiteral("uploadLogIndicator"), tab);
    uploadSuccessful = label(QStringLiteral("uploadSuccessful"), QString(), tab);
    uploadSuccessful->setVisible(false);
    upload->addWidget(uploadLogData);
    upload->addWidget(uploadLogIndicator);
    upload->addWidget(uploadSuccessful);
    upload->addStretch(1);
    layout->addLayout(upload);

    giveUsFeedback = MenuStyle::button(tr("Send feedback"), QStringLiteral("giveUsFeedback"),
                                       MenuStyle::secondaryButton(), tab);
    contactSupport = MenuStyle::button(tr("Contact support"), QStringLiteral("contactSupport"),
                                       MenuStyle::secondaryButton(), tab);
    for (QPushButton* button : {giveUsFeedback, contactSupport}) {
        auto* row = new QHBoxLayout;
        row->addWidget(button);
        row->addStretch(1);
        layout->addLayout(row);
    }
    supportMessage = messageLine(QStringLiteral("supportMessage"), tab);
    layout->addWidget(supportMessage);
    layout->addStretch(1);
    return tab;
}
