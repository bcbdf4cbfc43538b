#include "TrayContextMenu.h"

#include "Platform/BundleInfo.h"
#include "Reminders/ReminderController.h"
#include "Reminders/ReminderPlan.h"

#include <QTimeZone>

TrayContextMenu::TrayContextMenu(ReminderController& reminders, QWidget* parent)
    : QMenu(parent)
    , m_reminders(reminders) {
    setObjectName(QStringLiteral("trayContextMenu"));
    m_joinNext = addAction(QString());
    m_joinNext->setObjectName(QStringLiteral("joinNextMeeting"));
    addSeparator();
    m_open = addAction(QStringLiteral("Open %1").arg(BundleInfo::appName()));
    m_quit = addAction(QStringLiteral("Quit"));
    connect(m_joinNext, &QAction::triggered, this, [this] { m_reminders.joinNext(); });
    connect(m_open, &QAction::triggered, this, &TrayContextMenu::openRequested);
    connect(m_quit, &QAction::triggered, this, &TrayContextMenu::quitRequested);
    connect(this, &QMenu::aboutToShow, this, &TrayContextMenu::refresh);
    refresh();
}

void TrayContextMenu::refresh() {
    const std::optional<MeetingOccurrence> next = m_reminders.nextToJoin();
    m_joinNext->setEnabled(next.has_value());
    if (!next) {
        m_joinNext->setText(QStringLiteral("No meeting to join"));
        return;
    }
    const QString start =
        ReminderPlan::timeText(next->startMs, m_reminders.nowMs(), QTimeZone::systemTimeZone());
    // A menu item reads "&" as a mnemonic marker.
    QString title = next->title;
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    m_joinNext->setText(QStringLiteral("Join next meeting: %1 (%2)").arg(title, start));
}
