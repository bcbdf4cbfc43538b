#pragma once

#include <QMenu>

class QAction;
class ReminderController;

// The status icon's right-click menu: join the next meeting, open the application, quit. The
// join item is worked out each time the menu opens.
class TrayContextMenu : public QMenu {
    Q_OBJECT
public:
    explicit TrayContextMenu(ReminderController& reminders, QWidget* parent = nullptr);

    // Sets the join item's text and state from the current list.
    void refresh();

    QAction* joinNextAction() const { return m_joinNext; }
    QAction* openAction() const { return m_open; }
    QAction* quitAction() const { return m_quit; }

signals:
    void openRequested();
    void quitRequested();

private:
    ReminderController& m_reminders;
    QAction* m_joinNext = nullptr;
    QAction* m_open = nullptr;
    QAction* m_quit = nullptr;
};
