#include "EditOptionsView.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Analytics/AnalyticsController.h"
#include "ConfirmDeleteDraftViewController.h"
#include "ConfirmDeleteMeetingViewController.h"
#include "Logging/Log.h"
#include "MeetingRowPresentation.h"
#include "Menu/MenuStyle.h"
#include "Models/MeetingInvitation.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UrlOpener.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimeZone>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kButtonWidth = 36;
constexpr int kButtonHeight = 23;

constexpr int kConfirmationMs = 2000;

// Left edge of the button in slot `slot` (0 Delete, 1 Edit, 2 Join, 3 Copy).
int buttonX(int slot) {
    return EditOptionsView::kMargin + slot * EditOptionsView::kButtonSlot +
           (EditOptionsView::kButtonSlot - kButtonWidth) / 2;
}

} // namespace

EditOptionsView::EditOptionsView(const QVariantMap& meeting, QWidget* parent)
    : QWidget(parent)
    , m_meeting(meeting) {
    setObjectName(QStringLiteral("editOptionsView"));
    resize(stripWidth(isDraft()), kHeight);
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("CLOSE_DELETE_MEETING"),
        [this](const QVariant&) { closeCancelMeeting(); });

    if (!isDraft()) {
        m_joinMeeting = makeButton(QStringLiteral("joinMeeting"), buttonX(2),
                                   QStringLiteral("Join Meeting"), QStringLiteral("joinEventIcon"));
        connect(m_joinMeeting, &QPushButton::clicked, this, &EditOptionsView::joinMeetingAction);
        m_copy = makeButton(QStringLiteral("copyMeeting"), buttonX(3), QStringLiteral("Copy"),
                            QStringLiteral("copyIcon"));
        auto* copyMenu = new QMenu(m_copy);
        copyMenu->setObjectName(QStringLiteral("copyMenu"));
        copyMenu->addAction(QStringLiteral("Copy invitation"), this,
                            &EditOptionsView::copyInvitationAction);
        copyMenu->addAction(QStringLiteral("Copy meeting id"), this,
                            &EditOptionsView::copyMeetingIdAction);
        m_copy->setMenu(copyMenu);
        m_copy->setStyleSheet(m_copy->styleSheet() +
                              QStringLiteral("QPushButton::menu-indicator { image: none; }"));
        m_copyConfirmation = new QLabel(this);
        m_copyConfirmation->setObjectName(QStringLiteral("copyConfirmation"));
        m_copyConfirmation->setAlignment(Qt::AlignCenter);
        m_copyConfirmation->setStyleSheet(
            QStringLiteral("background: white; color: #2e7d32; font-size: 12px;"));
        m_copyConfirmation->setGeometry(rect());
        m_copyConfirmation->hide();
    }
    m_editMeeting = makeButton(QStringLiteral("editMeeting"), buttonX(1),
                               QStringLiteral("Edit Meeting"), QStringLiteral("editIcon"));
    connect(m_editMeeting, &QPushButton::clicked, this, &EditOptionsView::editMeetingAction);
    m_deleteMeeting = makeButton(QStringLiteral("deleteMeeting"), buttonX(0),
                                 QStringLiteral("Delete Meeting"), QStringLiteral("deleteIcon"));
    if (isDraft())
        connect(m_deleteMeeting, &QPushButton::clicked, this, &EditOptionsView::deleteDraftAction);
    else
        connect(m_deleteMeeting, &QPushButton::clicked, this,
                &EditOptionsView::deleteMeetingAction);
}

EditOptionsView::~EditOptionsView() {
    NotificationCenter::defaultCenter().removeObserver(this);
    delete m_confirmDeletePopover;
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

bool EditOptionsView::isDraft() const {
    const QVariant guid = m_meeting.value(QStringLiteral("meetingDraftGuid"));
    return guid.isValid() && !guid.isNull();
}

QPushButton* EditOptionsView::makeButton(const QString& name, int x, const QString& toolTip,
                                         const QString& image) {
    auto* button = new QPushButton(this);
    button->setObjectName(name);
    button->setGeometry(x, (kHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);
    button->setToolTip(toolTip);
    button->setIcon(MenuStyle::image(image));
    button->setIconSize(QSize(22, 22));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"
                                         "QPushButton:pressed { padding-top: 1px; }"));
    return button;
}

void EditOptionsView::joinMeetingAction() {
    TLOG_INFO(QStringLiteral("Join Meeting"));
    UrlOpener::open(MeetingRowPresentation::stripJoinAddress(m_meeting));
}

void EditOptionsView::copyInvitationAction() {
    QGuiApplication::clipboard()->setText(
        MeetingInvitation::text(m_meeting, QTimeZone::systemTimeZone()));
    confirmCopy(QStringLiteral("Invitation copied"));
}

void EditOptionsView::copyMeetingIdAction() {
    QGuiApplication::clipboard()->setText(MeetingInvitation::meetingId(m_meeting));
    confirmCopy(QStringLiteral("Meeting id copied"));
}

void EditOptionsView::confirmCopy(const QString& text) {
    m_copyConfirmation->setText(text);
    m_copyConfirmation->show();
    m_copyConfirmation->raise();
    QTimer::singleShot(kConfirmationMs, m_copyConfirmation, &QWidget::hide);
}

void EditOptionsView::editMeetingAction() {
    TLOG_INFO(QStringLiteral("Edit Meeting"));
    AnalyticsController::sendEditMeeting(
        QStringLiteral("click"), MeetingRowPresentation::eventMeetingId(m_meeting), std::nullopt);
    NotificationCenter::defaultCenter().post(QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
                                             QVariant(m_meeting));
}

void EditOptionsView::deleteMeetingAction() {
    TLOG_DEBUG(QStringLiteral("Delete meeting action"));
    AnalyticsController::sendCancelMeeting(QStringLiteral("click"),
                                           MeetingRowPresentation::eventMeetingId(m_meeting));
    openConfirmation();
}

void EditOptionsView::deleteDraftAction() {
    deleteMeetingAction();
}

void EditOptionsView::openConfirmation() {
    delete m_confirmDeletePopover;
    // A popup closes by itself when the user clicks outside it.
    auto* popover = new QFrame(this, Qt::Popup | Qt::FramelessWindowHint);
    popover->setObjectName(QStringLiteral("confirmDeletePopover"));
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(0, 0, 0, 0);
    if (isDraft()) {
        m_confirmDeleteDraftViewController =
            new ConfirmDeleteDraftViewController(m_meeting, popover);
        layout->addWidget(m_confirmDeleteDraftViewController);
    } else {
        m_confirmDeleteViewController = new ConfirmDeleteMeetingViewController(m_meeting, popover);
        layout->addWidget(m_confirmDeleteViewController);
    }
    popover->adjustSize();
    // Anchored on the Delete button's upper edge, kept on the screen.
    const QPoint anchor = m_deleteMeeting->mapToGlobal(QPoint(m_deleteMeeting->width() / 2, 0));
    QRect frame(QPoint(anchor.x() - popover->width() / 2, anchor.y() - popover->height()),
                popover->size());
    if (QScreen* screen = m_deleteMeeting->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(qBound(available.left(), frame.left(), available.right() - frame.width()));
        frame.moveTop(qBound(available.top(), frame.top(), available.bottom() - frame.height()));
    }
    popover->setGeometry(frame);
    m_confirmDeletePopover = popover;
    popover->show();
}

void EditOptionsView::closeCancelMeeting() {
    if (m_confirmDeletePopover)
        m_confirmDeletePopover->close();
}

void EditOptionsView::paintEvent(QPaintEvent*) {
    // The open row's own white: the strip reads as part of the row, not a panel beside it.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

void EditOptionsView::mousePressEvent(QMouseEvent* event) {
    // A click beside the buttons stays in the strip instead of reaching the row.
    TLOG_INFO(QStringLiteral("Mouse down in edit options"));
    event->accept();
}
