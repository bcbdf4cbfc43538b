#include "SchedulerViewController.h"

#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AdvancedMeetingOptionsPanel.h"
#include "Analytics/AnalyticsController.h"
#include "CustomTokenField.h"
#include "DayOfWeekPopover.h"
#include "Logging/Log.h"
#include "MeetingRequestBuilder.h"
#include "Menu/MenuStyle.h"
#include "Models/MeetingDraftStore.h"
#include "Models/MeetingRecord.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "OverlayView.h"
#include "Platform/BundleInfo.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "SchedulerTimes.h"
#include "SchedulerValidation.h"
#include "TimeZoneItems.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString kPickerFormat = QStringLiteral("ddd d MMM yyyy   HH:mm");
constexpr int kFormWidth = 420;

std::function<QDateTime()>& testClock() {
    static std::function<QDateTime()> now;
    return now;
}

QDateTime now() {
    return testClock() ? testClock()() : QDateTime::currentDateTimeUtc();
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(MenuStyle::fieldCaption());
    return label;
}

QString pickerStyle() {
    return QStringLiteral("QDateTimeEdit, QComboBox { border: 1px solid #c5cad3; border-radius: "
                          "5px; padding: 4px 6px; background: #ffffff; color: #1d2330; }"
                          "QDateTimeEdit:focus, QComboBox:focus { border-color: #0c61fe; }");
}

} // namespace

// A save in flight. It outlives the form: an answer that arrives after the popover closed still
// sends its usage event and drops the draft the closing kept of a meeting the service created.
struct SchedulerViewController::PendingSave {
    bool change = false;
    QVariant meetingId;
    bool formClosed = false;
    QString capturedDraftGuid;
};

SchedulerViewController::SchedulerViewController(QWidget* parent)
    : AbstractTamberViewController(parent) {
    setObjectName(QStringLiteral("schedulerViewController"));
    buildForm();
    wireActions();
    const QVariant firstName = TamberDataModel::sharedData()->firstName;
    m_title->setPlaceholderText(TamberDataModel::isPresent(firstName)
                                    ? QStringLiteral("%1's meeting").arg(firstName.toString())
                                    : QStringLiteral("My meeting"));
    QPointer<SchedulerViewController> self(this);
    TamberDataModel::fetchContacts([self](const QStringList& emails) {
        if (self) {
            self->m_myContacts = emails;
            self->m_invitees->setContacts(emails);
        }
    });
    m_cancelEditDraft = false;
    // Loaded: the form is kept as a draft unless it is cancelled or saved.
    m_saveDraft = true;
    m_options.reset();
    m_title->setMaxLength(100);
}

SchedulerViewController::~SchedulerViewController() {
    logDealloc();
}

void SchedulerViewController::setClockForTesting(std::function<QDateTime()> clockFunction) {
    testClock() = std::move(clockFunction);
}

// --- Building ---

void SchedulerViewController::buildForm() {
    setFixedWidth(kFormWidth);
    setStyleSheet(pickerStyle());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(6);

    m_heading = MenuStyle::titleLabel(QString(), this);
    m_heading->setObjectName(QStringLiteral("schedulerHeading"));
    layout->addWidget(m_heading);

    m_title = new CustomTextField(this);
    m_title->setObjectName(QStringLiteral("meetingTitleField"));
    m_title->setTag(1);
    m_title->setState(false);
    m_titleError = MenuStyle::errorLine(QStringLiteral("titleError"), this);
    layout->addWidget(caption(tr("Title"), this));
    layout->addWidget(m_title);
    layout->addWidget(m_titleError);

    m_timeZone = new QComboBox(this);
    m_timeZone->setObjectName(QStringLiteral("timeZone"));
    m_timeZone->setMaxVisibleItems(20);
    m_timeZone->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_timeZone->setMinimumContentsLength(20);
    for (const TimeZoneItems::Item& item : TimeZoneItems::shared()) {
        m_timeZone->addItem(item.title, item.offsetSeconds);
    }
    selectZone(QString::fromLatin1(QTimeZone::systemTimeZoneId()));
    layout->addWidget(caption(tr("Time zone"), this));
    layout->addWidget(m_timeZone);

    layout->addWidget(buildTimes());
    layout->addWidget(buildRepetition());

    m_invitees = new CustomTokenField(this);
    m_invitees->setObjectName(QStringLiteral("invitees"));
    m_emailError = MenuStyle::errorLine(QStringLiteral("errorWithEmailAddressesMessage"), this);
    layout->addWidget(caption(tr("Attendees"), this));
    layout->addWidget(m_invitees);
    layout->addWidget(m_emailError);

    m_notes = new QPlainTextEdit(this);
    m_notes->setObjectName(QStringLiteral("customMeetingDescription"));
    m_notes->setPlaceholderText(tr("Notes for the attendees"));
    m_notes->setFixedHeight(76);
    m_notes->setTabChangesFocus(true);
    m_notes->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { border: 1px solid #c5cad3; border-radius: 5px; background: #ffffff; }"
        "QPlainTextEdit:focus { border-color: #0c61fe; }"));
    m_notes->installEventFilter(this);
    m_memoError = MenuStyle::errorLine(QStringLiteral("memoError"), this);
    layout->addWidget(caption(tr("Notes"), this));
    layout->addWidget(m_notes);
    layout->addWidget(m_memoError);

    auto* passcodeRow = new QHBoxLayout;
    m_requirePasscode = new QCheckBox(tr("Attendees need the passcode"), this);
    m_requirePasscode->setObjectName(QStringLiteral("requireParticipantPasscode"));
    m_participantPasscode = new QLabel(this);
    m_participantPasscode->setObjectName(QStringLiteral("participantPasscode"));
    m_participantPasscode->setStyleSheet(MenuStyle::fieldCaption());
    passcodeRow->addWidget(m_requirePasscode);
    passcodeRow->addStretch(1);
    passcodeRow->addWidget(m_participantPasscode);
    layout->addSpacing(4);
    layout->addLayout(passcodeRow);

    layout->addWidget(buildFooter());

    m_overlay = new OverlayView(this);
    // On the overlay, so it shows undimmed in the middle of the covered form.
    m_savingIndicator = new ProgressIndicator(m_overlay);
    m_savingIndicator->setObjectName(QStringLiteral("schedulingInProgressIndicator"));
    m_savingIndicator->setFixedSize(36, 36);
    QPalette light = m_savingIndicator->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    m_savingIndicator->setPalette(light);
    m_savingIndicator->hide();
    m_panel = new AdvancedMeetingOptionsPanel(this);
    m_dayOfWeekPopover = new DayOfWeekPopover(this);
}

QWidget* SchedulerViewController::buildTimes() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    auto picker = [box](const QString& name) {
        auto* edit = new QDateTimeEdit(box);
        edit->setObjectName(name);
        // A bare wall clock of the selected zone: no local-time gaps or shifts.
        edit->setTimeSpec(Qt::UTC);
        edit->setDisplayFormat(kPickerFormat);
        edit->setCalendarPopup(true);
        edit->setKeyboardTracking(false);
        return edit;
    };
    m_startDate = picker(QStringLiteral("startDate"));
    m_endDate = picker(QStringLiteral("endDate"));
    m_startError = MenuStyle::errorLine(QStringLiteral("startDateError"), this);
    m_endError = MenuStyle::errorLine(QStringLiteral("endDateError"), this);
    m_startError->setParent(box);
    m_endError->setParent(box);
    grid->addWidget(caption(tr("Starts"), box), 0, 0);
    grid->addWidget(caption(tr("Ends"), box), 0, 1);
    grid->addWidget(m_startDate, 1, 0);
    grid->addWidget(m_endDate, 1, 1);
    grid->addWidget(m_startError, 2, 0, 1, 2);
    grid->addWidget(m_endError, 3, 0, 1, 2);
    return box;
}

QWidget* SchedulerViewController::buildRepetition() {
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 4, 0, 0);
    m_recurringOption = new QComboBox(box);
    m_recurringOption->setObjectName(QStringLiteral("recurringOption"));
    m_recurringOption->addItems(
        {tr("Does not repeat"), QStringLiteral("Daily"), QStringLiteral("Weekly")});
    m_dayOfWeekButton = MenuStyle::button(QString(), QStringLiteral("dayOfWeekButton"),
                                          MenuStyle::secondaryButton(), box);
    m_dayOfWeekButton->hide();
    row->addWidget(caption(tr("Repeats"), box));
    row->addWidget(m_recurringOption, 1);
    row->addWidget(m_dayOfWeekButton, 1);
    return box;
}

QWidget* SchedulerViewController::buildFooter() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(6);

    auto* advancedRow = new QHBoxLayout;
    m_advancedButton = new QPushButton(tr("Advanced options\u2026"), box);
    m_advancedButton->setObjectName(QStringLiteral("advancedMeetingOptionsButton"));
    m_advancedButton->setFlat(true);
    m_advancedButton->setCursor(Qt::PointingHandCursor);
    m_advancedButton->setStyleSheet(
        QStringLiteral("QPushButton { color: #0c61fe; border: none; padding: 2px 0px; }"
                       "QPushButton:disabled { color: #a0a6b0; }"));
    m_advancedIndicator = new ProgressIndicator(box);
    m_advancedIndicator->setObjectName(QStringLiteral("advancedMeetingOptionsIndicator"));
    m_advancedIndicator->hide();
    advancedRow->addWidget(m_advancedButton);
    advancedRow->addWidget(m_advancedIndicator);
    advancedRow->addStretch(1);
    column->addLayout(advancedRow);
    m_advancedError = MenuStyle::errorLine(QStringLiteral("advancedOptionsError"), this);
    m_advancedError->setParent(box);
    column->addWidget(m_advancedError);

    auto* buttons = new QHBoxLayout;
    m_cancelButton = MenuStyle::button(tr("Cancel"), QStringLiteral("cancelScheduleButton"),
                                       MenuStyle::secondaryButton(), box);
    m_scheduleButton = MenuStyle::button(tr("Save"), QStringLiteral("scheduleButton"),
                                         MenuStyle::primaryButton(), box);
    m_scheduleButton->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_scheduleButton);
    column->addLayout(buttons);
    m_saveError = MenuStyle::errorLine(QStringLiteral("saveError"), this);
    m_saveError->setParent(box);
    column->addWidget(m_saveError);
    return box;
}

void SchedulerViewController::wireActions() {
    connect(m_timeZone, &QComboBox::activated, this,
            &SchedulerViewController::timeZoneBeingChanged);
    connect(m_startDate, &QDateTimeEdit::dateTimeChanged, this,
            &SchedulerViewController::startDateModified);
    connect(m_endDate, &QDateTimeEdit::dateTimeChanged, this,
            &SchedulerViewController::endDateModified);
    connect(m_recurringOption, &QComboBox::activated, this,
            &SchedulerViewController::repeatPatternAction);
    connect(m_dayOfWeekButton, &QPushButton::clicked, this,
            &SchedulerViewController::showDayOfWeekRepeat);
    connect(m_dayOfWeekPopover, &DayOfWeekPopover::maskChanged, this,
            &SchedulerViewController::updateDayOfWeekButton);
    connect(m_dayOfWeekPopover, &DayOfWeekPopover::popoverDidClose, this, [this] {
        // A weekly repetition without a day is never kept.
        if (m_recurringOption->currentIndex() == SchedulerForm::kWeekly &&
            m_dayOfWeekPopover->mask() == 0) {
            m_dayOfWeekButton->hide();
            m_recurringOption->setCurrentIndex(0);
        }
    });
    connect(m_title, &QLineEdit::textEdited, this, [this] {
        m_title->setState(false);
        hideError(m_titleError);
    });
    connect(m_invitees, &CustomTokenField::textChanged, this, [this] {
        m_invitees->setState(false);
        hideError(m_emailError);
    });
    connect(m_notes, &QPlainTextEdit::textChanged, this, [this] { hideError(m_memoError); });
    connect(m_panel->encryptMeeting(), &QCheckBox::clicked, this,
            [this] { m_panel->toggleEncryptMeeting(m_options.allowTelephone); });
    connect(m_advancedButton, &QPushButton::clicked, this,
            &SchedulerViewController::showAdvancedMeetingOptions);
    connect(m_panel, &QDialog::accepted, this,
            &SchedulerViewController::saveAdvancedMeetingOptions);
    connect(m_panel, &QDialog::rejected, this,
            &SchedulerViewController::cancelAdvancedMeetingOptions);
    connect(m_scheduleButton, &QPushButton::clicked, this,
            &SchedulerViewController::scheduleButtonAction);
    connect(m_cancelButton, &QPushButton::clicked, this,
            &SchedulerViewController::cancelScheduling);
}

// --- Filling ---

bool SchedulerViewController::hasMeetingKey(const QString& key) const {
    const QVariant value = m_meeting.value(key);
    return value.isValid() && !value.isNull();
}

bool SchedulerViewController::isChange() const {
    // A record without an "id" has no address to change: it is sent as a new meeting.
    return hasMeetingKey(QStringLiteral("numericMeetingId")) && hasMeetingKey(QStringLiteral("id"));
}

QTimeZone SchedulerViewController::selectedZone() const {
    const QTimeZone zone(TimeZoneItems::zoneName(m_timeZone->currentText()).toLatin1());
    return zone.isValid() ? zone : QTimeZone::systemTimeZone();
}

void SchedulerViewController::selectZone(const QString& name) {
    if (name.isEmpty()) {
        return;
    }
    for (int i = 0; i < m_timeZone->count(); ++i) {
        if (TimeZoneItems::zoneName(m_timeZone->itemText(i)) == name) {
            m_timeZone->setCurrentIndex(i);
            return;
        }
    }
    const QTimeZone zone(name.toLatin1());
    if (name.contains(QLatin1Char(' ')) || !zone.isValid()) {
        return;
    }
    // A real zone the menu lacks (an alias such as "Etc/UTC") gets an item at its place.
    const int offset = zone.offsetFromUtc(QDateTime::currentDateTimeUtc());
    int index = 0;
    while (index < m_timeZone->count() &&
           (m_timeZone->itemData(index).toInt() < offset ||
            (m_timeZone->itemData(index).toInt() == offset &&
             TimeZoneItems::zoneName(m_timeZone->itemText(index)) < name))) {
        ++index;
    }
    m_timeZone->insertItem(index, TimeZoneItems::title(name.toLatin1(), offset), offset);
    m_timeZone->setCurrentIndex(index);
}

QDateTime SchedulerViewController::defaultStartWall() const {
    return SchedulerTimes::wallClock(SchedulerTimes::defaultStart(now()).toMSecsSinceEpoch(),
                                     selectedZone());
}

void SchedulerViewController::updateSchedulingUI() {
    for (QLabel* label : {m_titleError, m_startError, m_endError, m_emailError, m_memoError}) {
        hideError(label);
    }
    TamberDataModel* account = TamberDataModel::sharedData();
    const QString zone = m_meeting.isEmpty()
                             ? account->timezone.toString()
                             : m_meeting.value(QStringLiteral("timezone")).toString();
    TLOG_DEBUG(QStringLiteral("Timezone to compare %1").arg(zone));
    selectZone(zone);
    if (m_meeting.isEmpty()) {
        updateTimesAsPerTimeZone();
    }
    if (TamberDataModel::isPresent(account->participantPasscode)) {
        m_participantPasscode->setText(
            tr("Passcode: %1").arg(account->participantPasscode.toString()));
    }
    if (!m_meeting.isEmpty()) {
        updateSchedulingUIAsPerMeeting();
    }
    m_heading->setText(isChange() ? tr("Edit meeting") : tr("Schedule a meeting"));
    updateAdvancedMeetingOptionsPanel();
    updateTimeNotices();
}

void SchedulerViewController::updateTimesAsPerTimeZone() {
    const QTimeZone zone = selectedZone();
    const QDateTime start = defaultStartWall();
    const QSignalBlocker blockStart(m_startDate);
    const QSignalBlocker blockEnd(m_endDate);
    m_startDate->setMinimumDateTime(start);
    m_startDate->setDateTime(start);
    m_endDate->setMinimumDateTime(SchedulerTimes::addSeconds(start, 60, zone));
    m_endDate->setDateTime(SchedulerTimes::addSeconds(start, 3600, zone));
}

void SchedulerViewController::updateTimesAsPerMeeting() {
    const auto start = MeetingRecord::numericTime(m_meeting.value(QStringLiteral("start")));
    const auto end = MeetingRecord::numericTime(m_meeting.value(QStringLiteral("end")));
    const bool draft = !m_meetingDraftGuid.isEmpty();
    // A draft keeps its times while they are still ahead; past ones give way to the defaults.
    if (!start || !end || *end <= *start || (draft && qint64(*start) < now().toMSecsSinceEpoch())) {
        updateTimesAsPerTimeZone();
        return;
    }
    const QTimeZone zone = selectedZone();
    const QDateTime startWall = SchedulerTimes::wallClock(qint64(*start), zone);
    const QSignalBlocker blockStart(m_startDate);
    const QSignalBlocker blockEnd(m_endDate);
    m_startDate->clearMinimumDateTime();
    m_startDate->setDateTime(startWall);
    m_endDate->setMinimumDateTime(SchedulerTimes::addSeconds(startWall, 60, zone));
    m_endDate->setDateTime(SchedulerTimes::wallClock(qint64(*end), zone));
}

void SchedulerViewController::updateSchedulingUIAsPerMeeting() {
    const QString guid = m_meeting.value(QStringLiteral("meetingDraftGuid")).toString();
    if (!guid.isEmpty()) {
        m_meetingDraftGuid = guid;
    } else {
        m_saveDraftAMO = true;
    }
    updateTimesAsPerMeeting();
    m_title->setText(m_meeting.value(QStringLiteral("title")).toString());
    updateRepetitionAsPerMeeting();

    QStringList emails;
    for (const QVariant& attendee : m_meeting.value(QStringLiteral("attendees")).toList()) {
        const QString email = attendee.toMap().value(QStringLiteral("email")).toString();
        if (!email.isEmpty()) {
            emails.append(email);
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(emails.begin(), emails.end(), collator);
    m_invitees->setTokens(emails);

    m_requirePasscode->setChecked(
        TamberDataModel::booleanReading(m_meeting.value(QStringLiteral("addAttendeePasscode"))));
    if (m_meeting.contains(QStringLiteral("advancedMeetingOptions"))) {
        m_options = AdvancedMeetingOptions::fromMeeting(m_meeting);
    }
    updateAdvancedMeetingOptionsPanel();
    if (hasMeetingKey(QStringLiteral("description"))) {
        m_notes->setPlainText(m_meeting.value(QStringLiteral("description")).toString());
    }
}

void SchedulerViewController::updateRepetitionAsPerMeeting() {
    const QVariantMap pattern = m_meeting.value(QStringLiteral("recurrencePattern")).toMap();
    const QString type = pattern.value(QStringLiteral("recurrenceType")).toString().toUpper();
    if (type.isEmpty() || type == QLatin1String("NONE")) {
        return;
    }
    int index = -1;
    for (int i = 1; i < m_recurringOption->count() && index < 0; ++i) {
        if (m_recurringOption->itemText(i).toUpper() == type) {
            index = i;
        }
    }
    if (index < 0) {
        // A series made elsewhere (monthly, yearly) keeps its kind when saved from here.
        m_recurringOption->addItem(type.left(1) + type.mid(1).toLower());
        index = m_recurringOption->count() - 1;
    }
    m_recurringOption->setCurrentIndex(index);
    if (index == SchedulerForm::kWeekly) {
        m_dayOfWeekPopover->setMask(pattern.value(QStringLiteral("daysOfWeekMask")).toInt() & 0x7f);
        m_dayOfWeekButton->show();
        updateDayOfWeekButton();
    }
}

void SchedulerViewController::updateAdvancedMeetingOptionsPanel() {
    if (m_options.isUnset()) {
        m_options.reset();
    }
    const bool fromRecord = !m_meetingDraftGuid.isEmpty() &&
                            (m_meeting.contains(QStringLiteral("advancedMeetingOptions")) ||
                             m_meeting.contains(QStringLiteral("id")));
    if (fromRecord) {
        AdvancedMeetingOptions::States states = m_panel->states();
        states.applyRecordOptions(
            m_meeting.value(QStringLiteral("advancedMeetingOptions")).toMap());
        m_panel->setStates(states);
        return;
    }
    m_panel->setStates(m_options.states(*TamberDataModel::sharedData()));
}

void SchedulerViewController::updateDayOfWeekButton() {
    static const QStringList names{tr("Sun"), tr("Mon"), tr("Tue"), tr("Wed"),
                                   tr("Thu"), tr("Fri"), tr("Sat")};
    QStringList days;
    const int mask = m_dayOfWeekPopover->mask();
    // Monday first, as the popover shows them.
    for (int i = 1; i <= 7; ++i) {
        if (MeetingRequestBuilder::hasDay(mask, i % 7)) {
            days.append(names[i % 7]);
        }
    }
    m_dayOfWeekButton->setText(days.isEmpty() ? tr("Choose days\u2026")
                                              : days.join(QStringLiteral(", ")));
}

void SchedulerViewController::updateTimeNotices() {
    const QTimeZone zone = selectedZone();
    const QString name = QString::fromLatin1(zone.id());
    auto notice = [&](QDateTimeEdit* picker, QLabel* label, const QString& what) {
        const SchedulerTimes::Instant instant = SchedulerTimes::instantOf(picker->dateTime(), zone);
        if (!instant.inGap) {
            hideError(label);
            return;
        }
        showError(label, tr("%1 does not exist on %2 in %3: the clocks go forward. The meeting "
                            "%4 at %5.")
                             .arg(picker->time().toString(QStringLiteral("HH:mm")),
                                  picker->date().toString(QStringLiteral("d MMM yyyy")), name, what,
                                  instant.shownAs.time().toString(QStringLiteral("HH:mm"))));
    };
    notice(m_startDate, m_startError, tr("starts"));
    notice(m_endDate, m_endError, tr("ends"));
}

// --- Edits ---

void SchedulerViewController::timeZoneBeingChanged() {
    updateTimesAsPerTimeZone();
    updateTimeNotices();
}

void SchedulerViewController::startDateModified() {
    const QTimeZone zone = selectedZone();
    const QSignalBlocker blockStart(m_startDate);
    const QSignalBlocker blockEnd(m_endDate);
    if (!m_meeting.isEmpty()) {
        m_startDate->setMinimumDateTime(defaultStartWall());
    }
    const QDateTime start = m_startDate->dateTime();
    m_endDate->setMinimumDateTime(SchedulerTimes::addSeconds(start, 60, zone));
    m_endDate->setDateTime(SchedulerTimes::addSeconds(start, 3600, zone));
    updateTimeNotices();
}

void SchedulerViewController::endDateModified() {
    if (!m_meeting.isEmpty()) {
        const QSignalBlocker blockStart(m_startDate);
        const QSignalBlocker blockEnd(m_endDate);
        m_startDate->setMinimumDateTime(defaultStartWall());
        m_endDate->setMinimumDateTime(
            SchedulerTimes::addSeconds(m_startDate->dateTime(), 60, selectedZone()));
    }
    updateTimeNotices();
}

void SchedulerViewController::repeatPatternAction() {
    if (m_recurringOption->currentText().toUpper() == QLatin1String("WEEKLY")) {
        m_dayOfWeekButton->show();
        updateDayOfWeekButton();
        showDayOfWeekRepeat();
    } else {
        m_dayOfWeekButton->hide();
    }
}

void SchedulerViewController::showDayOfWeekRepeat() {
    m_dayOfWeekPopover->showBelow(m_dayOfWeekButton);
}

void SchedulerViewController::closeDayOfWeekPopover() {
    if (m_dayOfWeekPopover->isVisible()) {
        m_dayOfWeekPopover->hide();
    }
}

bool SchedulerViewController::notesEditAllowed(int removed, const QString& inserted) const {
    // Typing stops at the limit; a paste may go beyond it and the save check catches that.
    const int length = int(m_notes->document()->characterCount()) - 1;
    const int after = length - removed + int(inserted.size());
    return !(length >= SchedulerValidation::kMaxNotes && !inserted.isEmpty() &&
             after >= SchedulerValidation::kMaxNotes);
}

bool SchedulerViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_notes && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString typed = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                                  ? QStringLiteral("\n")
                                  : key->text();
        if ((!typed.isEmpty() && typed.at(0).isPrint()) || typed == QLatin1String("\n")) {
            const int selected = int(m_notes->textCursor().selectedText().size());
            if (!notesEditAllowed(selected, typed)) {
                return true;
            }
        }
    }
    return AbstractTamberViewController::eventFilter(watched, event);
}

void SchedulerViewController::focusPopover() {
    m_title->setFocus(Qt::PopupFocusReason);
}

// --- Advanced options ---

void SchedulerViewController::setSheetButtonsEnabled(bool enabled) {
    // Nothing reopens the sheet or the save while a request is out: a second save would create
    // the meeting twice.
    m_scheduleButton->setEnabled(enabled && !isSaving());
    m_advancedButton->setEnabled(enabled && !isSaving());
}

bool SchedulerViewController::isSaving() const {
    return !m_overlay->isHidden();
}

void SchedulerViewController::showAdvancedMeetingOptions() {
    if (QWidget* top = window()) {
        top->activateWindow();
    }
    hideError(m_advancedError);
    QPointer<SchedulerViewController> self(this);
    MainQueue::async(this, [self] {
        if (!self || self->m_closed) {
            return;
        }
        self->setSheetButtonsEnabled(false);
        const bool draftWithOptions =
            !self->m_meetingDraftGuid.isEmpty() &&
            (self->m_meeting.contains(QStringLiteral("id")) ||
             self->m_meeting.contains(QStringLiteral("advancedMeetingOptions")));
        if (!self->m_options.isUnset() || draftWithOptions) {
            self->openAdvancedMeetingOptionsSheet();
            return;
        }
        self->m_advancedIndicator->show();
        self->m_advancedIndicator->startAnimation();
        TamberDataModel::fetchAggregatedUserDetails(
            [self] {
                if (!self || self->m_closed) {
                    return;
                }
                self->m_advancedIndicator->stopAnimation();
                self->m_advancedIndicator->hide();
                self->openAdvancedMeetingOptionsSheet();
            },
            [self](const std::optional<ServiceError>& error) {
                TLOG_ERROR(QStringLiteral("Error block"));
                if (!self || self->m_closed) {
                    return;
                }
                self->m_advancedIndicator->stopAnimation();
                self->m_advancedIndicator->hide();
                self->setSheetButtonsEnabled(true);
                self->showError(
                    self->m_advancedError,
                    tr("Your meeting defaults could not be loaded: %1")
                        .arg(error ? error->description : tr("the service sent no usable reply.")));
            });
    });
}

void SchedulerViewController::openAdvancedMeetingOptionsSheet() {
    updateAdvancedMeetingOptionsPanel();
    m_saveDraftAMO = true;
    QPointer<SchedulerViewController> self(this);
    MainQueue::async(this, [self] {
        if (self && !self->m_closed) {
            self->m_panel->beginSheet(self->window());
        }
    });
}

void SchedulerViewController::saveAdvancedMeetingOptions() {
    const AdvancedMeetingOptions::States states = m_panel->states();
    m_options = AdvancedMeetingOptions::fromStates(states);
    if (!m_meetingDraftGuid.isEmpty()) {
        QVariantMap options = states.draftOptions();
        options.insert(QStringLiteral("publishMeeting"), m_options.publishMeeting);
        m_meeting.insert(QStringLiteral("advancedMeetingOptions"), options);
        const QVariantMap drafts = TamberDataModel::sharedData()->meetingDrafts;
        if (drafts.contains(m_meetingDraftGuid)) {
            QVariantMap stored = drafts.value(m_meetingDraftGuid).toMap();
            stored.insert(QStringLiteral("advancedMeetingOptions"), options);
            MeetingDraftStore::put(stored);
        }
    }
    didEndSheet();
}

void SchedulerViewController::cancelAdvancedMeetingOptions() {
    m_saveDraftAMO = false;
    updateAdvancedMeetingOptionsPanel();
    didEndSheet();
}

void SchedulerViewController::closeAdvancedMeetingOptionsPanel() {
    if (m_panel->isVisible()) {
        // Ended from outside: neither saved nor cancelled.
        m_panel->hide();
        didEndSheet();
    }
}

void SchedulerViewController::didEndSheet() {
    TLOG_DEBUG(QStringLiteral("Advanced Meeting options did end sheet"));
    setSheetButtonsEnabled(true);
    if (m_closed) {
        return;
    }
    if (QWidget* top = window()) {
        top->activateWindow();
    }
    m_title->setFocus(Qt::OtherFocusReason);
}

// --- Save ---

void SchedulerViewController::showError(QLabel* label, const QString& text) {
    label->setText(text);
    label->show();
}

void SchedulerViewController::hideError(QLabel* label) {
    label->hide();
    label->clear();
}

void SchedulerViewController::makeFieldsEditable(bool editable) {
    m_title->setReadOnly(!editable);
    m_notes->setReadOnly(!editable);
    m_invitees->setReadOnly(!editable);
}

void SchedulerViewController::setSaving(bool saving) {
    makeFieldsEditable(!saving);
    m_overlay->setVisible(saving);
    if (saving) {
        m_overlay->raise();
        m_savingIndicator->move(m_overlay->rect().center() -
                                QPoint(m_savingIndicator->width(), m_savingIndicator->height()) /
                                    2);
        m_savingIndicator->show();
        m_savingIndicator->startAnimation();
    } else {
        m_savingIndicator->stopAnimation();
        m_savingIndicator->hide();
    }
    setSheetButtonsEnabled(!saving);
}

SchedulerForm SchedulerViewController::form() const {
    SchedulerForm form;
    form.title = m_title->text();
    form.titlePlaceholder = m_title->placeholderText();
    form.timeZone = TimeZoneItems::zoneName(m_timeZone->currentText());
    const QTimeZone zone = selectedZone();
    form.startMs = SchedulerTimes::instantOf(m_startDate->dateTime(), zone).ms;
    form.endMs = SchedulerTimes::instantOf(m_endDate->dateTime(), zone, form.startMs).ms;
    form.repetition = m_recurringOption->currentIndex();
    form.repetitionType = m_recurringOption->currentText().toUpper();
    form.daysOfWeekMask = m_dayOfWeekPopover->mask();
    form.attendeesText = m_invitees->text();
    form.notes = m_notes->toPlainText();
    form.requirePasscode = m_requirePasscode->isChecked();
    form.options = m_panel->states();
    form.intermediatePublishMeeting = m_options.publishMeeting;
    return form;
}

void SchedulerViewController::scheduleButtonAction() {
    if (isSaving())
        return;
    hideError(m_saveError);
    m_invitees->commitPending();
    const SchedulerValidation::Attendees attendees =
        SchedulerValidation::checkAttendees(m_invitees->text());
    if (!attendees.error.isEmpty()) {
        showError(m_emailError, attendees.error);
        m_invitees->setState(true);
        return;
    }
    const QString notes = m_notes->toPlainText();
    if (const auto message = SchedulerValidation::checkNotes(notes)) {
        showError(m_memoError, *message);
        return;
    }
    hideError(m_memoError);
    m_pendingForm = form();
    m_pendingForm.attendees = attendees.emails;
    setSaving(true);
    m_pending = std::make_shared<PendingSave>();
    m_pending->change = isChange();
    m_pending->meetingId = m_meeting.value(QStringLiteral("numericMeetingId"));

    QPointer<SchedulerViewController> self(this);
    TamberDataModel::validateTokenAndPerformAction(
        [self] {
            // A form closed meanwhile was kept as a draft; it is not sent behind the user's back.
            if (self && !self->m_closed) {
                self->sendMeeting();
            }
        },
        [self](const std::optional<ServiceError>& error) {
            if (self && !self->m_closed) {
                self->tokenCheckFailed(error);
            }
        });
}

void SchedulerViewController::sendUsageEvent(const QString& status) const {
    if (m_pending && m_pending->change) {
        AnalyticsController::sendEditMeeting(status, m_pending->meetingId, std::nullopt);
    } else {
        AnalyticsController::sendSchedule(status, std::nullopt);
    }
}

void SchedulerViewController::sendMeeting() {
    sendUsageEvent(QStringLiteral("validationsuccess"));
    const bool change = m_pending->change;
    ServiceCall::Request request;
    request.method = change ? QStringLiteral("PUT") : QStringLiteral("POST");
    request.url = change ? TamberDataModel::editScheduleMeetingURL(m_meeting)
                         : TamberDataModel::scheduleMeetingURL();
    const QByteArray body =
        QJsonDocument(MeetingRequestBuilder::body(m_pendingForm, BundleInfo::version()))
            .toJson(QJsonDocument::Compact);
    request.body = body;
    request.jsonContentType = true;
    // The body holds notes and attendees: the log names the meeting only.
    TLOG_VERBOSE(change
                     ? QStringLiteral("Changing meeting %1")
                           .arg(TamberDataModel::textOrNull(m_meeting.value(QStringLiteral("id"))))
                     : QStringLiteral("Creating a meeting"));
    sendUsageEvent(QStringLiteral("init"));

    QPointer<SchedulerViewController> self(this);
    std::shared_ptr<PendingSave> pending = m_pending;
    ServiceCall::send(request, [self, pending](const ServiceReply& reply) {
        std::optional<ServiceError> failure =
            reply.error ? reply.error : ServiceCall::httpError(reply);
        const QString status = failure ? QStringLiteral("error") : QStringLiteral("success");
        if (pending->change) {
            AnalyticsController::sendEditMeeting(status, pending->meetingId, std::nullopt);
        } else {
            AnalyticsController::sendSchedule(status, std::nullopt);
        }
        if (failure) {
            TLOG_ERROR(QStringLiteral("Error %1").arg(ServiceCall::describe(failure)));
        }
        if (self && !pending->formClosed) {
            self->handleAnswer(reply);
            return;
        }
        // The popover closed while the request was out. The meeting exists now: the draft
        // kept at the close must not list it a second time. A failure keeps the draft.
        if (!failure && !pending->capturedDraftGuid.isEmpty()) {
            MeetingDraftStore::remove(pending->capturedDraftGuid);
            NotificationCenter::defaultCenter().post(QStringLiteral("REFRESH_UPCOMING_MEETINGS"));
        }
    });
}

void SchedulerViewController::handleAnswer(const ServiceReply& reply) {
    const std::optional<ServiceError> failure =
        reply.error ? reply.error : ServiceCall::httpError(reply);
    m_pending.reset();
    setSaving(false);
    if (failure) {
        // The form stays as typed, with its options, and is kept as a draft if closed now.
        showError(m_saveError, tr("The meeting was not saved: %1").arg(failure->description));
        return;
    }
    m_options.reset();
    m_saveDraft = false;
    NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_MENU_POPOVER"));
}

void SchedulerViewController::tokenCheckFailed(const std::optional<ServiceError>& error) {
    sendUsageEvent(QStringLiteral("validationerror"));
    TLOG_ERROR(QStringLiteral("Launching error block"));
    m_pending.reset();
    setSaving(false);
    showError(m_saveError,
              tr("Your sign-in could not be checked, so the meeting was not saved: %1")
                  .arg(error ? error->description : tr("the service sent no usable reply.")));
}

// --- Cancel and close ---

void SchedulerViewController::cancelScheduling() {
    if (m_meeting.isEmpty()) {
        AnalyticsController::sendSchedule(QStringLiteral("cancel"), QString());
    } else {
        const QVariant id = hasMeetingKey(QStringLiteral("numericMeetingId"))
                                ? m_meeting.value(QStringLiteral("numericMeetingId"))
                                : m_meeting.value(QStringLiteral("meetingDraftGuid"));
        AnalyticsController::sendEditMeeting(QStringLiteral("cancel"), id, std::nullopt);
    }
    m_saveDraft = false;
    m_saveDraftAMO = false;
    m_cancelEditDraft = true;
    NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_MENU_POPOVER"));
}

void SchedulerViewController::saveDraftIfRequired() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    if (m_pending) {
        m_pending->formClosed = true;
    }
    if (!m_saveDraft) {
        if (!m_meetingDraftGuid.isEmpty() && !m_cancelEditDraft) {
            MeetingDraftStore::remove(m_meetingDraftGuid);
        }
        return;
    }
    QVariantMap stored;
    if (!m_meetingDraftGuid.isEmpty()) {
        stored = TamberDataModel::sharedData()->meetingDrafts.value(m_meetingDraftGuid).toMap();
    } else {
        m_meetingDraftGuid = TamberDataModel::uuidString();
    }
    TLOG_DEBUG(QStringLiteral("%1").arg(
        QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTimeUtc())));
    MeetingDraftStore::put(MeetingRequestBuilder::draft(form(), stored, m_meeting,
                                                        m_meetingDraftGuid, m_saveDraftAMO));
    if (m_pending) {
        m_pending->capturedDraftGuid = m_meetingDraftGuid;
    }
}
