#include "ConfirmDeleteMeetingViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Models/MeetingAggregator.h"
#include "Models/MeetingCancellation.h"
#include "Models/MeetingRecord.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 300;

} // namespace

ConfirmDeleteMeetingViewController::ConfirmDeleteMeetingViewController(const QVariantMap& meeting,
                                                                       QWidget* parent)
    : QWidget(parent)
    , m_meeting(meeting) {
    setObjectName(QStringLiteral("confirmDeleteMeetingViewController"));
    buildView();
    adjustViewForRecurringMeeting();
}

ConfirmDeleteMeetingViewController::~ConfirmDeleteMeetingViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void ConfirmDeleteMeetingViewController::buildView() {
    setFixedWidth(kWidth);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(6);

    auto* question = MenuStyle::titleLabel(QStringLiteral("Cancel this meeting?"), this);
    layout->addWidget(question);
    layout->addWidget(MenuStyle::recordTitle(m_meeting.value(QStringLiteral("title")).toString(),
                                             kWidth - 28, this));
    auto* caption = new QLabel(QStringLiteral("Message to the attendees (optional):"), this);
    caption->setStyleSheet(MenuStyle::fieldCaption());
    layout->addWidget(caption);
    buildMessageRows(layout);
    layout->addSpacing(4);
    buildButtonRows(layout);
}

void ConfirmDeleteMeetingViewController::buildMessageRows(QVBoxLayout* layout) {
    m_cancellationMessage = new QPlainTextEdit(this);
    m_cancellationMessage->setObjectName(QStringLiteral("cancellationMessage"));
    m_cancellationMessage->setTabChangesFocus(true);
    m_cancellationMessage->setFixedHeight(64);
    layout->addWidget(m_cancellationMessage);

    m_cancellationMessageWarning =
        MenuStyle::errorLine(QStringLiteral("cancellationMessageWarning"), this);
    layout->addWidget(m_cancellationMessageWarning);
    m_cancellationFailure = MenuStyle::errorLine(QStringLiteral("cancellationFailure"), this);
    layout->addWidget(m_cancellationFailure);
}

void ConfirmDeleteMeetingViewController::buildButtonRows(QVBoxLayout* layout) {
    m_cancelNextMeeting =
        MenuStyle::button(QStringLiteral("Cancel Next Occurrence"),
                          QStringLiteral("cancelNextMeeting"), MenuStyle::secondaryButton(), this);
    m_cancelNextProgressIndicator = new ProgressIndicator(this);
    m_cancelNextProgressIndicator->setObjectName(QStringLiteral("cancelNextProgressIndicator"));
    m_cancelNextRow = buttonRow(m_cancelNextMeeting, m_cancelNextProgressIndicator);
    layout->addWidget(m_cancelNextRow);

    m_cancelMeeting =
        MenuStyle::button(QStringLiteral("Cancel Meeting"), QStringLiteral("cancelMeeting"),
                          MenuStyle::destructiveButton(), this);
    m_cancelMeetingProgressIndicator = new ProgressIndicator(this);
    m_cancelMeetingProgressIndicator->setObjectName(
        QStringLiteral("cancelMeetingProgressIndicator"));
    layout->addWidget(buttonRow(m_cancelMeeting, m_cancelMeetingProgressIndicator));

    m_keepMeeting = MenuStyle::button(QStringLiteral("Keep Meeting"), QStringLiteral("keepMeeting"),
                                      MenuStyle::secondaryButton(), this);
    layout->addWidget(buttonRow(m_keepMeeting, nullptr));

    connect(m_cancelNextMeeting, &QPushButton::clicked, this,
            &ConfirmDeleteMeetingViewController::confirmCancelNextMeetingAction);
    connect(m_cancelMeeting, &QPushButton::clicked, this,
            &ConfirmDeleteMeetingViewController::confirmCancelMeetingAction);
    connect(m_keepMeeting, &QPushButton::clicked, this,
            &ConfirmDeleteMeetingViewController::keepMeeting);
}

QWidget* ConfirmDeleteMeetingViewController::buttonRow(QPushButton* button,
                                                       ProgressIndicator* spinner) {
    // Every row keeps the spinner's place, so the buttons line up whether it turns or not.
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    button->setParent(row);
    layout->addWidget(button, 1);
    QWidget* slot = spinner ? static_cast<QWidget*>(spinner) : new QWidget;
    slot->setParent(row);
    slot->setFixedSize(18, 18);
    layout->addWidget(slot);
    return row;
}

void ConfirmDeleteMeetingViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_cancellationMessage->setFocus();
}

void ConfirmDeleteMeetingViewController::adjustViewForRecurringMeeting() {
    m_cancellationMessageWarning->hide();
    const MeetingRecord record(m_meeting);
    const bool recurring = record.isRecurring();
    // Only an occurrence the service named can be cancelled alone.
    m_cancelNextRow->setVisible(recurring && MeetingAggregator::listedByNextOccurrence(record));
    m_cancelMeeting->setText(recurring ? QStringLiteral("Cancel Series")
                                       : QStringLiteral("Cancel Meeting"));
}

void ConfirmDeleteMeetingViewController::confirmCancelNextMeetingAction() {
    cancel(true, m_cancelNextProgressIndicator);
}

void ConfirmDeleteMeetingViewController::confirmCancelMeetingAction() {
    cancel(false, m_cancelMeetingProgressIndicator);
}

void ConfirmDeleteMeetingViewController::keepMeeting() {
    MeetingCancellation::keepMeeting();
}

void ConfirmDeleteMeetingViewController::cancel(bool nextIfRecurring, ProgressIndicator* spinner) {
    spinner->startAnimation();
    // The raw text keeps no-break spaces; paragraph ends become the line breaks that were typed.
    const QString message =
        m_cancellationMessage->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    const qsizetype length = message.size();
    TLOG_DEBUG(QStringLiteral("length of cancelmessage is %1").arg(length));
    m_cancellationFailure->hide();
    if (length > MeetingCancellation::kMaxMessageLength) {
        TLOG_DEBUG(QStringLiteral("returning not deleting"));
        m_cancellationMessageWarning->setText(
            QStringLiteral("Cancellation message can be atmost 1000\ncharacters (it has %1 "
                           "characters).")
                .arg(length));
        m_cancellationMessageWarning->show();
        spinner->stopAnimation();
        refitPopup();
        return;
    }
    // A warning about an earlier, longer message stays up with its text while this one is sent.
    setCancelButtonsEnabled(false);
    MeetingCancellation* cancellation =
        MeetingCancellation::start(m_meeting, message, nextIfRecurring);
    // Connected with this view as context: a view rebuilt away in the meantime hears nothing.
    connect(cancellation, &MeetingCancellation::succeeded, this,
            [spinner] { spinner->stopAnimation(); });
    connect(cancellation, &MeetingCancellation::failed, this,
            [this, spinner](const QString& text) { showFailure(text, spinner); });
}

void ConfirmDeleteMeetingViewController::showFailure(const QString& text,
                                                     ProgressIndicator* spinner) {
    spinner->stopAnimation();
    m_cancellationFailure->setText(text);
    m_cancellationFailure->show();
    setCancelButtonsEnabled(true);
    refitPopup();
}

void ConfirmDeleteMeetingViewController::setCancelButtonsEnabled(bool enabled) {
    m_cancelMeeting->setEnabled(enabled);
    m_cancelNextMeeting->setEnabled(enabled);
}

void ConfirmDeleteMeetingViewController::refitPopup() {
    QWidget* popup = window();
    if (popup == this || !popup->isVisible())
        return;
    const QRect frame = popup->geometry();
    popup->adjustSize();
    popup->move(frame.left(), frame.bottom() + 1 - popup->height());
}
