#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Calendars/CalendarFeeds.h"
#include "Calendars/CalendarStore.h"
#include "GuiSuite.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteMeetingViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsItemDelegate.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"

#include <QCursor>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <algorithm>

using namespace Qt::StringLiterals;
using EP = VeloraSimulator::Endpoint;

namespace {

const qint64 kHour = 3600 * 1000;
const qint64 kNow = QDateTime::currentMSecsSinceEpoch();

QVariantMap record(const QString& title, qint64 start, qint64 end, const QString& type) {
    return {{u"title"_s, title},
            {u"start"_s, double(start)},
            {u"end"_s, double(end)},
            {u"calendar_entry_type"_s, type},
            {u"numericMeetingId"_s, u"424242"_s}};
}

DayBucket bucket(const QDate& day, const QList<QVariantMap>& meetings) {
    DayBucket b{day, 0, day.toString(), {}};
    for (const QVariantMap& m : meetings)
        b.meetings << m;
    return b;
}

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
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_session.start());
    }

    void init() {
        m_session.begin(u"Budget (draft)"_s, 2, QTime(15, 0));
        m_page = std::make_unique<UpcomingMeetingsViewController>();
        m_page->resize(340, 400);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup() {
        m_page.reset();
        m_session.end();
    }

    void listsTheWeekByDayWithDraft() {
        QVERIFY(fetchAndWait());
        UpcomingMeetingsListModel* m = model();
        const QList<DayBucket>& days = m->days();
        QVERIFY(days.size() >= 5 && list()->isVisible() &&
                !m_page->noMeetingsScheduled()->isVisible());
        QVERIFY(!m_page->fetchMeetingProgressIndicator()->isVisible());

        // Rows run day by day: a header, then the day's meetings, each showing its own record.
        int row = 0;
        for (const DayBucket& day : days) {
            QVERIFY(m->isHeader(row));
            QCOMPARE(m->headerText(row), day.day.toString(u"ddd MMM dd, yyyy"_s));
            QCOMPARE(rowRect(row++).height(), UpcomingMeetingsItemDelegate::kHeaderHeight);
            for (const MeetingRecord& meeting : day.meetings) {
                QVERIFY(!m->isHeader(row));
                QCOMPARE(m->presentation(row)->title, meeting.value(u"title"_s).toString());
                QCOMPARE(rowRect(row++).height(), UpcomingMeetingsItemDelegate::kRowHeight);
            }
        }
        QCOMPARE(m->rowCount(), row);

        // A day header: room above the day's name, no dark band, a light rule along the bottom.
        list()->scrollToTop();
        const QRect header = rowRect(0);
        const QImage page = m_page->grab().toImage();
        int inkTop = -1, inkBottom = -1, darkest = 255;
        for (int y = header.top(); y < header.bottom(); ++y) {
            for (int x = header.left(); x < header.right(); ++x) {
                const int gray = qGray(pixel(page, {x, y}).rgb());
                darkest = qMin(darkest, gray);
                if (gray < 160) {
                    inkTop = inkTop < 0 ? y : inkTop;
                    inkBottom = y;
                }
            }
        }
        QVERIFY2(inkTop - header.top() >= 10 && inkBottom - inkTop + 1 >= 9,
                 qPrintable(u"text rows %1 to %2"_s.arg(inkTop).arg(inkBottom)));
        QVERIFY(inkBottom < header.bottom() - 2);
        QVERIFY(darkest > 40); // text grey, nothing near black
        const int x = header.right() - 10;
        for (int y = inkBottom + 1; y < header.bottom(); ++y)
            QVERIFY(qGray(pixel(page, {x, y}).rgb()) > 200);
        const QColor rule = pixel(page, {x, header.bottom()});
        QVERIFY(rule != pixel(page, {x, header.bottom() - 2}) && qGray(rule.rgb()) > 200);

        // The draft, a series and a service meeting show their marks.
        const auto shown = [&](const QString& title) { return m->presentation(rowOf(title)); };
        QCOMPARE(shown(u"Budget (draft)"_s)->status, u"Draft"_s);
        QVERIFY(shown(u"Budget (draft)"_s)->draft && shown(u"Weekly team sync"_s)->recurring);
        QVERIFY(shown(u"Design review"_s)->serviceMeeting);
        QVERIFY(shown(u"Design review"_s)->timeSpan.contains(" - "_L1));
    }

    void clicksPerSourceAndTheStrip() {
        QVERIFY(fetchAndWait());
        UpcomingMeetingsListView* view = list();
        // A service meeting to come: the strip opens over its row, with Join; a second press
        // closes it.
        const int review = rowOf(u"Design review"_s);
        pressRow(review);
        QVERIFY(view->editOptions() && view->editOptions()->isVisible());
        QCOMPARE(model()->stripRow(), review);
        const QRect reviewRect = rowRect(review);
        // Over the row's right part, flush with its right edge, above its separator.
        const int stripWidth = EditOptionsView::stripWidth(false);
        QCOMPARE(view->editOptions()->geometry(),
                 QRect(reviewRect.right() + 1 - stripWidth, reviewRect.top(), stripWidth,
                       EditOptionsView::kHeight));
        QVERIFY(view->editOptions()->joinMeetingButton());
        MenuSession::snapshot(m_page.get(), u"upcoming-strip"_s);
        // The row stays where it was: its title starts at its usual place, readable up to the
        // strip, and the strip has the open row's own white.
        const QImage shown = view->viewport()->grab().toImage();
        int firstInk = -1, lastInk = -1;
        for (int x = 0; x < reviewRect.right() + 1 - stripWidth; ++x) {
            if (qGray(shown.pixel(x, reviewRect.top() + 32)) < 140) {
                firstInk = firstInk < 0 ? x : firstInk;
                lastInk = x;
            }
        }
        QVERIFY2(firstInk >= 10 && lastInk - firstInk > 60,
                 qPrintable(u"title ink %1 to %2"_s.arg(firstInk).arg(lastInk)));
        for (int x : {reviewRect.right() - 2, reviewRect.right() + 2 - stripWidth})
            QCOMPARE(shown.pixelColor(x, reviewRect.top() + 4), QColor(Qt::white));
        // The strip stays on its row while the list scrolls.
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + 13);
        QCOMPARE(view->editOptions()->geometry().top(), rowRect(review).top());
        pressRow(review);
        QTRY_VERIFY(!view->editOptions());
        QCOMPARE(model()->stripRow(), -1);

        // A draft: a narrower strip, also flush right, without Join.
        const int draft = rowOf(u"Budget (draft)"_s);
        pressRow(draft);
        QVERIFY(view->editOptions() && !view->editOptions()->joinMeetingButton());
        QCOMPARE(view->editOptions()->geometry().right(), rowRect(draft).right());
        QVERIFY(EditOptionsView::stripWidth(true) < stripWidth);
        // Opening another row moves the strip there; a reload discards it.
        pressRow(review);
        QCOMPARE(model()->stripRow(), review);
        QVERIFY(view->editOptions()->joinMeetingButton() && fetchAndWait());
        QTRY_VERIFY(!view->editOptions());

        // The row under the pointer turns white; its neighbours keep the page's colour. The X
        // pointer goes there too: a pointer left elsewhere would take the hover back at the next
        // crossing event the server sends.
        const QPoint hoverPoint(300, rowRect(review).center().y());
        QCursor::setPos(view->viewport()->mapToGlobal(hoverPoint));
        QTest::mouseMove(view->viewport(), hoverPoint);
        const auto colourOf = [&](int row) {
            return pixel(m_page->grab().toImage(), {300, rowRect(row).center().y()});
        };
        QTRY_COMPARE(colourOf(review), QColor(Qt::white));
        QVERIFY(colourOf(draft) != QColor(Qt::white));
        // A refresh under the resting pointer keeps the row white.
        // So does a changed list, whose rows are rebuilt (one more meeting after the others).
        QList<DayBucket> more = model()->days();
        more.last().meetings << record(u"Late addition"_s, kNow + 5 * kHour, kNow + 6 * kHour,
                                       u"velora"_s);
        QSignalSpy resets(model(), &QAbstractItemModel::modelReset);
        model()->setDays(more, QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(resets.size(), 1);
        QTRY_COMPARE(colourOf(review), QColor(Qt::white));

        // Header rows ignore presses; nothing was opened so far.
        pressRow(0);
        QVERIFY(!view->editOptions() && m_session.browser().urls().isEmpty());

        // Calendar meetings join at once; finished ones, finished service meetings and records
        // without an end do nothing.
        QVariantMap outlook =
            record(u"Outlook call"_s, kNow + kHour, kNow + 2 * kHour, u"outlook"_s);
        outlook.insert(u"meetingDomain"_s, u"eu.velora.example"_s);
        outlook.insert(u"addAttendeePasscode"_s, true);
        outlook.insert(u"attendeePasscode"_s, u"1357"_s);
        QVariantMap finishedService = record(u"Old service"_s, kNow - 2 * kHour, kNow, u"velora"_s);
        finishedService.insert(u"id"_s, 5);
        QVariantMap noEnd = record(u"No end"_s, kNow + kHour, 0, u"velora"_s);
        noEnd.remove(u"end"_s);
        model()->setDays({bucket(QDate::currentDate(),
                                 {outlook, record(u"Old ical"_s, kNow - 2 * kHour, kNow, u"ical"_s),
                                  finishedService, noEnd})},
                         QDateTime::currentMSecsSinceEpoch());
        for (int row = 1; row <= 4; ++row)
            pressRow(row);
        QCOMPARE(m_session.browser().urls(),
                 QList<QUrl>{QUrl(u"https://eu.velora.example/424242/1357"_s)});
        QVERIFY(!view->editOptions());
        QCOMPARE(model()->presentation(3)->status, u"Completed"_s);
    }

    void stripActionsPostAndReport() {
        QVERIFY(fetchAndWait());
        const int review = rowOf(u"Design review"_s);
        const QVariantMap shown = model()->record(review)->toVariantMap();
        const QString id = TamberDataModel::urlText(shown.value(u"numericMeetingId"_s));
        pressRow(review);
        EditOptionsView* strip = list()->editOptions();
        QVERIFY(strip);

        // Join: the web domain, the meeting's id and the user's moderator passcode.
        QTest::mouseClick(strip->joinMeetingButton(), Qt::LeftButton);
        QCOMPARE(m_session.browser().urls(),
                 QList<QUrl>{QUrl(u"https://%1/%2/2468"_s.arg(TamberDataModel::VLRdomain(), id))});

        // Edit: the request for the scheduler carries the row's record.
        PostedNotifications postings(
            {u"EDIT_MEETING_POPOVERREQUESTED"_s, u"SCHEDULE_MEETING_POPOVERREQUESTED"_s});
        QTest::mouseClick(strip->editMeetingButton(), Qt::LeftButton);
        QCOMPARE(postings.names, QStringList{u"EDIT_MEETING_POPOVERREQUESTED"_s});
        QCOMPARE(postings.objects.first().toMap(), shown);

        // Delete: the meeting's confirmation opens over the button; "CLOSE_DELETE_MEETING" closes
        // it. Both clicks are reported.
        QTest::mouseClick(strip->deleteMeetingButton(), Qt::LeftButton);
        QPointer<QWidget> popup = strip->confirmDeletePopover();
        QVERIFY(popup);
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(strip->confirmDeleteViewController()->meeting(), shown);
        QVERIFY(!strip->confirmDeleteDraftViewController());
        const QJsonObject edit = m_session.awaitEvents(u"edit_meeting"_s, 0).value(0);
        const QJsonObject cancel = m_session.awaitEvents(u"cancel_meeting"_s, 0).value(0);
        QCOMPARE(TamberDataModel::urlText(edit[u"meetingId"_s].toVariant()), id);
        QCOMPARE(cancel[u"status"_s].toString(), u"click"_s);
        QCOMPARE(TamberDataModel::urlText(cancel[u"meetingId"_s].toVariant()), id);
        NotificationCenter::defaultCenter().post(u"CLOSE_DELETE_MEETING"_s);
        QTRY_VERIFY(popup.isNull() || !popup->isVisible());
    }

    void failureSaysWhyUnderTheListAndRetries_data() {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("message"); // empty: any reason
        const QString unreadable =
            u"Meetings could not be loaded: the service's reply could not be read."_s;
        QTest::newRow("503") << QString(EP::Meetings) << Fault::httpError(503)
                             << u"Meetings could not be loaded: the service answered 503."_s;
        QTest::newRow("garbage") << QString(EP::Meetings) << Fault::garbage() << unreadable;
        QTest::newRow("empty") << QString(EP::Meetings) << Fault::empty() << unreadable;
        QTest::newRow("not a list")
            << QString(EP::Meetings) << Fault::replyWith(200, R"({"errorCode":"X","message":"no"})")
            << unreadable;
        // A connection lost during the token check also disables the schedule button.
        QTest::newRow("token check refused")
            << QString(EP::TokenInfo) << Fault::refuse() << QString();
    }

    void failureSaysWhyUnderTheListAndRetries() {
        QFETCH(QString, endpoint);
        QFETCH(Fault, fault);
        QFETCH(QString, message);
        QVERIFY(fetchAndWait());
        const int rows = model()->rowCount();
        QVERIFY(!m_page->failureNotice()->isVisible() && !m_page->cautionMessage()->isVisible());

        m_session.sim().injectFault(endpoint, fault);
        NotificationCenter::defaultCenter().post(u"REFRESH_UPCOMING_MEETINGS"_s);
        QTRY_VERIFY_WITH_TIMEOUT(m_page->failureNotice()->isVisible(), 15000);
        if (!message.isEmpty())
            QCOMPARE(m_page->failureMessage()->text(), message);
        QVERIFY(m_page->failureMessage()->text().startsWith("Meetings could not be loaded: "_L1));
        QVERIFY(m_page->retryFetchButton()->isVisible());
        QVERIFY(!m_page->fetchMeetingProgressIndicator()->isVisible());
        QVERIFY(!m_page->fetchMeetingProgressIndicator()->isAnimating());
        QCOMPARE(m_page->scheduleMeetingButton()->isEnabled(), !message.isEmpty());
        // The previous list stays above the notice; the caution button says why as well.
        QVERIFY(list()->isVisible());
        QCOMPARE(model()->rowCount(), rows);
        QVERIFY(m_page->cautionMessage()->isVisible());
        if (message.isEmpty())
            QVERIFY(!m_page->cautionMessage()->toolTip().isEmpty());
        if (QTest::currentDataTag() == "503"_L1)
            MenuSession::snapshot(m_page.get(), u"upcoming-failed"_s);

        m_session.sim().clearFaults();
        QTest::mouseClick(m_page->retryFetchButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->failureNotice()->isVisible() &&
                                     !m_page->fetcher()->isFetching() &&
                                     model()->rowCount() == rows,
                                 15000);
        QVERIFY(!m_page->cautionMessage()->isVisible() &&
                m_page->scheduleMeetingButton()->isEnabled());
    }

    void emptyAndListlessFailureStates() {
        PostedNotifications postings({u"SCHEDULE_MEETING_POPOVERREQUESTED"_s});
        TamberDataModel::sharedData()->meetingDrafts.clear();
        m_session.sim().injectFault(EP::Meetings, Fault::replyWith(200, "[]"));
        m_page->fetchUpcomingMeetings();

        // Nothing to list: said so, with the Schedule button right there (the only one).
        QTRY_VERIFY_WITH_TIMEOUT(m_page->emptyState()->isVisible(), 15000);
        QCOMPARE(m_page->noMeetingsScheduled()->text(), u"No upcoming meetings"_s);
        QVERIFY(!list()->isVisible() && !m_page->scheduleMeetingButton()->isVisible());
        MenuSession::snapshot(m_page.get(), u"upcoming-empty"_s);
        QTest::mouseClick(m_page->emptyScheduleButton(), Qt::LeftButton);
        QCOMPARE(postings.names, QStringList{u"SCHEDULE_MEETING_POPOVERREQUESTED"_s});

        // A failure with no list to keep: the reason takes the list's place.
        m_session.sim().clearFaults();
        m_session.sim().injectFault(EP::Meetings, Fault::httpError(503));
        m_page->fetchUpcomingMeetings();
        QTRY_VERIFY_WITH_TIMEOUT(m_page->failureNotice()->isVisible(), 15000);
        QVERIFY(!m_page->emptyState()->isVisible() && !list()->isVisible());
        QVERIFY(m_page->scheduleMeetingButton()->isVisible() &&
                m_page->failureMessage()->isVisible());
        MenuSession::snapshot(m_page.get(), u"upcoming-failed-alone"_s);
    }

    void scheduleButtonFollowsTheCalendar() {
        TamberDataModel* rec = TamberDataModel::sharedData();
        QPushButton* schedule = m_page->scheduleMeetingButton();
        PostedNotifications postings({u"SCHEDULE_MEETING_POPOVERREQUESTED"_s});
        // Clicked under each calendar choice: the title shown, and whether the caution comes up.
        const auto clickUnder = [&](const QVariant& calendar, const QString& title, bool caution) {
            rec->calendar = calendar;
            QVERIFY(fetchAndWait());
            QCOMPARE(schedule->text(), title);
            m_page->scheduleCautionButton()->hide();
            QTest::mouseClick(schedule, Qt::LeftButton);
            if (caution)
                QTRY_VERIFY(m_page->scheduleCautionButton()->isVisible());
        };

        // The service's calendar, or none chosen: the scheduler is asked for.
        clickUnder(u"velora_calendar"_s, u"Schedule Meeting"_s, false);
        clickUnder(QVariant(), u"Schedule Meeting"_s, false);
        QCOMPARE(postings.names.size(), 2);
        QVERIFY(!postings.objects.first().isValid());
        // Outlook (no script host here): creating the event fails into the caution button, with
        // one error line (the calendar store's).
        LogSpy logs;
        clickUnder(u"outlook_calendar"_s, u"Schedule Meeting with Outlook"_s, true);
        QCOMPARE(logs.messages(Log::Error).count(u"Error while scheduling outlook meetings."_s), 1);
        clickUnder(u"apple_calendar"_s, u"Schedule Meeting with Calendar"_s, true);
        QVERIFY(m_page->scheduleCautionButton()->toolTip().startsWith(
            "Please verify if Apple Calendar is configured"_L1));
        // An unknown choice: title unchanged, the button does nothing.
        clickUnder(u"google_calendar"_s, u"Schedule Meeting with Calendar"_s, false);
        QCOMPARE(postings.names.size(), 2);
        // Feeds are read-only: the service's scheduler is asked for.
        clickUnder(u"ics_calendar"_s, u"Schedule Meeting"_s, false);
        QCOMPARE(postings.names.size(), 3);
        QVERIFY(m_session.awaitEvents(u"schedule"_s, 0, 5).size() >= 5);
    }

    void outlookPresenceSetsTheScheduleCaution() {
        // With Outlook as the default calendar the page looks for it as it is made; this system
        // has no Outlook.
        TamberDataModel::sharedData()->calendar = u"outlook_calendar"_s;
        m_page = std::make_unique<UpcomingMeetingsViewController>();
        m_page->show();
        QToolButton* caution = m_page->scheduleCautionButton();
        QVERIFY(caution->isVisible());
        QCOMPARE(caution->toolTip(), u"Microsoft Outlook doesn't seem to be installed"_s);

        LookupStore store;
        m_page->fetcher()->setCalendarStore(&store);
        store.answer = {CalendarStore::AppLookup::Failed, QString(), -43};
        m_page->checkOutlookPresence();
        QVERIFY(caution->isVisible());
        QCOMPARE(caution->toolTip(), u"There was an error connecting to Microsoft Outlook"_s);
        LogSpy logs;
        store.answer = {CalendarStore::AppLookup::Found, u"/Applications/Outlook.app"_s, 0};
        m_page->checkOutlookPresence();
        QVERIFY(!caution->isVisible());
        QVERIFY(logs.contains(Log::Info, u"Found my app@: /Applications/Outlook.app"_s));
        m_page->fetcher()->setCalendarStore(nullptr);
    }

    void sameListKeepsItsRowsAndFollowsTheClock() {
        QVariantMap ending =
            record(u"Ending soon"_s, kNow - kHour, kNow + 10 * 60 * 1000, u"velora"_s);
        ending.insert(u"id"_s, 7);
        QVariantMap later = record(u"Later"_s, kNow + kHour, kNow + 2 * kHour, u"velora"_s);
        later.insert(u"id"_s, 8);
        const QList<DayBucket> days{bucket(QDate::currentDate(), {ending, later})};
        model()->setDays(days, kNow);
        QCoreApplication::processEvents(); // the rows are painted: their presentation is kept
        QCOMPARE(model()->presentation(1)->click, RowClick::ToggleStrip);
        pressRow(2);
        QVERIFY(list()->editOptions());

        // The same list half an hour on: no reset, yet the ended meeting reads "Completed" and
        // no longer opens a strip, and the reload still discards the open strip.
        QSignalSpy resets(model(), &QAbstractItemModel::modelReset);
        QSignalSpy changes(model(), &QAbstractItemModel::dataChanged);
        model()->setDays(days, kNow + 30 * 60 * 1000);
        QCOMPARE(resets.size(), 0);
        QVERIFY(!list()->editOptions() && model()->stripRow() == -1);
        QCOMPARE(model()->presentation(1)->status, u"Completed"_s);
        QCOMPARE(model()->presentation(1)->click, RowClick::None);
        QCOMPARE(model()->presentation(2)->status, QString());
        QVERIFY(std::any_of(changes.cbegin(), changes.cend(), [](const QList<QVariant>& change) {
            return change.at(0).toModelIndex().row() == 1;
        }));
        QCOMPARE(rowOf(u"Later"_s), 2);
    }

    void hostileRecordsRenderWithinTheirRows() {
        QList<QVariantMap> meetings{
            record(QString(10000, QChar(0x5D0)) + u" end"_s, kNow, kNow + kHour, u"velora"_s),
            record(u"مرحبا 👋🏽 mixed \u202E reversed"_s, kNow, kNow + kHour, u"ical"_s),
            record(u"Bad zone"_s, kNow, kNow + kHour, u"velora"_s),
            record(u"1900"_s, -2208988800000LL, -2208985200000LL, u"outlook"_s),
            record(u"2200"_s, 7258118400000LL, 7258122000000LL, u"velora"_s),
            record(u"absurd"_s, 0, 0, u"velora"_s)};
        meetings[2].insert(u"timezone"_s, u"Nowhere/Atlantis"_s);
        meetings[5].insert(u"start"_s, 1e300);
        meetings[5].insert(u"end"_s, u"later"_s);
        // Two days of 2 and 4 meetings: headers at rows 0 and 3.
        model()->setDays({bucket(QDate(2026, 1, 1), meetings.mid(0, 2)),
                          bucket(QDate(2026, 1, 2), meetings.mid(2))},
                         kNow);
        QCOMPARE(model()->rowCount(), 2 + meetings.size());
        QVERIFY(model()->isHeader(0) && model()->isHeader(3) && !model()->isHeader(4));
        MenuSession::snapshot(m_page.get(), u"upcoming-hostile"_s);
        QVERIFY(!list()->grab().toImage().isNull());
        // Every row keeps its height; nothing widens the list sideways.
        for (int row = 0; row < model()->rowCount(); ++row) {
            QCOMPARE(rowRect(row).height(), model()->isHeader(row)
                                                ? UpcomingMeetingsItemDelegate::kHeaderHeight
                                                : UpcomingMeetingsItemDelegate::kRowHeight);
            QVERIFY(rowRect(row).width() <= list()->viewport()->width());
        }
        QCOMPARE(list()->horizontalScrollBar()->maximum(), 0);
        QVERIFY(model()->presentation(1)->title.size() <= MeetingRowPresentation::kTitleLength + 1);
        // Rows 4 to 6 (unknown zone, 1900, 2200) still show their times; row 7 has none usable.
        for (int row = 4; row <= 6; ++row)
            QVERIFY2(model()->presentation(row)->timeSpan.contains(" - "_L1),
                     qPrintable(model()->presentation(row)->timeSpan));
        QVERIFY(model()->presentation(7)->timeSpan.isEmpty());
        QCOMPARE(model()->presentation(5)->status, u"Completed"_s);
        // Clicks on the odd rows behave like any other.
        for (int row = 1; row < model()->rowCount(); ++row)
            pressRow(row);
        QCoreApplication::processEvents();
    }

    // A feed's meetings join the service's list as they are read; a title that looks like markup
    // shows as typed, in the row and in its tooltip.
    void feedMeetingsBesideServiceMeetings() {
        QTemporaryDir dir;
        QFile ics(dir.filePath("team.ics"));
        QVERIFY(ics.open(QIODevice::WriteOnly));
        const QByteArray day = QDate::currentDate().addDays(1).toString("yyyyMMdd").toLatin1();
        ics.write("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//T//EN\n"
                  "BEGIN:VEVENT\nUID:a\nDTSTART:" +
                  day + "T080000\nDTEND:" + day +
                  "T083000\n"
                  "SUMMARY:<b>Stand-up</b> & retro\nLOCATION:https://velora.example/5550001/42\n"
                  "RRULE:FREQ=DAILY;COUNT=3\nEND:VEVENT\nEND:VCALENDAR\n");
        ics.close();
        TamberDataModel::sharedData()->calendar = u"ics_calendar"_s;
        QVERIFY(fetchAndWait());
        // Read after the fetch: its meetings join the list without another.
        const int fetches = m_session.sim().requestCount("meetings");
        QCOMPARE(CalendarFeeds::shared().addFeed(ics.fileName()), QString());
        const QString title = u"<b>Stand-up</b> & retro"_s;
        QTRY_VERIFY(rowOf(title) > 0);
        QVERIFY(rowOf(u"Budget (draft)"_s) > 0);
        QCOMPARE(m_session.sim().requestCount("meetings"), fetches);
        QTextDocument tip;
        tip.setHtml(model()->data(model()->index(rowOf(title)), Qt::ToolTipRole).toString());
        QCOMPARE(tip.toPlainText(), title);
        MenuSession::snapshot(m_page.get(), u"upcoming-feeds"_s);
        CalendarFeeds::shared().removeFeed(ics.fileName());
    }

private:
    bool fetchAndWait() {
        bool done = false;
        bool ok = false;
        m_page->fetchUpcomingMeetings([&] { done = ok = true; },
                                      [&](const std::optional<ServiceError>&) { done = true; });
        // The list is merged right after the success callback.
        return QTest::qWaitFor([&] { return done && !m_page->fetcher()->isFetching(); }, 15000) &&
               ok && QTest::qWaitFor([&] { return model()->rowCount() > 0; }, 5000);
    }
    int rowOf(const QString& title) const { return MenuSession::rowOf(list(), title); }
    void pressRow(int row) { MenuSession::pressRow(list(), row); }
    UpcomingMeetingsListModel* model() const { return list()->meetingsModel(); }
    UpcomingMeetingsListView* list() const { return m_page->unifiedTableView(); }
    QRect rowRect(int row) const { return list()->visualRect(model()->index(row)); }
    // The colour the page shows at `point` of the list's viewport.
    QColor pixel(const QImage& page, const QPoint& point) const {
        return page.pixelColor(list()->viewport()->mapTo(m_page.get(), point));
    }

    MenuSession m_session;
    std::unique_ptr<UpcomingMeetingsViewController> m_page;
};

TAMBER_TEST_MAIN_GUI(tst_UpcomingMeetingsList)
#include "tst_UpcomingMeetingsList.moc"
