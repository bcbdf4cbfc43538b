#pragma once

#include "Analytics/AnalyticsController.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Models/TamberDataModel.h"
#include "RecordingUrlOpener.h"
#include "SignedInSimulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QScreen>
#include <QString>
#include <QTest>
#include <QTime>
#include <QWidget>
#include <memory>

// Where the menu's GUI suites start each test: the simulator with its default week of
// meetings, an account on the service's calendar with a personal meeting (7305551001, passcode
// 2468), one draft and a recording browser. Also what they look at afterwards: the usage events
// the simulator received and screenshots.
class MenuSession {
public:
    // Once per suite: the simulator.
    bool start() { return m_session.start(); }
    // Signs in afresh with one draft of an hour titled `draftTitle`, `daysAhead` days from
    // today at `at` (its times as text, the way the scheduler keeps them).
    void begin(const QString& draftTitle, int daysAhead, const QTime& at) {
        m_session.sim().loadDefaultFixture();
        m_session.signIn();
        TamberDataModel* record = TamberDataModel::sharedData();
        record->firstName = QStringLiteral("Ada");
        record->lastName = QStringLiteral("Lovelace");
        record->email = QStringLiteral("ada@example.com");
        record->numericId = QStringLiteral("7305551001");
        record->moderatorPasscode = QStringLiteral("2468");
        record->calendar = QStringLiteral("velora_calendar");
        const qint64 start =
            QDateTime(QDate::currentDate().addDays(daysAhead), at).toMSecsSinceEpoch();
        const QString guid = QStringLiteral("draft-1");
        record->meetingDrafts = {
            {guid, QVariantMap{{QStringLiteral("title"), draftTitle},
                               {QStringLiteral("meetingDraftGuid"), guid},
                               {QStringLiteral("start"), QString::number(start)},
                               {QStringLiteral("end"), QString::number(start + 3600 * 1000)}}}};
        m_browser = std::make_unique<RecordingUrlOpener>();
    }
    // Gives the browser back.
    void end() { m_browser.reset(); }

    SignedInSimulator& session() { return m_session; }
    VeloraSimulator& sim() { return m_session.sim(); }
    RecordingUrlOpener& browser() { return *m_browser; }

    // The data objects of the usage events named `event` received so far.
    QList<QJsonObject> eventsNamed(const QString& event) const {
        QList<QJsonObject> found;
        for (const QJsonValue& envelope : m_session.sim().statsEvents()) {
            if (envelope[QStringLiteral("event")].toString() == event)
                found << envelope[QStringLiteral("data")].toObject();
        }
        return found;
    }
    // How many such events the simulator holds once every event sent so far has arrived: an
    // earlier test's event still on its way would otherwise be counted as one of the next.
    qsizetype settledEventCount(const QString& event) const {
        (void)QTest::qWaitFor([] { return AnalyticsController::pendingEvents() == 0; }, 15000);
        return eventsNamed(event).size();
    }
    // Those after the first `before`, once at least `count` of them have arrived (or after
    // 15 s, with what has arrived by then: the caller sees too few).
    QList<QJsonObject> awaitEvents(const QString& event, qsizetype before, qsizetype count = 1) {
        (void)QTest::qWaitFor([&] { return eventsNamed(event).size() >= before + count; }, 15000);
        return eventsNamed(event).mid(before);
    }
    // Saves a picture of `widget` as <name>.png when TAMBER_SCREENSHOT_DIR is set.
    static void snapshot(QWidget* widget, const QString& name) {
        const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QCoreApplication::processEvents();
        widget->grab().save(QStringLiteral("%1/%2.png").arg(dir, name));
    }
    // The same for what the screen shows of several windows at once (a popup over the menu).
    static void snapshotScreen(const QList<QWidget*>& windows, const QString& name) {
        const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
        if (dir.isEmpty() || windows.isEmpty())
            return;
        QTest::qWait(40); // the windows settle as they would before the next frame
        QRect area;
        for (QWidget* window : windows)
            area = area.united(window->frameGeometry());
        windows.first()
            ->screen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .save(QStringLiteral("%1/%2.png").arg(dir, name));
    }
    // The row of the meeting titled `title` in `list`; -1 when it is not listed.
    static int rowOf(const UpcomingMeetingsListView* list, const QString& title) {
        const UpcomingMeetingsListModel* rows = list ? list->meetingsModel() : nullptr;
        for (int row = 0; rows && row < rows->rowCount(); ++row) {
            const MeetingRecord* r = rows->record(row);
            if (r && r->value(QStringLiteral("title")).toString() == title)
                return row;
        }
        return -1;
    }
    // Scrolls the row into view and clicks its left part, where a meeting row shows its title.
    static void pressRow(UpcomingMeetingsListView* list, int row) {
        const QModelIndex index = list->meetingsModel()->index(row);
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(40, list->visualRect(index).center().y()));
    }

private:
    SignedInSimulator m_session;
    std::unique_ptr<RecordingUrlOpener> m_browser;
};
