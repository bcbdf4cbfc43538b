#include "SchedulerViewController.h"

#include "AbstractTamberWindowController/CustomTextField.h"
#include "Platform/NotificationCenter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SchedulerViewController::SchedulerViewController(QWidget* parent)
    : AbstractTamberViewController(parent) {
    setObjectName(QStringLiteral("schedulerViewController"));
    setFixedWidth(380);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(12);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("schedulerHeading"));
    m_heading->setStyleSheet(QStringLiteral("font-size: 17px; font-weight: 600;"));
    m_title = new CustomTextField(this);
    m_title->setObjectName(QStringLiteral("meetingTitleField"));
    m_title->setPlaceholderText(tr("Meeting title"));
    m_title->setState(false);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("schedulerCancelButton"));
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    layout->addWidget(m_heading);
    layout->addWidget(m_title);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this,
            [] { NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_MENU_POPOVER")); });
}

SchedulerViewController::~SchedulerViewController() {
    logDealloc();
}

void SchedulerViewController::updateSchedulingUI() {
    const bool editing = m_meeting.contains(QStringLiteral("id"));
    m_heading->setText(editing ? tr("Edit meeting") : tr("Schedule a meeting"));
    m_title->setText(m_meeting.value(QStringLiteral("title")).toString());
}

void SchedulerViewController::focusPopover() {
    m_title->setFocus(Qt::PopupFocusReason);
}
