#include "InstantMeetingViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Menu/PersonalMeetingDetails.h"
#include "Models/TamberDataModel.h"
#include "Platform/UrlOpener.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

InstantMeetingViewController::InstantMeetingViewController(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("instantMeetingViewController"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(24, 16, 24, 16);
    page->setSpacing(6);
    page->addStretch(1);

    auto* icon = new QLabel(this);
    icon->setPixmap(MenuStyle::image(QStringLiteral("joinEventIcon")).pixmap(44, 44));
    icon->setAlignment(Qt::AlignHCenter);
    page->addWidget(icon);
    page->addSpacing(6);

    auto* title = new QLabel(tr("Your personal meeting"), this);
    title->setStyleSheet(MenuStyle::pageTitle());
    title->setAlignment(Qt::AlignHCenter);
    page->addWidget(title);

    m_meetingID = new QLabel(this);
    m_meetingID->setObjectName(QStringLiteral("meetingID"));
    m_participantPasscode = new QLabel(this);
    m_participantPasscode->setObjectName(QStringLiteral("participantPasscode"));
    for (QLabel* label : {m_meetingID, m_participantPasscode}) {
        label->setStyleSheet(QStringLiteral("color: #5f6670; font-size: 13px;"));
        label->setAlignment(Qt::AlignHCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        page->addWidget(label);
    }
    page->addSpacing(12);

    m_startInstantMeeting = new QPushButton(tr("Start Meeting"), this);
    m_startInstantMeeting->setObjectName(QStringLiteral("startInstantMeeting"));
    m_startInstantMeeting->setStyleSheet(MenuStyle::primaryButton());
    m_startInstantMeeting->setCursor(Qt::PointingHandCursor);
    m_startInstantMeeting->setMinimumWidth(180);
    page->addWidget(m_startInstantMeeting, 0, Qt::AlignHCenter);
    page->addStretch(1);

    connect(m_startInstantMeeting, &QPushButton::clicked, this,
            &InstantMeetingViewController::startInstantMeeting);
}

InstantMeetingViewController::~InstantMeetingViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void InstantMeetingViewController::updateInstantMeetingDetails() {
    m_meetingID->setText(tr("Meeting ID: %1").arg(PersonalMeetingDetails::meetingId()));
    m_participantPasscode->setText(tr("Passcode: %1").arg(PersonalMeetingDetails::passcode()));
}

void InstantMeetingViewController::startInstantMeeting() {
    // This tab's start button sends no usage event; the join tab's does.
    UrlOpener::open(QUrl(TamberDataModel::instantMeetingURL()));
}
