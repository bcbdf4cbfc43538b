#include "AttendMeetingViewController.h"

#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Analytics/AnalyticsController.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Menu/PersonalMeetingDetails.h"
#include "Models/TamberDataModel.h"
#include "Platform/UrlOpener.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Digit groups as people write and paste ids: "730 555 1001", "730-555-1001", with white space
// around the whole. No sign, no other character.
const QRegularExpression& digitGroups() {
    static const QRegularExpression re(
        QStringLiteral("\\A\\s*[0-9]+(?:(?: *- *| +)[0-9]+)*\\s*\\z"));
    return re;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(MenuStyle::fieldCaption());
    return label;
}

QLabel* errorLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setStyleSheet(MenuStyle::errorLabel());
    // Its line is kept while hidden, so the fields below stay where they are when it shows.
    label->setFixedHeight(AttendMeetingViewController::kErrorLabelHeight);
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->setVisible(false);
    return label;
}

} // namespace

AttendMeetingViewController::AttendMeetingViewController(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("attendMeetingViewController"));
    buildView();
    // A fresh form: join disabled, no error borders, both fields report their edits here.
    m_joinMeeting->setEnabled(false);
    m_meetingID->setState(false);
    m_passcode->setState(false);
    connect(m_meetingID, &QLineEdit::textChanged, this,
            [this] { controlTextDidChange(m_meetingID); });
    connect(m_passcode, &QLineEdit::textChanged, this,
            [this] { controlTextDidChange(m_passcode); });
}

AttendMeetingViewController::~AttendMeetingViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void AttendMeetingViewController::buildView() {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 0, 20, 14);
    page->setSpacing(0);

    page->addWidget(MenuStyle::titleLabel(tr("Join a meeting"), this));
    page->addSpacing(10);

    page->addWidget(caption(tr("Meeting ID"), this));
    page->addSpacing(4);
    m_meetingID = new CustomTextField(this);
    m_meetingID->setObjectName(QStringLiteral("meetingID"));
    m_meetingID->setPlaceholderText(tr("e.g. 730 555 1001"));
    page->addWidget(m_meetingID);
    page->addSpacing(4);
    m_invalidMeetingId = errorLabel(QStringLiteral("invalidMeetingIdLabel"),
                                    tr("Enter the meeting ID in digits only."), this);
    page->addWidget(m_invalidMeetingId);
    page->addSpacing(6);

    page->addWidget(caption(tr("Passcode (optional)"), this));
    page->addSpacing(4);
    m_passcode = new CustomTextField(this);
    m_passcode->setObjectName(QStringLiteral("passcode"));
    page->addWidget(m_passcode);
    page->addSpacing(4);
    m_invalidPasscode = errorLabel(QStringLiteral("invalidPasscodeLabel"),
                                   tr("The passcode is made of digits only."), this);
    page->addWidget(m_invalidPasscode);
    page->addSpacing(10);

    m_joinMeeting = MenuStyle::button(tr("Join Meeting"), QStringLiteral("joinMeeting"),
                                      MenuStyle::primaryButton(), this);
    m_joinMeeting->setDefault(true);
    page->addWidget(m_joinMeeting);
    page->addStretch(1);
    page->addWidget(buildPersonalMeetingBox());

    connect(m_joinMeeting, &QPushButton::clicked, this, &AttendMeetingViewController::joinMeeting);
    // Return in either field is the same as the join button (it checks the form again).
    for (CustomTextField* field : {m_meetingID, m_passcode}) {
        connect(field, &CustomTextField::action, this, [this] {
            if (m_joinMeeting->isEnabled())
                joinMeeting();
        });
    }
}

QWidget* AttendMeetingViewController::buildPersonalMeetingBox() {
    auto* box = new QFrame(this);
    box->setObjectName(QStringLiteral("personalMeetingBox"));
    box->setStyleSheet(QStringLiteral("#personalMeetingBox { background: #f4f6fa; border: 1px "
                                      "solid #e1e5ec; border-radius: 6px; }"
                                      "QLabel { background: transparent; }"));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(12, 8, 10, 8);
    auto* details = new QVBoxLayout;
    details->setSpacing(2);
    auto* heading = new QLabel(tr("Your personal meeting"), box);
    heading->setStyleSheet(QStringLiteral("color: #424242; font-size: 12px; font-weight: 600;"));
    m_instantMeetingID = new QLabel(box);
    m_instantMeetingID->setObjectName(QStringLiteral("instantMeetingID"));
    m_participantPasscode = new QLabel(box);
    m_participantPasscode->setObjectName(QStringLiteral("participantPasscode"));
    details->addWidget(heading);
    for (auto [caption, value] : {std::pair(tr("Meeting ID:"), m_instantMeetingID),
                                  std::pair(tr("Passcode:"), m_participantPasscode)}) {
        value->setStyleSheet(MenuStyle::fieldCaption());
        QHBoxLayout* line = PersonalMeetingDetails::line(caption, value);
        line->addStretch(1);
        details->addLayout(line);
    }
    row->addLayout(details, 1);
    m_startInstantMeeting = MenuStyle::button(tr("Start"), QStringLiteral("startInstantMeeting"),
                                              MenuStyle::secondaryButton(), box);
    row->addWidget(m_startInstantMeeting, 0, Qt::AlignVCenter);
    connect(m_startInstantMeeting, &QPushButton::clicked, this,
            &AttendMeetingViewController::startInstantMeeting);
    return box;
}

void AttendMeetingViewController::focusMeetingID() {
    updateInstantMeetingDetails();
    setMeetingIdErrorShown(false);
    setPasscodeErrorShown(false);
    m_meetingID->setFocus(Qt::OtherFocusReason);
}

bool AttendMeetingViewController::isDigitGroups(const QString& text) {
    return digitGroups().match(text).hasMatch();
}

QString AttendMeetingViewController::digitsOf(const QString& text) {
    if (!isDigitGroups(text))
        return {};
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    return digits;
}

QString AttendMeetingViewController::joinAddress(const QString& host, const QString& meetingId,
                                                 const QString& passcode) {
    return QStringLiteral("https://%1/%2/%3").arg(host, meetingId, passcode);
}

bool AttendMeetingViewController::validateTextField(CustomTextField* field,
                                                    bool validateEmptyString) {
    const QString text = field->text();
    const bool valid = text.isEmpty() ? !validateEmptyString : isDigitGroups(text);
    field->setState(!valid);
    return valid;
}

bool AttendMeetingViewController::isValidMeetingID(bool validateEmptyString) {
    const bool valid = validateTextField(m_meetingID, validateEmptyString);
    setMeetingIdErrorShown(!valid);
    updateJoinMeetingButtonBasedOnMeetingID(valid);
    return valid;
}

bool AttendMeetingViewController::isValidPasscode(bool validateEmptyString) {
    const bool valid = validateTextField(m_passcode, validateEmptyString);
    setPasscodeErrorShown(!valid);
    updateJoinMeetingButtonBasedOnMeetingID(valid);
    return valid;
}

void AttendMeetingViewController::updateJoinMeetingButtonBasedOnMeetingID(bool valid) {
    const QString id = m_meetingID->text();
    const QString passcode = m_passcode->text();
    m_joinMeeting->setEnabled(!id.isEmpty() && valid && isDigitGroups(id) &&
                              (passcode.isEmpty() || isDigitGroups(passcode)));
}

void AttendMeetingViewController::controlTextDidChange(CustomTextField* field) {
    // While typing an empty field is no error; the join button checks emptiness.
    if (field == m_meetingID)
        isValidMeetingID(false);
    else if (field == m_passcode)
        isValidPasscode(false);
}

void AttendMeetingViewController::joinMeeting() {
    if (!isValidMeetingID(true) || !isValidPasscode(false))
        return;
    // The digits validation accepted: "730 555 1001" and "730-555-1001" join 7305551001.
    const QString meetingId = digitsOf(m_meetingID->text());
    const QString passcode = digitsOf(m_passcode->text());
    // Reported only when the address really went to the browser.
    if (!UrlOpener::open(QUrl(joinAddress(TamberDataModel::VLRdomain(), meetingId, passcode))))
        return;
    AnalyticsController::sendJoinMeetingFromTab(
        meetingId, passcode.isEmpty() ? std::nullopt : std::optional<QString>(passcode));
}

void AttendMeetingViewController::updateInstantMeetingDetails() {
    PersonalMeetingDetails::fill(m_instantMeetingID, m_participantPasscode);
}

void AttendMeetingViewController::startInstantMeeting() {
    UrlOpener::open(QUrl(TamberDataModel::instantMeetingURL()));
    const QString passcode = m_participantPasscode->text();
    AnalyticsController::sendStartMeetingFromTab(
        m_instantMeetingID->text(),
        passcode.isEmpty() ? std::nullopt : std::optional<QString>(passcode));
}

void AttendMeetingViewController::setMeetingIdErrorShown(bool shown) {
    m_invalidMeetingIdHeight = shown ? kErrorLabelHeight : 0;
    m_spaceAboveInvalidMeetingId = shown ? kErrorLabelSpacing : 0;
    m_invalidMeetingId->setVisible(shown);
}

void AttendMeetingViewController::setPasscodeErrorShown(bool shown) {
    m_invalidPasscodeHeight = shown ? kErrorLabelHeight : 0;
    m_invalidPasscode->setVisible(shown);
}
