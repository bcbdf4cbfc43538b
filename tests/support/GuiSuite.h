#pragma once

#include "LogSpy.h"
#include "Logging/Log.h"
#include "MenuSession.h"
#include "Models/TamberDataModel.h"
#include "Platform/NotificationCenter.h"
#include "PostedNotifications.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <memory>

class QAbstractButton;

// What the GUI suites share besides MenuSession: widgets by name, clicks, what the preferences
// file holds and the simulator's copy of a meeting.
namespace GuiSuite {

// The descendant of `root` named `name`; a missing one is named in the output before the test
// trips over the null pointer.
template <typename T = QWidget> T* child(const QObject* root, const char* name) {
    T* found = root->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no widget %s", name);
    return found;
}

// Clicks a visible, enabled button where it takes clicks (check boxes on their mark).
void click(QAbstractButton* button);
// The drafts a process killed now would find on disk.
QVariantMap storedDrafts();
// The simulator's record of the session user's meeting titled `title`; empty when none.
QJsonObject serviceMeeting(MenuSession& session, const QString& title);
// Shows `widget` and waits until it is on screen.
bool showAndExpose(QWidget* widget);

} // namespace GuiSuite
