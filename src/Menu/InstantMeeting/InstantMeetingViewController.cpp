#include "InstantMeetingViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Menu/PersonalMeetingDetails.h"
#include "Models/TamberDataModel.h"
#include "Platform/UrlOpener.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
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

    QLabel* title = MenuStyle::titleLabel(tr("Your personal meeting"), this);
    title->setAlignment(Qt::AlignHCenter);
    page->addWidget(title);

    m_meetingID = new QLabel(this);
    m_meetingID->setObjectName(QStringLiteral("meetingID"));
    m_participantPasscode = new QLabel(this);
    m_participantPasscode->setObjectName(QStringLiteral("participantPasscode"));
    for (auto [caption, value] : {std::pair(tr("Meeting ID:"), m_meetingID),
                                  std::pair(tr("Passcode:"), m_participantPasscode)}) {
        value->setStyleSheet(QStringLiteral("color: #5f6670; font-size: 13px;"));
        QHBoxLayout* line = PersonalMeetingDetails::line(caption, value);
        line->insertStretch(0, 1);
        line->addStretch(1);
        page->addLayout(line);
    }
    page->addSpacing(12);

    m_startInstantMeeting =
        MenuStyle::button(tr("Start Meeting"), QStringLiteral("startInstantMeeting"),
                          MenuStyle::primaryButton(), this);
    m_startInstantMeeting->setMinimumWidth(180);
    page->addWidget(m_startInstantMeeting, 0, Qt::AlignHCenter);

    auto* copies = new QHBoxLayout;
    copies->addStretch(1);
    for (auto [text, name, action] : {std::tuple(tr("Copy invitation"), "copyInvitation",
                                                 &InstantMeetingViewController::copyInvitation),
                                      std::tuple(tr("Copy meeting id"), "copyMeetingId",
                                                 &InstantMeetingViewController::copyMeetingId)}) {
        QPushButton* button =
            MenuStyle::button(text, QString::fromLatin1(name), MenuStyle::secondaryButton(), this);
        connect(button, &QPushButton::clicked, this, action);
        copies->addWidget(button);
    }
    copies->addStretch(1);
    page->addLayout(copies);
    m_copyConfirmation = new QLabel(this);
    m_copyConfirmation->setObjectName(QStringLiteral("copyConfirmation"));
    m_copyConfirmation->setAlignment(Qt::AlignHCenter);
    m_copyConfirmation->setStyleSheet(QStringLiteral("color: #2e7d32; font-size: 12px;"));
    // Keeps its line while hidden, so the page does not jump.
    QSizePolicy keep = m_copyConfirmation->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_copyConfirmation->setSizePolicy(keep);
    m_copyConfirmation->hide();
    page->addWidget(m_copyConfirmation);
    page->addStretch(1);

    connect(m_startInstantMeeting, &QPushButton::clicked, this,
            &InstantMeetingViewController::startInstantMeeting);
}

InstantMeetingViewController::~InstantMeetingViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void InstantMeetingViewController::updateInstantMeetingDetails() {
    PersonalMeetingDetails::fill(m_meetingID, m_participantPasscode);
}

void InstantMeetingViewController::copyInvitation() {
    QString text =
        PersonalMeetingDetails::textOf(TamberDataModel::sharedData()->personalMeetingDescription);
    if (text.isEmpty()) {
        // The service's text has not arrived: the address and id stand in for it.
        text = QStringLiteral("Join: %1\nMeeting ID: %2\n")
                   .arg(TamberDataModel::instantMeetingURL(), PersonalMeetingDetails::meetingId());
    }
    QGuiApplication::clipboard()->setText(text);
    confirmCopy(tr("Invitation copied"));
}

void InstantMeetingViewController::copyMeetingId() {
    QGuiApplication::clipboard()->setText(PersonalMeetingDetails::meetingId());
    confirmCopy(tr("Meeting id copied"));
}

void InstantMeetingViewController::confirmCopy(const QString& text) {
    m_copyConfirmation->setText(text);
    m_copyConfirmation->show();
    QTimer::singleShot(2000, m_copyConfirmation, &QWidget::hide);
}

void InstantMeetingViewController::startInstantMeeting() {
    // This tab's start button sends no usage event; the join tab's does.
    UrlOpener::open(QUrl(TamberDataModel::instantMeetingURL()));
}
