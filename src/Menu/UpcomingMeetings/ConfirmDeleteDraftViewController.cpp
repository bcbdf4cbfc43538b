#include "ConfirmDeleteDraftViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Models/MeetingDraftStore.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kWidth = 268;
constexpr int kTitleWidth = kWidth - 28;
} // namespace

ConfirmDeleteDraftViewController::ConfirmDeleteDraftViewController(const QVariantMap& meeting,
                                                                   QWidget* parent)
    : QWidget(parent)
    , m_meeting(meeting) {
    setObjectName(QStringLiteral("confirmDeleteDraftViewController"));
    setAutoFillBackground(true);
    setFixedWidth(kWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(MenuStyle::titleLabel(QStringLiteral("Delete this draft?"), this));
    layout->addWidget(MenuStyle::recordTitle(m_meeting.value(QStringLiteral("title")).toString(),
                                             kTitleWidth, this));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_keepDraft = MenuStyle::button(QStringLiteral("Keep Draft"), QStringLiteral("keepDraft"),
                                    MenuStyle::secondaryButton(), this);
    m_deleteDraft = MenuStyle::button(QStringLiteral("Delete Draft"), QStringLiteral("deleteDraft"),
                                      MenuStyle::destructiveButton(), this);
    buttons->addWidget(m_keepDraft);
    buttons->addWidget(m_deleteDraft);
    layout->addLayout(buttons);

    connect(m_keepDraft, &QPushButton::clicked, this, &ConfirmDeleteDraftViewController::keepDraft);
    connect(m_deleteDraft, &QPushButton::clicked, this,
            [this] { confirmDeleteDraft(m_deleteDraft); });
}

ConfirmDeleteDraftViewController::~ConfirmDeleteDraftViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void ConfirmDeleteDraftViewController::keepDraft() {
    NotificationCenter::defaultCenter().post(QStringLiteral("CLOSE_DELETE_MEETING"));
}

void ConfirmDeleteDraftViewController::confirmDeleteDraft(QPushButton* sender) {
    if (sender)
        sender->setEnabled(false);
    const QVariant guid = m_meeting.value(QStringLiteral("meetingDraftGuid"));
    if (guid.isValid() && !guid.isNull())
        MeetingDraftStore::remove(guid.toString());
    TLOG_DEBUG(QStringLiteral("delete draft"));
    // Not left open over a row that is about to go: the refresh may take a while, or fail and
    // keep the old rows.
    NotificationCenter::defaultCenter().post(QStringLiteral("CLOSE_DELETE_MEETING"));
    MainQueue::async([] {
        NotificationCenter::defaultCenter().post(QStringLiteral("REFRESH_UPCOMING_MEETINGS"));
    });
}
