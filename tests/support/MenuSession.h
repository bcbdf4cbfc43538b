#pragma once

#include "RecordingUrlOpener.h"
#include "SignedInSimulator.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTime>
#include <memory>

class QWidget;
class UpcomingMeetingsListView;

// Where the menu's GUI suites start each test: the simulator with its default week of
// meetings, an account on the service's calendar with a personal meeting (7305551001, passcode
// 2468), one draft and a recording browser. Also what they look at afterwards: the usage events
// the simulator received and screenshots.
class MenuSession {
public:
    // Once per suite: the simulator.
    bool start();
    // Signs in afresh with one draft of an hour titled `draftTitle`, `daysAhead` days from
    // today at `at` (its times as text, the way the scheduler keeps them).
    void begin(const QString& draftTitle, int daysAhead, const QTime& at);
    // Gives the browser back.
    void end();

    SignedInSimulator& session() { return m_session; }
    VeloraSimulator& sim() { return m_session.sim(); }
    RecordingUrlOpener& browser() { return *m_browser; }

    // The data objects of the usage events named `event` received so far.
    QList<QJsonObject> eventsNamed(const QString& event) const;
    // Those after the first `before`, once at least `count` of them have arrived (or after
    // 15 s, with what has arrived by then).
    QList<QJsonObject> awaitEvents(const QString& event, qsizetype before, qsizetype count = 1);
    // Saves a picture of `widget` as <name>.png when TAMBER_SCREENSHOT_DIR is set.
    static void snapshot(QWidget* widget, const QString& name);
    // The same for what the screen shows of several windows at once (a popup over the menu).
    static void snapshotScreen(const QList<QWidget*>& windows, const QString& name);
    // The row of the meeting titled `title` in `list`; -1 when it is not listed.
    static int rowOf(const UpcomingMeetingsListView* list, const QString& title);
    // Scrolls the row into view and clicks its left part, where a meeting row shows its title.
    static void pressRow(UpcomingMeetingsListView* list, int row);

private:
    SignedInSimulator m_session;
    std::unique_ptr<RecordingUrlOpener> m_browser;
};
