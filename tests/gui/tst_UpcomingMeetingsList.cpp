#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Calendars/CalendarStore.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteMeetingViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsItemDelegate.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"
#include "MenuSession.h"
#include "Models/TamberDataModel.h"
#include "Platform/NotificationCenter.h"
#include "PostedNotifications.h"
#include "TestEnvironment.h"

#include <QCursor>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <memory>

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QVariantMap record(const QString& title, qint64 start, qint64 end, const QString& type) {
    return {{QStringLiteral("title"), title},
            {QStringLiteral("start"), double(start)},
            {QStringLiteral("end"), double(end)},
            {QStringLiteral("calendar_entry_type"), type},
            {QStringLiteral("numericMeetingId"), QStringLiteral("424242")}};
}

DayBucket bucket(const QDate& day, const QList<QVariantMap>& meetings) {
    DayBucket b;
    b.day = day;
    b.description = day.toString();
    for (const QVariantMap& m : meetings)
        b.meetings << m;
    return b;
}

const qint64 kHour = 3600 * 1000;

// A calendar store whose application lookup answers as told.
class LookupStore : public CalendarStore {
public:
    AppLookup answer;
    AppLookup findApplication(const QString&) const override { return answer; }
};

} // namespace

// The upcoming-meetings page against the simulator: rows, clicks per source, the options strip,
// failures and the schedule button.
class tst_UpcomingMeetingsList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void listsTheWeekByDayWithDraft();
    void clicksPerSourceAndTheStrip();
    void stripActionsPostAndReport();
    void failedFetchKeepsTheListAndShowsCaution();
    void failureSaysWhyUnderTheListAndRetries_data();
    void failureSaysWhyUnderTheListAndRetries();
    void emptyAndListlessFailureStates();
    void scheduleButtonFollowsTheCalendar();
    void outlookPresenceSetsTheScheduleCaution();
    void hostileRecordsRenderWithinTheirRows();

private:
    bool fetchAndWait();
    int rowOf(const QString& title) const;
    void pressRow(int row);
    UpcomingMeetingsListModel* model() const;

    MenuSession m_session;
    std::unique_ptr<UpcomingMeetingsViewController> m_page;
};

void tst_UpcomingMeetingsList::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_session.start());
}

void tst_UpcomingMeetingsList::init() {
    m_session.begin(QStringLiteral("Budget (draft)"), 2, QTime(15, 0));
    m_page = std::make_unique<UpcomingMeetingsViewController>();
    m_page->resize(340, 400);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
}

void tst_UpcomingMeetingsList::cleanup() {
    m_page.reset();
    m_session.end();
}

bool tst_UpcomingMeetingsList::fetchAndWait() {
    bool done = false;
    bool ok = false;
    m_page->fetchUpcomingMeetings([&] { done = ok = true; },
                                  [&](const std::optional<ServiceError>&) { done = true; });
    // The list is merged right after the success callback.
    return QTest::qWaitFor([&] { return done && !m_page->fetcher()->isFetching(); }, 15000) && ok &&
           QTest::qWaitFor([&] { return model()->rowCount() > 0; }, 5000);
}

UpcomingMeetingsListModel* tst_UpcomingMeetingsList::model() const {
    return m_page->unifiedTableView()->meetingsModel();
}

int tst_UpcomingMeetingsList::rowOf(const QString& title) const {
    for (int row = 0; row < model()->rowCount(); ++row) {
        const MeetingRecord* r = model()->record(row);
        if (r && r->value(QStringLiteral("title")).toString() == title)
            return row;
    }
    return -1;
}

void tst_UpcomingMeetingsList::pressRow(int row) {
    UpcomingMeetingsListView* view = m_page->unifiedTableView();
    view->scrollTo(model()->index(row));
    const QRect rect = view->visualRect(model()->index(row));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(40, rect.center().y()));
}

void tst_UpcomingMeetingsList::listsTheWeekByDayWithDraft() {
    QVERIFY(fetchAndWait());
    UpcomingMeetingsListModel* m = model();
    const QList<DayBucket>& days = m->days();
    QVERIFY(days.size() >= 5);
    QVERIFY(m_page->unifiedTableView()->isVisible());
    QVERIFY(!m_page->noMeetingsScheduled()->isVisible());
    QVERIFY(!m_page->fetchMeetingProgressIndicator()->isVisible());

    // Rows run day by day: a header, then the day's meetings, each showing its own record.
    int row = 0;
    for (const DayBucket& day : days) {
        QVERIFY(m->isHeader(row));
        QCOMPARE(m->headerText(row), day.day.toString(QStringLiteral("ddd MMM dd, yyyy")));
        QCOMPARE(m_page->unifiedTableView()->visualRect(m->index(row)).height(),
                 UpcomingMeetingsItemDelegate::kHeaderHeight);
        ++row;
        for (const MeetingRecord& meeting : day.meetings) {
            QVERIFY(!m->isHeader(row));
            QCOMPARE(m->presentation(row)->title,
                     meeting.value(QStringLiteral("title")).toString());
            QCOMPARE(m_page->unifiedTableView()->visualRect(m->index(row)).height(),
                     UpcomingMeetingsItemDelegate::kRowHeight);
            ++row;
        }
    }
    QCOMPARE(m->rowCount(), row);
    QCOMPARE(m->rowCount(), MeetingAggregator::rowCount(days));

    // A day header: room above the day's name, no dark band, a light rule along the bottom.
    UpcomingMeetingsListView* view = m_page->unifiedTableView();
    view->scrollToTop();
    const QRect header = view->visualRect(m->index(0));
    const QImage page = m_page->grab().toImage();
    auto pixel = [&](int x, int y) {
        return page.pixelColor(view->viewport()->mapTo(m_page.get(), QPoint(x, y)));
    };
    int inkTop = -1, inkBottom = -1, darkest = 255;
    for (int y = header.top(); y < header.bottom(); ++y) {
        for (int x = header.left(); x < header.right(); ++x) {
            const int gray = qGray(pixel(x, y).rgb());
            darkest = qMin(darkest, gray);
            if (gray < 160) {
                inkTop = inkTop < 0 ? y : inkTop;
                inkBottom = y;
            }
        }
    }
    QVERIFY2(inkTop - header.top() >= 10 && inkBottom - inkTop + 1 >= 9,
             qPrintable(QStringLiteral("text rows %1 to %2").arg(inkTop).arg(inkBottom)));
    QVERIFY(inkBottom < header.bottom() - 2);
    QVERIFY(darkest > 40); // text grey, nothing near black
    // Only the text is dark: no band across the row under it.
    for (int y = inkBottom + 1; y < header.bottom(); ++y)
        QVERIFY(qGray(pixel(header.right() - 10, y).rgb()) > 200);
    const QColor rule = pixel(header.right() - 10, header.bottom());
    QVERIFY(rule != pixel(header.right() - 10, header.bottom() - 2));
    QVERIFY(qGray(rule.rgb()) > 200);

    // The draft, a series and a service meeting show their marks.
    const int draft = rowOf(QStringLiteral("Budget (draft)"));
    QVERIFY(draft > 0);
    QCOMPARE(m->presentation(draft)->status, QStringLiteral("Draft"));
    QVERIFY(m->presentation(draft)->draft);
    const int series = rowOf(QStringLiteral("Weekly team sync"));
    QVERIFY(series > 0);
    QVERIFY(m->presentation(series)->recurring);
    const int review = rowOf(QStringLiteral("Design review"));
    QVERIFY(m->presentation(review)->serviceMeeting);
    QVERIFY(m->presentation(review)->timeSpan.contains(QLatin1String(" - ")));
    MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-list"));
}

void tst_UpcomingMeetingsList::clicksPerSourceAndTheStrip() {
    QVERIFY(fetchAndWait());
    UpcomingMeetingsListView* view = m_page->unifiedTableView();

    // A service meeting to come: the strip opens over its row, with Join; a second press
    // closes it.
    const int review = rowOf(QStringLiteral("Design review"));
    pressRow(review);
    QVERIFY(view->editOptions());
    QVERIFY(view->editOptions()->isVisible());
    QCOMPARE(model()->stripRow(), review);
    const QRect rowRect = view->visualRect(model()->index(review));
    // Over the row's right part, flush with its right edge, above its separator.
    const int stripWidth = EditOptionsView::stripWidth(false);
    QCOMPARE(view->editOptions()->geometry(), QRect(rowRect.right() + 1 - stripWidth, rowRect.top(),
                                                    stripWidth, EditOptionsView::kHeight));
    QVERIFY(view->editOptions()->joinMeetingButton());
    MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-strip"));
    {
        // The row stays where it was: its title starts at its usual place, readable up to the
        // strip, and the strip has the open row's own white.
        const QImage shown = view->viewport()->grab().toImage();
        const int titleLine = rowRect.top() + 32;
        int firstInk = -1, lastInk = -1;
        for (int x = 0; x < rowRect.right() + 1 - stripWidth; ++x) {
            if (qGray(shown.pixel(x, titleLine)) < 140) {
                firstInk = firstInk < 0 ? x : firstInk;
                lastInk = x;
            }
        }
        QVERIFY2(firstInk >= 10 && lastInk - firstInk > 60,
                 qPrintable(QStringLiteral("title ink %1 to %2").arg(firstInk).arg(lastInk)));
        QCOMPARE(shown.pixelColor(rowRect.right() - 2, rowRect.top() + 4), QColor(Qt::white));
        QCOMPARE(shown.pixelColor(rowRect.right() + 2 - stripWidth, rowRect.top() + 4),
                 QColor(Qt::white));
    }
    // The strip stays on its row while the list scrolls.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + 13);
    QCOMPARE(view->editOptions()->geometry().top(), view->visualRect(model()->index(review)).top());
    pressRow(review);
    QTRY_VERIFY(!view->editOptions());
    QCOMPARE(model()->stripRow(), -1);

    // A draft: a narrower strip, also flush right, without Join.
    const int draft = rowOf(QStringLiteral("Budget (draft)"));
    pressRow(draft);
    QVERIFY(view->editOptions());
    QVERIFY(!view->editOptions()->joinMeetingButton());
    QCOMPARE(view->editOptions()->geometry().right(),
             view->visualRect(model()->index(draft)).right());
    QVERIFY(EditOptionsView::stripWidth(true) < stripWidth);
    // Opening another row moves the strip there; a reload discards it.
    pressRow(review);
    QCOMPARE(model()->stripRow(), review);
    QVERIFY(view->editOptions()->joinMeetingButton());
    QVERIFY(fetchAndWait());
    QTRY_VERIFY(!view->editOptions());

    // The row under the pointer turns white; its neighbours keep the page's colour.
    const QRect hovered = view->visualRect(model()->index(review));
    const QRect other = view->visualRect(model()->index(draft));
    // The X pointer goes there too: a pointer left elsewhere would take the hover back at the
    // next crossing event the server sends.
    const QPoint hoverPoint(300, hovered.center().y());
    QCursor::setPos(view->viewport()->mapToGlobal(hoverPoint));
    QTest::mouseMove(view->viewport(), hoverPoint);
    auto pixelAt = [&](const QRect& row) {
        const QPoint at = view->viewport()->mapTo(m_page.get(), QPoint(300, row.center().y()));
        return m_page->grab().toImage().pixelColor(at);
    };
    QTRY_COMPARE(pixelAt(hovered), QColor(Qt::white));
    QVERIFY(pixelAt(other) != QColor(Qt::white));
    // A refresh under the resting pointer keeps the row white.
    QSignalSpy resets(model(), &QAbstractItemModel::modelReset);
    QVERIFY(fetchAndWait());
    QTRY_VERIFY(!resets.isEmpty());
    QCOMPARE(pixelAt(hovered), QColor(Qt::white));

    // Header rows ignore presses; nothing was opened so far.
    pressRow(0);
    QVERIFY(!view->editOptions());
    QVERIFY(m_session.browser().urls().isEmpty());

    // Calendar meetings join at once; finished ones, finished service meetings and records
    // without an end do nothing.
    QVariantMap outlook = record(QStringLiteral("Outlook call"), nowMs() + kHour,
                                 nowMs() + 2 * kHour, QStringLiteral("outlook"));
    outlook.insert(QStringLiteral("meetingDomain"), QStringLiteral("eu.velora.example"));
    outlook.insert(QStringLiteral("addAttendeePasscode"), true);
    outlook.insert(QStringLiteral("attendeePasscode"), QStringLiteral("1357"));
    const QVariantMap finishedIcal = record(QStringLiteral("Old ical"), nowMs() - 2 * kHour,
                                            nowMs() - kHour, QStringLiteral("ical"));
    QVariantMap finishedService = record(QStringLiteral("Old service"), nowMs() - 2 * kHour,
                                         nowMs() - kHour, QStringLiteral("velora"));
    finishedService.insert(QStringLiteral("id"), 5);
    QVariantMap noEnd =
        record(QStringLiteral("No end"), nowMs() + kHour, 0, QStringLiteral("velora"));
    noEnd.remove(QStringLiteral("end"));
    model()->setDays(
        {bucket(QDate::currentDate(), {outlook, finishedIcal, finishedService, noEnd})}, nowMs());
    pressRow(1);
    QCOMPARE(m_session.browser().urls(),
             QList<QUrl>{QUrl(QStringLiteral("https://eu.velora.example/424242/1357"))});
    QVERIFY(!view->editOptions());
    for (int row = 2; row <= 4; ++row)
        pressRow(row);
    QCOMPARE(m_session.browser().urls().size(), 1);
    QVERIFY(!view->editOptions());
    QCOMPARE(model()->presentation(3)->status, QStringLiteral("Completed"));
}

void tst_UpcomingMeetingsList::stripActionsPostAndReport() {
    QVERIFY(fetchAndWait());
    UpcomingMeetingsListView* view = m_page->unifiedTableView();
    const int review = rowOf(QStringLiteral("Design review"));
    const QVariantMap shown = model()->record(review)->toVariantMap();
    QCOMPARE(shown.value(QStringLiteral("calendar_entry_type")).toString(),
             QStringLiteral("velora"));
    pressRow(review);
    QVERIFY(view->editOptions());

    // Join: the web domain, the meeting's id and the user's moderator passcode.
    QTest::mouseClick(view->editOptions()->joinMeetingButton(), Qt::LeftButton);
    QCOMPARE(m_session.browser().urls().size(), 1);
    QCOMPARE(m_session.browser().urls().first().toString(),
             QStringLiteral("https://%1/%2/2468")
                 .arg(TamberDataModel::VLRdomain(),
                      TamberDataModel::urlText(shown.value(QStringLiteral("numericMeetingId")))));

    // Edit: the request for the scheduler carries the row's record; the click is reported.
    PostedNotifications postings({QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
                                  QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED")});
    QTest::mouseClick(view->editOptions()->editMeetingButton(), Qt::LeftButton);
    QCOMPARE(postings.names.size(), 1);
    QCOMPARE(postings.names.first(), QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"));
    QCOMPARE(postings.objects.first().toMap(), shown);

    // Delete: the click is reported and the meeting's confirmation opens over the button;
    // "CLOSE_DELETE_MEETING" closes it.
    QTest::mouseClick(view->editOptions()->deleteMeetingButton(), Qt::LeftButton);
    QPointer<QWidget> popup = view->editOptions()->confirmDeletePopover();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    QVERIFY(view->editOptions()->confirmDeleteViewController());
    QCOMPARE(view->editOptions()->confirmDeleteViewController()->meeting(), shown);
    QVERIFY(!view->editOptions()->confirmDeleteDraftViewController());
    QTRY_VERIFY_WITH_TIMEOUT(!m_session.eventsNamed(QStringLiteral("edit_meeting")).isEmpty() &&
                                 !m_session.eventsNamed(QStringLiteral("cancel_meeting")).isEmpty(),
                             15000);
    const QJsonObject edit = m_session.eventsNamed(QStringLiteral("edit_meeting")).first();
    const QJsonObject cancel = m_session.eventsNamed(QStringLiteral("cancel_meeting")).first();
    const QString id = TamberDataModel::urlText(shown.value(QStringLiteral("numericMeetingId")));
    QCOMPARE(TamberDataModel::urlText(edit[QStringLiteral("meetingId")].toVariant()), id);
    QCOMPARE(cancel[QStringLiteral("status")].toString(), QStringLiteral("click"));
    QCOMPARE(TamberDataModel::urlText(cancel[QStringLiteral("meetingId")].toVariant()), id);
    NotificationCenter::defaultCenter().post(QStringLiteral("CLOSE_DELETE_MEETING"));
    QTRY_VERIFY(popup.isNull() || !popup->isVisible());
}

void tst_UpcomingMeetingsList::failedFetchKeepsTheListAndShowsCaution() {
    QVERIFY(fetchAndWait());
    const int rows = model()->rowCount();
    QVERIFY(!m_page->cautionMessage()->isVisible());

    // A service error: caution with the error's description, spinner stopped, list kept.
    m_session.sim().injectFault(VeloraSimulator::Endpoint::Meetings, Fault::httpError(500));
    NotificationCenter::defaultCenter().post(QStringLiteral("REFRESH_UPCOMING_MEETINGS"));
    QTRY_VERIFY_WITH_TIMEOUT(m_page->cautionMessage()->isVisible(), 15000);
    QVERIFY(!m_page->fetchMeetingProgressIndicator()->isVisible());
    QVERIFY(!m_page->fetchMeetingProgressIndicator()->isAnimating());
    QCOMPARE(model()->rowCount(), rows);
    QVERIFY(m_page->unifiedTableView()->isVisible());
    QVERIFY(m_page->scheduleMeetingButton()->isEnabled());

    // A reply that is not a list fails the same way.
    m_session.sim().injectFault(VeloraSimulator::Endpoint::Meetings,
                                Fault::replyWith(200, R"({"errorCode":"X","message":"no"})"));
    m_page->cautionMessage()->hide();
    m_page->fetchUpcomingMeetings();
    QTRY_VERIFY_WITH_TIMEOUT(m_page->cautionMessage()->isVisible(), 15000);
    QCOMPARE(model()->rowCount(), rows);

    // A connection lost during the token check also disables the schedule button; the next
    // good fetch enables it.
    m_session.sim().clearFaults();
    m_session.sim().injectFault(VeloraSimulator::Endpoint::TokenInfo, Fault::refuse());
    m_page->fetchUpcomingMeetings();
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->scheduleMeetingButton()->isEnabled(), 15000);
    QVERIFY(m_page->cautionMessage()->isVisible());
    QVERIFY(!m_page->cautionMessage()->toolTip().isEmpty());
    m_session.sim().clearFaults();
    QVERIFY(fetchAndWait());
    QVERIFY(m_page->scheduleMeetingButton()->isEnabled());
    QVERIFY(!m_page->cautionMessage()->isVisible());
}

void tst_UpcomingMeetingsList::failureSaysWhyUnderTheListAndRetries_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("503") << Fault::httpError(503)
                         << QStringLiteral(
                                "Meetings could not be loaded: the service answered 503.");
    const QString unreadable =
        QStringLiteral("Meetings could not be loaded: the service's reply could not be read.");
    QTest::newRow("garbage") << Fault::garbage() << unreadable;
    QTest::newRow("empty") << Fault::empty() << unreadable;
    QTest::newRow("not a list") << Fault::replyWith(200, R"({"message":"no"})") << unreadable;
}

void tst_UpcomingMeetingsList::failureSaysWhyUnderTheListAndRetries() {
    QFETCH(Fault, fault);
    QFETCH(QString, message);
    QVERIFY(fetchAndWait());
    const int rows = model()->rowCount();
    QVERIFY(!m_page->failureNotice()->isVisible());

    m_session.sim().injectFault(VeloraSimulator::Endpoint::Meetings, fault);
    m_page->fetchUpcomingMeetings();
    QTRY_VERIFY_WITH_TIMEOUT(m_page->failureNotice()->isVisible(), 15000);
    QCOMPARE(m_page->failureMessage()->text(), message);
    QVERIFY(m_page->retryFetchButton()->isVisible());
    // The previous list stays above the notice; the caution button is still there.
    QVERIFY(m_page->unifiedTableView()->isVisible());
    QCOMPARE(model()->rowCount(), rows);
    QVERIFY(m_page->cautionMessage()->isVisible());
    if (QLatin1String(QTest::currentDataTag()) == QLatin1String("503"))
        MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-failed"));

    m_session.sim().clearFaults();
    QTest::mouseClick(m_page->retryFetchButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->failureNotice()->isVisible() &&
                                 !m_page->fetcher()->isFetching() && model()->rowCount() == rows,
                             15000);
    QVERIFY(!m_page->cautionMessage()->isVisible());
}

void tst_UpcomingMeetingsList::emptyAndListlessFailureStates() {
    PostedNotifications postings({QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED")});
    TamberDataModel::sharedData()->meetingDrafts.clear();
    m_session.sim().injectFault(VeloraSimulator::Endpoint::Meetings, Fault::replyWith(200, "[]"));
    m_page->fetchUpcomingMeetings();

    // Nothing to list: said so, with the Schedule button right there (the only one).
    QTRY_VERIFY_WITH_TIMEOUT(m_page->emptyState()->isVisible(), 15000);
    QCOMPARE(m_page->noMeetingsScheduled()->text(), QStringLiteral("No upcoming meetings"));
    QVERIFY(!m_page->unifiedTableView()->isVisible());
    QVERIFY(m_page->emptyScheduleButton()->isVisible());
    QVERIFY(!m_page->scheduleMeetingButton()->isVisible());
    MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-empty"));
    QTest::mouseClick(m_page->emptyScheduleButton(), Qt::LeftButton);
    QCOMPARE(postings.names, QStringList{QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED")});

    // A failure with no list to keep: the reason takes the list's place.
    m_session.sim().clearFaults();
    m_session.sim().injectFault(VeloraSimulator::Endpoint::Meetings, Fault::httpError(503));
    m_page->fetchUpcomingMeetings();
    QTRY_VERIFY_WITH_TIMEOUT(m_page->failureNotice()->isVisible(), 15000);
    QVERIFY(!m_page->emptyState()->isVisible());
    QVERIFY(!m_page->unifiedTableView()->isVisible());
    QVERIFY(m_page->scheduleMeetingButton()->isVisible());
    QVERIFY(m_page->failureMessage()->isVisible());
    MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-failed-alone"));
}

void tst_UpcomingMeetingsList::scheduleButtonFollowsTheCalendar() {
    TamberDataModel* rec = TamberDataModel::sharedData();
    QPushButton* schedule = m_page->scheduleMeetingButton();
    PostedNotifications postings({QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED")});

    // The service's calendar, or none chosen: the scheduler is asked for.
    QVERIFY(fetchAndWait());
    QCOMPARE(schedule->text(), QStringLiteral("Schedule Meeting"));
    QTest::mouseClick(schedule, Qt::LeftButton);
    rec->calendar = QVariant();
    QTest::mouseClick(schedule, Qt::LeftButton);
    QCOMPARE(postings.names.size(), 2);
    QVERIFY(!postings.objects.first().isValid());

    // Outlook: the title says so, and here (no script host) creating the event fails into the
    // caution button.
    rec->calendar = QStringLiteral("outlook_calendar");
    QVERIFY(fetchAndWait());
    QCOMPARE(schedule->text(), QStringLiteral("Schedule Meeting with Outlook"));
    QVERIFY(!m_page->scheduleCautionButton()->isVisible());
    LogSpy logs;
    QTest::mouseClick(schedule, Qt::LeftButton);
    QTRY_VERIFY(m_page->scheduleCautionButton()->isVisible());
    QCOMPARE(postings.names.size(), 2);
    // One failure, one error line (the calendar store's).
    QCOMPARE(
        logs.messages(Log::Error).count(QStringLiteral("Error while scheduling outlook meetings.")),
        1);

    // Calendar: its own title and tooltip.
    rec->calendar = QStringLiteral("apple_calendar");
    QVERIFY(fetchAndWait());
    QCOMPARE(schedule->text(), QStringLiteral("Schedule Meeting with Calendar"));
    m_page->scheduleCautionButton()->hide();
    QTest::mouseClick(schedule, Qt::LeftButton);
    QTRY_VERIFY(m_page->scheduleCautionButton()->isVisible());
    QVERIFY(m_page->scheduleCautionButton()->toolTip().startsWith(
        QLatin1String("Please verify if Apple Calendar is configured")));

    // An unknown choice: title unchanged, the button does nothing.
    rec->calendar = QStringLiteral("google_calendar");
    QVERIFY(fetchAndWait());
    QCOMPARE(schedule->text(), QStringLiteral("Schedule Meeting with Calendar"));
    QTest::mouseClick(schedule, Qt::LeftButton);
    QCOMPARE(postings.names.size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(m_session.eventsNamed(QStringLiteral("schedule")).count() >= 5, 15000);
}

void tst_UpcomingMeetingsList::outlookPresenceSetsTheScheduleCaution() {
    // With Outlook as the default calendar the page looks for it as it is made; this system
    // has no Outlook.
    TamberDataModel::sharedData()->calendar = QStringLiteral("outlook_calendar");
    m_page = std::make_unique<UpcomingMeetingsViewController>();
    m_page->show();
    QVERIFY(m_page->scheduleCautionButton()->isVisible());
    QCOMPARE(m_page->scheduleCautionButton()->toolTip(),
             QStringLiteral("Microsoft Outlook doesn't seem to be installed"));

    LookupStore store;
    m_page->fetcher()->setCalendarStore(&store);
    store.answer = {CalendarStore::AppLookup::Failed, QString(), -43};
    m_page->checkOutlookPresence();
    QVERIFY(m_page->scheduleCautionButton()->isVisible());
    QCOMPARE(m_page->scheduleCautionButton()->toolTip(),
             QStringLiteral("There was an error connecting to Microsoft Outlook"));
    LogSpy logs;
    store.answer = {CalendarStore::AppLookup::Found, QStringLiteral("/Applications/Outlook.app"),
                    0};
    m_page->checkOutlookPresence();
    QVERIFY(!m_page->scheduleCautionButton()->isVisible());
    QVERIFY(logs.contains(Log::Info, QStringLiteral("Found my app@: /Applications/Outlook.app")));
    m_page->fetcher()->setCalendarStore(nullptr);
}

void tst_UpcomingMeetingsList::hostileRecordsRenderWithinTheirRows() {
    const qint64 now = nowMs();
    QList<QVariantMap> meetings;
    meetings << record(QString(10000, QChar(0x5D0)) + QStringLiteral(" end"), now, now + kHour,
                       QStringLiteral("velora"));
    meetings << record(QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 "
                                         "\xF0\x9F\x91\x8B\xF0\x9F\x8F\xBD mixed "
                                         "\xE2\x80\xAE reversed"),
                       now, now + kHour, QStringLiteral("ical"));
    QVariantMap badZone =
        record(QStringLiteral("Bad zone"), now, now + kHour, QStringLiteral("velora"));
    badZone.insert(QStringLiteral("timezone"), QStringLiteral("Nowhere/Atlantis"));
    meetings << badZone;
    meetings << record(QStringLiteral("1900"), -2208988800000LL, -2208985200000LL,
                       QStringLiteral("outlook"));
    meetings << record(QStringLiteral("2200"), 7258118400000LL, 7258122000000LL,
                       QStringLiteral("velora"));
    QVariantMap absurd = record(QStringLiteral("absurd"), 0, 0, QStringLiteral("velora"));
    absurd.insert(QStringLiteral("start"), 1e300);
    absurd.insert(QStringLiteral("end"), QStringLiteral("later"));
    meetings << absurd;
    // Two days of 2 and 1 meetings: headers at rows 0 and 3, five rows.
    model()->setDays(
        {bucket(QDate(2026, 1, 1), meetings.mid(0, 2)), bucket(QDate(2026, 1, 2), meetings.mid(2))},
        now);
    QCOMPARE(model()->rowCount(), 2 + meetings.size());
    QVERIFY(model()->isHeader(0));
    QVERIFY(model()->isHeader(3));
    QVERIFY(!model()->isHeader(4));

    UpcomingMeetingsListView* view = m_page->unifiedTableView();
    view->show();
    MenuSession::snapshot(m_page.get(), QStringLiteral("upcoming-hostile"));
    const QImage image = view->grab().toImage();
    QVERIFY(!image.isNull());
    // Every row keeps its height; nothing widens the list sideways.
    for (int row = 0; row < model()->rowCount(); ++row) {
        const QRect rect = view->visualRect(model()->index(row));
        QCOMPARE(rect.height(), model()->isHeader(row) ? UpcomingMeetingsItemDelegate::kHeaderHeight
                                                       : UpcomingMeetingsItemDelegate::kRowHeight);
        QVERIFY(rect.width() <= view->viewport()->width());
    }
    QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
    QVERIFY(model()->presentation(1)->title.size() <= MeetingRowPresentation::kTitleLength + 1);
    // Rows 4 to 6 (unknown zone, 1900, 2200) still show their times; row 7 has none usable.
    for (int row = 4; row <= 6; ++row)
        QVERIFY2(model()->presentation(row)->timeSpan.contains(QLatin1String(" - ")),
                 qPrintable(model()->presentation(row)->timeSpan));
    QVERIFY(model()->presentation(7)->timeSpan.isEmpty());
    QCOMPARE(model()->presentation(5)->status, QStringLiteral("Completed"));
    // Clicks on the odd rows behave like any other.
    for (int row = 1; row < model()->rowCount(); ++row)
        pressRow(row);
    QCoreApplication::processEvents();
}

TAMBER_TEST_MAIN_GUI(tst_UpcomingMeetingsList)
#include "tst_UpcomingMeetingsList.moc"
