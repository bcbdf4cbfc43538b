#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "GuiSuite.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteDraftViewController.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteMeetingViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"

#include <QApplication>
#include <QJsonDocument>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Fault)

namespace {

// What a restart would find: the preferences file, not the record in memory.
QVariantMap storedDraft(const QString& guid) {
    return GuiSuite::storedDrafts().value(guid).toMap();
}

const QString kDraftGuid = u"draft-1"_s;
const QString kEditGuid = u"edit-of-design-review"_s;

// The usage events of cancelling, in the order they were sent: "cancel_meeting:<status>" or
// "keep_meeting" (read from the bodies the statistics sender logs as it posts them).
QStringList cancelEventsInOrder(const LogSpy& spy) {
    QStringList events;
    for (const QString& line : spy.messages(Log::Verbose)) {
        const QJsonObject body = QJsonDocument::fromJson(line.toUtf8()).object();
        const QString event = body.value(u"event"_s).toString();
        if (event == "cancel_meeting"_L1)
            events << event + QLatin1Char(':') + body[u"data"_s][u"status"_s].toString();
        else if (event == "keep_meeting"_L1)
            events << event;
    }
    return events;
}

} // namespace

// Cancelling meetings and deleting drafts through the real menu popover against the simulator.
class tst_CancelMeeting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_session.start());
    }

    void init() {
        m_session.begin(u"Budget (draft)"_s, 2, QTime(15, 0));
        TamberDataModel* record = TamberDataModel::sharedData();
        // A held application token makes each usage event go out at once, in the order sent.
        record->app_access_token = m_session.sim().issueAppToken();
        // A draft that edits "Design review": its id is a number, the service's is text.
        const QJsonObject review = serviceMeeting(u"Design review"_s);
        QVERIFY(!review.isEmpty());
        record->meetingDrafts.insert(
            kEditGuid, QVariantMap{{u"meetingDraftGuid"_s, kEditGuid},
                                   {u"title"_s, u"Design review (edited)"_s},
                                   {u"numericMeetingId"_s,
                                    review[u"numericMeetingId"_s].toVariant().toDouble()},
                                   {u"id"_s, review[u"id"_s].toVariant()},
                                   {u"description"_s, u"kept"_s}});
    }

    void cleanup() {
        m_popover.reset();
        m_session.end();
    }

    void buttonsFollowTheRecurrenceRule_data() {
        QTest::addColumn<QVariant>("pattern");
        QTest::addColumn<bool>("series");
        QTest::addColumn<bool>("nextStart");
        const auto pattern = [](const QVariant& type) {
            return QVariant(QVariantMap{{u"recurrenceType"_s, type}});
        };
        QTest::newRow("no pattern") << QVariant() << false << true;
        QTest::newRow("NONE") << pattern(u"NONE"_s) << false << true;
        QTest::newRow("null pattern") << QVariant::fromValue(nullptr) << false << true;
        QTest::newRow("pattern without type") << QVariant(QVariantMap()) << false << true;
        QTest::newRow("WEEKLY") << pattern(u"WEEKLY"_s) << true << true;
        QTest::newRow("DAILY") << pattern(u"DAILY"_s) << true << true;
        // Listed by its start: there is no next occurrence to name.
        QTest::newRow("WEEKLY without nextStart") << pattern(u"WEEKLY"_s) << true << false;
    }

    void buttonsFollowTheRecurrenceRule() {
        QFETCH(QVariant, pattern);
        QFETCH(bool, series);
        QFETCH(bool, nextStart);
        QVariantMap meeting{{u"id"_s, 77},
                            {u"numericMeetingId"_s, u"5550077"_s},
                            {u"start"_s, 1.6e12},
                            {u"end"_s, 1.6e12 + 3.6e6}};
        if (nextStart) {
            meeting.insert(u"nextStart"_s, 1.7e12);
            meeting.insert(u"nextEnd"_s, 1.7e12 + 3.6e6);
        }
        if (pattern.isValid())
            meeting.insert(u"recurrencePattern"_s, pattern);
        ConfirmDeleteMeetingViewController view(meeting);
        QCOMPARE(view.cancelMeeting()->text(), series ? u"Cancel Series"_s : u"Cancel Meeting"_s);
        QCOMPARE(view.cancelNextMeeting()->isVisibleTo(&view), series && nextStart);
        QVERIFY(!view.cancellationMessageWarning()->isVisibleTo(&view));
        // The address follows the same rule: only a series names an occurrence.
        if (nextStart)
            QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(meeting, QString(), true)
                         .contains(u"originalStart="_s),
                     series);
    }

    void cancelsOneOffMeetingWithItsMessage() {
        // An expired token is renewed before the cancellation, not refused.
        TamberDataModel* record = TamberDataModel::sharedData();
        record->username = QString::fromLatin1(VeloraSimulator::PasswordUser);
        record->password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
        record->authenticationType = u"PASSWORD"_s;
        openMenu();
        m_session.sim().expireAllUserTokens();
        const QString id =
            TamberDataModel::urlText(serviceMeeting(u"Design review"_s)[u"id"_s].toVariant());

        LogSpy spy;
        ConfirmDeleteMeetingViewController* confirm = openMeetingConfirmation(u"Design review"_s);
        QVERIFY(confirm);
        QCOMPARE(confirm->cancelMeeting()->text(), u"Cancel Meeting"_s);
        QVERIFY(!confirm->cancelNextMeeting()->isVisible());
        const QString message = u"Sorry & thanks = a+b #1\nNext\u00a0week 😀 שלום, مرحبا"_s;
        confirm->cancellationMessage()->setPlainText(message);
        confirm->cancellationMessage()->moveCursor(QTextCursor::End);
        QTest::keyClicks(confirm->cancellationMessage(), u"!"_s);
        snapshot(u"cancel-meeting"_s);

        PostedNotifications posted({u"CLOSE_DELETE_MEETING"_s, u"REFRESH_UPCOMING_MEETINGS"_s});
        QPointer<QWidget> popup = list()->editOptions()->confirmDeletePopover();
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
        QVERIFY(!confirm->cancelMeeting()->isEnabled());
        QVERIFY(confirm->cancelMeetingProgressIndicator()->isAnimating());

        QTRY_VERIFY_WITH_TIMEOUT(popup.isNull() || !popup->isVisible(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!listed(u"Design review"_s), 15000);
        QCOMPARE(posted.names,
                 QStringList({u"CLOSE_DELETE_MEETING"_s, u"REFRESH_UPCOMING_MEETINGS"_s}));
        // The message arrived intact, as one value.
        const QList<QJsonObject> cancelled = m_session.sim().cancellations();
        QCOMPARE(cancelled.size(), 1);
        QCOMPARE(cancelled.first()[u"meetingId"_s].toString(), id);
        QCOMPARE(cancelled.first()[u"message"_s].toString(), message + QLatin1Char('!'));
        QVERIFY(cancelled.first()[u"originalStart"_s].toString().isEmpty());
        QCOMPARE(m_session.sim().requests(VeloraSimulator::Endpoint::Token).size(), 1);
        // The draft that edited it is detached (on disk too) and keeps everything else.
        const QVariantMap draft = storedDraft(kEditGuid);
        QCOMPARE(draft.value(u"description"_s).toString(), u"kept"_s);
        QVERIFY(!draft.contains(u"numericMeetingId"_s) && !draft.contains(u"id"_s));
        QVERIFY(storedDraft(kDraftGuid).contains(u"title"_s));
        QCOMPARE(cancelEventsInOrder(spy),
                 QStringList({"cancel_meeting:click", "cancel_meeting:init",
                              "cancel_meeting:success", "keep_meeting"}));
        QVERIFY(
            spy.contains(Log::Debug, u"length of cancelmessage is %1"_s.arg(message.size() + 1)));
    }

    void cancelsNextOccurrenceOfSeries() {
        openMenu();
        const MeetingRecord* series = listed(u"Weekly team sync"_s);
        QVERIFY(series);
        const qint64 nextStart = series->value(u"nextStart"_s).toLongLong();

        ConfirmDeleteMeetingViewController* confirm =
            openMeetingConfirmation(u"Weekly team sync"_s);
        QVERIFY(confirm);
        QCOMPARE(confirm->cancelMeeting()->text(), u"Cancel Series"_s);
        QVERIFY(confirm->cancelNextMeeting()->isVisible());
        snapshot(u"cancel-series"_s);
        QTest::mouseClick(confirm->cancelNextMeeting(), Qt::LeftButton);
        QVERIFY(confirm->cancelNextProgressIndicator()->isAnimating());
        QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating());

        // The series stays, its next occurrence a week later.
        QTRY_VERIFY_WITH_TIMEOUT(m_session.sim().cancellations().size() == 1, 15000);
        QCOMPARE(m_session.sim().cancellations().first()[u"originalStart"_s].toString(),
                 QString::number(nextStart));
        QTRY_VERIFY_WITH_TIMEOUT(
            listed(u"Weekly team sync"_s) &&
                listed(u"Weekly team sync"_s)->value(u"nextStart"_s).toLongLong() ==
                    nextStart + 7 * 24 * 3600 * 1000LL,
            15000);
    }

    // Counted in UTF-16 units: 500 emoji are 1000. A refused message's warning stays up, with
    // its text, while the shorter one is sent.
    void messageLimitInUtf16Units() {
        openMenu();
        ConfirmDeleteMeetingViewController* confirm = openMeetingConfirmation(u"Project kickoff"_s);
        QVERIFY(confirm);
        LogSpy spy;
        const QString message = u"😀"_s.repeated(500);
        confirm->cancellationMessage()->setPlainText(message + u"a"_s);
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
        QVERIFY(confirm->cancellationMessageWarning()->isVisible());
        const QString warning = confirm->cancellationMessageWarning()->text();
        QCOMPARE(warning, u"Cancellation message can be atmost 1000\ncharacters (it has 1001 "
                          "characters)."_s);
        QVERIFY(confirm->cancelMeeting()->isEnabled());
        QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating());
        QVERIFY(spy.contains(Log::Debug, u"returning not deleting"_s));
        snapshot(u"cancel-message-too-long"_s);
        QTest::qWait(300);
        QCOMPARE(m_session.sim().requestCount(VeloraSimulator::Endpoint::CancelMeeting), 0);

        confirm->cancellationMessage()->setPlainText(message);
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
        QVERIFY(confirm->cancellationMessageWarning()->isVisible());
        QCOMPARE(confirm->cancellationMessageWarning()->text(), warning);
        QTRY_COMPARE_WITH_TIMEOUT(m_session.sim().cancellations().size(), 1, 15000);
        QCOMPARE(m_session.sim().cancellations().first()[u"message"_s].toString(), message);
    }

    void failureKeepsMeetingAndDrafts_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("shown");
        QTest::newRow("refused with a message")
            << Fault::httpError(403, {{"errorCode", "FORBIDDEN"},
                                      {"message", "Only the host can cancel this meeting."}})
            << u"The meeting was not cancelled: Only the host can cancel this meeting."_s;
        QTest::newRow("refused without a body")
            << Fault::httpErrorRaw(500, QByteArray())
            << QStringLiteral("The meeting was not cancelled: The service could not complete the "
                              "request (HTTP 500).");
        QTest::newRow("closed mid-body") << Fault::closeMidBody() << QString();
    }

    void failureKeepsMeetingAndDrafts() {
        QFETCH(Fault, fault);
        QFETCH(QString, shown);
        openMenu();
        m_session.sim().injectFault(VeloraSimulator::Endpoint::CancelMeeting, fault);
        LogSpy spy;
        ConfirmDeleteMeetingViewController* confirm = openMeetingConfirmation(u"Design review"_s);
        QVERIFY(confirm);
        PostedNotifications posted({u"REFRESH_UPCOMING_MEETINGS"_s});
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);

        QTRY_VERIFY_WITH_TIMEOUT(confirm->cancellationFailure()->isVisible(), 15000);
        if (!shown.isEmpty())
            QCOMPARE(confirm->cancellationFailure()->text(), shown);
        QVERIFY(confirm->cancellationFailure()->text().startsWith("The meeting was not cancelled"));
        QCOMPARE(confirm->cancellationFailure()->textFormat(), Qt::PlainText);
        QVERIFY(confirm->cancelMeeting()->isEnabled() && confirm->cancelNextMeeting()->isEnabled());
        QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating() && confirm->isVisible());
        QVERIFY(spy.contains(Log::Debug, u"Error while deleting meeting"_s, true));
        QCOMPARE(
            cancelEventsInOrder(spy),
            QStringList({"cancel_meeting:click", "cancel_meeting:init", "cancel_meeting:error"}));
        if (QTest::currentDataTag() == "refused with a message"_L1)
            snapshot(u"cancel-meeting-refused"_s);
        // Nothing changed: the list is not refreshed, the draft still belongs to the meeting.
        QTest::qWait(200);
        QVERIFY(posted.names.isEmpty() && listed(u"Design review"_s));
        QVERIFY(TamberDataModel::sharedData()->meetingDrafts.value(kEditGuid).toMap().contains(
            u"numericMeetingId"_s));
    }

    void cancelOutlivesReloadAndClosedMenu() {
        openMenu();
        m_session.sim().injectFault(VeloraSimulator::Endpoint::CancelMeeting, Fault::delay(1500));
        LogSpy spy;
        ConfirmDeleteMeetingViewController* confirm = openMeetingConfirmation(u"Design review"_s);
        QVERIFY(confirm);
        PostedNotifications posted({u"REFRESH_UPCOMING_MEETINGS"_s});
        QPointer<ConfirmDeleteMeetingViewController> guard = confirm;
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);

        // The list reloads under the open popover, which goes with its row; then the menu closes.
        UpcomingMeetingsViewController* page =
            m_popover->menuViewController()->upcomingMeetingsViewController();
        page->fetchUpcomingMeetings();
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 15000);
        m_popover.reset();

        QTRY_VERIFY_WITH_TIMEOUT(posted.names.size() == 1, 15000);
        QCOMPARE(m_session.sim().cancellations().size(), 1);
        QVERIFY(!storedDraft(kEditGuid).contains(u"numericMeetingId"_s));
        QCOMPARE(cancelEventsInOrder(spy),
                 QStringList({"cancel_meeting:click", "cancel_meeting:init",
                              "cancel_meeting:success", "keep_meeting"}));
    }

    void deletesDraftForGood() {
        openMenu();
        QVERIFY(listed(u"Budget (draft)"_s));
        EditOptionsView* strip = openConfirmation(u"Budget (draft)"_s);
        QVERIFY(strip && strip->confirmDeleteDraftViewController());
        snapshot(u"delete-draft"_s);

        // Keep closes the popover and changes nothing.
        QPointer<QWidget> popup = strip->confirmDeletePopover();
        QTest::mouseClick(strip->confirmDeleteDraftViewController()->keepDraftButton(),
                          Qt::LeftButton);
        QTRY_VERIFY(popup.isNull() || !popup->isVisible());
        QVERIFY(TamberDataModel::sharedData()->meetingDrafts.contains(kDraftGuid));

        strip = openConfirmation(u"Budget (draft)"_s);
        QVERIFY(strip && strip->confirmDeleteDraftViewController());
        LogSpy spy;
        QTest::mouseClick(strip->confirmDeleteDraftViewController()->deleteDraftButton(),
                          Qt::LeftButton);
        QVERIFY(!TamberDataModel::sharedData()->meetingDrafts.contains(kDraftGuid));
        QVERIFY(storedDraft(kDraftGuid).isEmpty() && storedDraft(kEditGuid).contains(u"title"_s));
        QVERIFY(spy.contains(Log::Debug, u"delete draft"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!listed(u"Budget (draft)"_s), 15000);
        // No request and no usage event beyond the click that opened the confirmation.
        QVERIFY(cancelEventsInOrder(spy).filter(u":click"_s) == cancelEventsInOrder(spy));
        QCOMPARE(m_session.sim().requestCount(VeloraSimulator::Endpoint::CancelMeeting), 0);
    }

private:
    void openMenu() {
        m_popover = std::make_unique<MenuPopover>();
        m_popover->showPopover(QRect());
        QVERIFY(QTest::qWaitForWindowExposed(m_popover.get()));
        QTRY_VERIFY_WITH_TIMEOUT(list() && list()->meetingsModel()->rowCount() > 0, 15000);
    }
    UpcomingMeetingsListView* list() const {
        UpcomingMeetingsViewController* page =
            m_popover->menuViewController()->upcomingMeetingsViewController();
        return page ? page->unifiedTableView() : nullptr;
    }
    const MeetingRecord* listed(const QString& title) const {
        return list()->meetingsModel()->record(MenuSession::rowOf(list(), title));
    }

    EditOptionsView* openConfirmation(const QString& title) {
        const int row = MenuSession::rowOf(list(), title);
        if (row < 0)
            return nullptr;
        if (list()->meetingsModel()->stripRow() != row)
            MenuSession::pressRow(list(), row);
        EditOptionsView* strip = list()->editOptions();
        if (!strip || !QTest::qWaitFor([&] { return strip->isVisible(); }))
            return nullptr;
        QTest::mouseClick(strip->deleteMeetingButton(), Qt::LeftButton);
        QWidget* popup = strip->confirmDeletePopover();
        return popup && QTest::qWaitForWindowExposed(popup) ? strip : nullptr;
    }

    ConfirmDeleteMeetingViewController* openMeetingConfirmation(const QString& title) {
        EditOptionsView* strip = openConfirmation(title);
        return strip ? strip->confirmDeleteViewController() : nullptr;
    }

    QJsonObject serviceMeeting(const QString& title) {
        return GuiSuite::serviceMeeting(m_session, title);
    }

    void snapshot(const QString& name) {
        // The confirmation over the menu, as the screen shows them.
        if (QWidget* popup = QApplication::activePopupWidget())
            MenuSession::snapshotScreen({m_popover.get(), popup}, name);
    }

    MenuSession m_session;
    std::unique_ptr<MenuPopover> m_popover;
};

TAMBER_TEST_MAIN_GUI(tst_CancelMeeting)
#include "tst_CancelMeeting.moc"
