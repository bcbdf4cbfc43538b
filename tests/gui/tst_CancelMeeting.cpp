#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteDraftViewController.h"
#include "Menu/UpcomingMeetings/ConfirmDeleteMeetingViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"
#include "MenuSession.h"
#include "Models/TamberDataModel.h"
#include "Models/UpcomingMeetingsFetcher.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "PostedNotifications.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(Fault)

namespace {

// What a restart would find: the preferences file, not the record in memory.
QVariantMap storedDraft(const QString& guid) {
    return PreferencesStore(PreferencesStore::defaultPath())
        .value(QStringLiteral("meetingDrafts"))
        .toMap()
        .value(guid)
        .toMap();
}

const QString kDraftGuid = QStringLiteral("draft-1");
const QString kEditGuid = QStringLiteral("edit-of-design-review");

// The usage events of cancelling, in the order they were sent: "cancel_meeting:<status>" or
// "keep_meeting" (read from the bodies the statistics sender logs as it posts them).
QStringList cancelEventsInOrder(const LogSpy& spy) {
    QStringList events;
    for (const QString& line : spy.messages(Log::Verbose)) {
        const QJsonObject body = QJsonDocument::fromJson(line.toUtf8()).object();
        const QString event = body.value(QStringLiteral("event")).toString();
        if (event == QLatin1String("cancel_meeting"))
            events << event + QLatin1Char(':') +
                          body[QStringLiteral("data")][QStringLiteral("status")].toString();
        else if (event == QLatin1String("keep_meeting"))
            events << event;
    }
    return events;
}

} // namespace

// Cancelling meetings and deleting drafts through the real menu popover against the simulator.
class tst_CancelMeeting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void buttonsFollowTheRecurrenceRule_data();
    void buttonsFollowTheRecurrenceRule();
    void cancelsOneOffMeetingWithItsMessage();
    void cancelsNextOccurrenceOfSeries();
    void messageLimitInUtf16Units_data();
    void messageLimitInUtf16Units();
    void failureKeepsMeetingAndDrafts_data();
    void failureKeepsMeetingAndDrafts();
    void cancelOutlivesReloadAndClosedMenu();
    void deletesDraftForGood();

private:
    void openMenu();
    UpcomingMeetingsListView* list() const;
    const MeetingRecord* listed(const QString& title) const;
    EditOptionsView* openConfirmation(const QString& title);
    ConfirmDeleteMeetingViewController* openMeetingConfirmation(const QString& title);
    QJsonObject serviceMeeting(const QString& title);
    void snapshot(const QString& name);

    MenuSession m_session;
    std::unique_ptr<MenuPopover> m_popover;
};

void tst_CancelMeeting::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_session.start());
}

void tst_CancelMeeting::init() {
    m_session.begin(QStringLiteral("Budget (draft)"), 2, QTime(15, 0));
    TamberDataModel* record = TamberDataModel::sharedData();
    // A held application token makes each usage event go out at once, in the order sent.
    record->app_access_token = m_session.sim().issueAppToken();
    // A draft that edits "Design review": its id is a number, the service's is text.
    const QJsonObject review = serviceMeeting(QStringLiteral("Design review"));
    QVERIFY(!review.isEmpty());
    record->meetingDrafts.insert(
        kEditGuid, QVariantMap{{QStringLiteral("meetingDraftGuid"), kEditGuid},
                               {QStringLiteral("title"), QStringLiteral("Design review (edited)")},
                               {QStringLiteral("numericMeetingId"),
                                review[QStringLiteral("numericMeetingId")].toVariant().toDouble()},
                               {QStringLiteral("id"), review[QStringLiteral("id")].toVariant()},
                               {QStringLiteral("description"), QStringLiteral("kept")}});
}

void tst_CancelMeeting::cleanup() {
    m_popover.reset();
    m_session.end();
}

void tst_CancelMeeting::openMenu() {
    m_popover = std::make_unique<MenuPopover>();
    m_popover->showPopover(QRect());
    QVERIFY(QTest::qWaitForWindowExposed(m_popover.get()));
    QTRY_VERIFY_WITH_TIMEOUT(list() && list()->meetingsModel()->rowCount() > 0, 15000);
}

UpcomingMeetingsListView* tst_CancelMeeting::list() const {
    UpcomingMeetingsViewController* page =
        m_popover->menuViewController()->upcomingMeetingsViewController();
    return page ? page->unifiedTableView() : nullptr;
}

const MeetingRecord* tst_CancelMeeting::listed(const QString& title) const {
    UpcomingMeetingsListModel* rows = list()->meetingsModel();
    for (int row = 0; row < rows->rowCount(); ++row) {
        const MeetingRecord* r = rows->record(row);
        if (r && r->value(QStringLiteral("title")).toString() == title)
            return r;
    }
    return nullptr;
}

EditOptionsView* tst_CancelMeeting::openConfirmation(const QString& title) {
    UpcomingMeetingsListModel* rows = list()->meetingsModel();
    for (int row = 0; row < rows->rowCount(); ++row) {
        const MeetingRecord* r = rows->record(row);
        if (!r || r->value(QStringLiteral("title")).toString() != title)
            continue;
        if (rows->stripRow() != row) {
            list()->scrollTo(rows->index(row));
            const QRect rect = list()->visualRect(rows->index(row));
            QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                              QPoint(40, rect.center().y()));
        }
        EditOptionsView* strip = list()->editOptions();
        if (!strip || !QTest::qWaitFor([&] { return strip->isVisible(); }))
            return nullptr;
        QTest::mouseClick(strip->deleteMeetingButton(), Qt::LeftButton);
        QWidget* popup = strip->confirmDeletePopover();
        if (!popup || !QTest::qWaitForWindowExposed(popup))
            return nullptr;
        return strip;
    }
    return nullptr;
}

ConfirmDeleteMeetingViewController*
tst_CancelMeeting::openMeetingConfirmation(const QString& title) {
    EditOptionsView* strip = openConfirmation(title);
    return strip ? strip->confirmDeleteViewController() : nullptr;
}

QJsonObject tst_CancelMeeting::serviceMeeting(const QString& title) {
    for (const QJsonValue& m : m_session.sim().meetings(m_session.session().userId()))
        if (m[QStringLiteral("title")].toString() == title)
            return m.toObject();
    return {};
}

void tst_CancelMeeting::snapshot(const QString& name) {
    // The confirmation over the menu, as the screen shows them.
    if (QWidget* popup = QApplication::activePopupWidget())
        MenuSession::snapshotScreen({m_popover.get(), popup}, name);
}

void tst_CancelMeeting::buttonsFollowTheRecurrenceRule_data() {
    QTest::addColumn<QVariant>("pattern");
    QTest::addColumn<bool>("series");
    QTest::addColumn<bool>("nextStart");
    const auto pattern = [](const QVariant& type) {
        return QVariant(QVariantMap{{QStringLiteral("recurrenceType"), type}});
    };
    QTest::newRow("no pattern") << QVariant() << false << true;
    QTest::newRow("NONE") << pattern(QStringLiteral("NONE")) << false << true;
    QTest::newRow("null pattern") << QVariant::fromValue(nullptr) << false << true;
    QTest::newRow("pattern without type") << QVariant(QVariantMap()) << false << true;
    QTest::newRow("WEEKLY") << pattern(QStringLiteral("WEEKLY")) << true << true;
    QTest::newRow("DAILY") << pattern(QStringLiteral("DAILY")) << true << true;
    // Listed by its start: there is no next occurrence to name.
    QTest::newRow("WEEKLY without nextStart") << pattern(QStringLiteral("WEEKLY")) << true << false;
}

void tst_CancelMeeting::buttonsFollowTheRecurrenceRule() {
    QFETCH(QVariant, pattern);
    QFETCH(bool, series);
    QFETCH(bool, nextStart);
    QVariantMap meeting{{QStringLiteral("id"), 77},
                        {QStringLiteral("numericMeetingId"), QStringLiteral("5550077")},
                        {QStringLiteral("start"), 1.6e12},
                        {QStringLiteral("end"), 1.6e12 + 3.6e6}};
    if (nextStart) {
        meeting.insert(QStringLiteral("nextStart"), 1.7e12);
        meeting.insert(QStringLiteral("nextEnd"), 1.7e12 + 3.6e6);
    }
    if (pattern.isValid())
        meeting.insert(QStringLiteral("recurrencePattern"), pattern);
    ConfirmDeleteMeetingViewController view(meeting);
    QCOMPARE(view.cancelMeeting()->text(),
             series ? QStringLiteral("Cancel Series") : QStringLiteral("Cancel Meeting"));
    QCOMPARE(view.cancelNextMeeting()->isVisibleTo(&view), series && nextStart);
    QVERIFY(!view.cancellationMessageWarning()->isVisibleTo(&view));
    // The address follows the same rule: only a series names an occurrence.
    if (nextStart)
        QCOMPARE(TamberDataModel::deleteScheduledMeetingURL(meeting, QString(), true)
                     .contains(QStringLiteral("originalStart=")),
                 series);
}

void tst_CancelMeeting::cancelsOneOffMeetingWithItsMessage() {
    // An expired token is renewed before the cancellation, not refused.
    TamberDataModel* record = TamberDataModel::sharedData();
    record->username = QString::fromLatin1(VeloraSimulator::PasswordUser);
    record->password = QString::fromLatin1(VeloraSimulator::PasswordUserPassword);
    record->authenticationType = QStringLiteral("PASSWORD");
    openMenu();
    m_session.sim().expireAllUserTokens();
    const QString id = TamberDataModel::urlText(
        serviceMeeting(QStringLiteral("Design review"))[QStringLiteral("id")].toVariant());

    LogSpy spy;
    ConfirmDeleteMeetingViewController* confirm =
        openMeetingConfirmation(QStringLiteral("Design review"));
    QVERIFY(confirm);
    QCOMPARE(confirm->cancelMeeting()->text(), QStringLiteral("Cancel Meeting"));
    QVERIFY(!confirm->cancelNextMeeting()->isVisible());
    const QString message = QStringLiteral("Sorry & thanks = a+b #1\nNext\u00a0week 😀 שלום, مرحبا");
    confirm->cancellationMessage()->setPlainText(message);
    confirm->cancellationMessage()->moveCursor(QTextCursor::End);
    QTest::keyClicks(confirm->cancellationMessage(), QStringLiteral("!"));
    snapshot(QStringLiteral("cancel-meeting"));

    PostedNotifications posted(
        {QStringLiteral("CLOSE_DELETE_MEETING"), QStringLiteral("REFRESH_UPCOMING_MEETINGS")});
    QPointer<QWidget> popup = list()->editOptions()->confirmDeletePopover();
    QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
    QVERIFY(!confirm->cancelMeeting()->isEnabled());
    QVERIFY(confirm->cancelMeetingProgressIndicator()->isAnimating());

    QTRY_VERIFY_WITH_TIMEOUT(popup.isNull() || !popup->isVisible(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!listed(QStringLiteral("Design review")), 15000);
    QCOMPARE(posted.names, QStringList({QStringLiteral("CLOSE_DELETE_MEETING"),
                                        QStringLiteral("REFRESH_UPCOMING_MEETINGS")}));
    // The message arrived intact, as one value.
    const QList<QJsonObject> cancelled = m_session.sim().cancellations();
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(cancelled.first()[QStringLiteral("meetingId")].toString(), id);
    QCOMPARE(cancelled.first()[QStringLiteral("message")].toString(), message + QLatin1Char('!'));
    QVERIFY(cancelled.first()[QStringLiteral("originalStart")].toString().isEmpty());
    QCOMPARE(m_session.sim().requests(VeloraSimulator::Endpoint::Token).size(), 1);
    // The draft that edited it is detached (on disk too) and keeps everything else.
    const QVariantMap draft = storedDraft(kEditGuid);
    QCOMPARE(draft.value(QStringLiteral("description")).toString(), QStringLiteral("kept"));
    QVERIFY(!draft.contains(QStringLiteral("numericMeetingId")));
    QVERIFY(!draft.contains(QStringLiteral("id")));
    QVERIFY(storedDraft(kDraftGuid).contains(QStringLiteral("title")));
    QCOMPARE(cancelEventsInOrder(spy), QStringList({"cancel_meeting:click", "cancel_meeting:init",
                                                    "cancel_meeting:success", "keep_meeting"}));
    QVERIFY(spy.contains(Log::Debug,
                         QStringLiteral("length of cancelmessage is %1").arg(message.size() + 1)));
}

void tst_CancelMeeting::cancelsNextOccurrenceOfSeries() {
    openMenu();
    const MeetingRecord* series = listed(QStringLiteral("Weekly team sync"));
    QVERIFY(series);
    const qint64 nextStart = series->value(QStringLiteral("nextStart")).toLongLong();

    ConfirmDeleteMeetingViewController* confirm =
        openMeetingConfirmation(QStringLiteral("Weekly team sync"));
    QVERIFY(confirm);
    QCOMPARE(confirm->cancelMeeting()->text(), QStringLiteral("Cancel Series"));
    QVERIFY(confirm->cancelNextMeeting()->isVisible());
    snapshot(QStringLiteral("cancel-series"));
    QTest::mouseClick(confirm->cancelNextMeeting(), Qt::LeftButton);
    QVERIFY(confirm->cancelNextProgressIndicator()->isAnimating());
    QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating());

    // The series stays, its next occurrence a week later.
    QTRY_VERIFY_WITH_TIMEOUT(m_session.sim().cancellations().size() == 1, 15000);
    QCOMPARE(m_session.sim().cancellations().first()[QStringLiteral("originalStart")].toString(),
             QString::number(nextStart));
    QTRY_VERIFY_WITH_TIMEOUT(listed(QStringLiteral("Weekly team sync")) &&
                                 listed(QStringLiteral("Weekly team sync"))
                                         ->value(QStringLiteral("nextStart"))
                                         .toLongLong() == nextStart + 7 * 24 * 3600 * 1000LL,
                             15000);
}

void tst_CancelMeeting::messageLimitInUtf16Units_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("sent");
    const QString emoji = QStringLiteral("😀").repeated(500); // two units each
    QTest::newRow("1000 units") << emoji << true;
    QTest::newRow("1001 units") << emoji + QLatin1Char('a') << false;
}

void tst_CancelMeeting::messageLimitInUtf16Units() {
    QFETCH(QString, message);
    QFETCH(bool, sent);
    openMenu();
    ConfirmDeleteMeetingViewController* confirm =
        openMeetingConfirmation(QStringLiteral("Project kickoff"));
    QVERIFY(confirm);
    LogSpy spy;
    if (sent) {
        // A refused longer message first: its warning stays up, with its text, while the
        // shorter one is sent.
        confirm->cancellationMessage()->setPlainText(message + QStringLiteral("ab"));
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
        const QString warning = confirm->cancellationMessageWarning()->text();
        QVERIFY(warning.contains(QStringLiteral("(it has 1002 characters)")));
        confirm->cancellationMessage()->setPlainText(message);
        QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
        QVERIFY(confirm->cancellationMessageWarning()->isVisible());
        QCOMPARE(confirm->cancellationMessageWarning()->text(), warning);
        QTRY_COMPARE_WITH_TIMEOUT(m_session.sim().cancellations().size(), 1, 15000);
        QCOMPARE(m_session.sim().cancellations().first()[QStringLiteral("message")].toString(),
                 message);
        return;
    }
    confirm->cancellationMessage()->setPlainText(message);
    QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);
    QVERIFY(confirm->cancellationMessageWarning()->isVisible());
    QCOMPARE(confirm->cancellationMessageWarning()->text(),
             QStringLiteral("Cancellation message can be atmost 1000\ncharacters (it has 1001 "
                            "characters)."));
    QVERIFY(confirm->cancelMeeting()->isEnabled());
    QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating());
    QVERIFY(spy.contains(Log::Debug, QStringLiteral("returning not deleting")));
    snapshot(QStringLiteral("cancel-message-too-long"));
    QTest::qWait(300);
    QCOMPARE(m_session.sim().requestCount(VeloraSimulator::Endpoint::CancelMeeting), 0);
}

void tst_CancelMeeting::failureKeepsMeetingAndDrafts_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("shown");
    QTest::newRow("refused with a message")
        << Fault::httpError(403, {{"errorCode", "FORBIDDEN"},
                                  {"message", "Only the host can cancel this meeting."}})
        << QStringLiteral("The meeting was not cancelled: Only the host can cancel this meeting.");
    QTest::newRow("refused without a body")
        << Fault::httpErrorRaw(500, QByteArray())
        << QStringLiteral("The meeting was not cancelled: The service could not complete the "
                          "request (HTTP 500).");
    QTest::newRow("closed mid-body") << Fault::closeMidBody() << QString();
}

void tst_CancelMeeting::failureKeepsMeetingAndDrafts() {
    QFETCH(Fault, fault);
    QFETCH(QString, shown);
    openMenu();
    m_session.sim().injectFault(VeloraSimulator::Endpoint::CancelMeeting, fault);
    LogSpy spy;
    ConfirmDeleteMeetingViewController* confirm =
        openMeetingConfirmation(QStringLiteral("Design review"));
    QVERIFY(confirm);
    PostedNotifications posted({QStringLiteral("REFRESH_UPCOMING_MEETINGS")});
    QTest::mouseClick(confirm->cancelMeeting(), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(confirm->cancellationFailure()->isVisible(), 15000);
    if (!shown.isEmpty())
        QCOMPARE(confirm->cancellationFailure()->text(), shown);
    QVERIFY(confirm->cancellationFailure()->text().startsWith("The meeting was not cancelled"));
    QCOMPARE(confirm->cancellationFailure()->textFormat(), Qt::PlainText);
    QVERIFY(confirm->cancelMeeting()->isEnabled());
    QVERIFY(confirm->cancelNextMeeting()->isEnabled());
    QVERIFY(!confirm->cancelMeetingProgressIndicator()->isAnimating());
    QVERIFY(confirm->isVisible());
    QVERIFY(spy.contains(Log::Debug, QStringLiteral("Error while deleting meeting"), true));
    QCOMPARE(cancelEventsInOrder(spy),
             QStringList({"cancel_meeting:click", "cancel_meeting:init", "cancel_meeting:error"}));
    if (QTest::currentDataTag() == QLatin1String("refused with a message"))
        snapshot(QStringLiteral("cancel-meeting-refused"));
    // Nothing changed: the list is not refreshed, the draft still belongs to the meeting.
    QTest::qWait(200);
    QVERIFY(posted.names.isEmpty());
    QVERIFY(listed(QStringLiteral("Design review")));
    QVERIFY(TamberDataModel::sharedData()->meetingDrafts.value(kEditGuid).toMap().contains(
        QStringLiteral("numericMeetingId")));
}

void tst_CancelMeeting::cancelOutlivesReloadAndClosedMenu() {
    openMenu();
    m_session.sim().injectFault(VeloraSimulator::Endpoint::CancelMeeting, Fault::delay(1500));
    LogSpy spy;
    ConfirmDeleteMeetingViewController* confirm =
        openMeetingConfirmation(QStringLiteral("Design review"));
    QVERIFY(confirm);
    PostedNotifications posted({QStringLiteral("REFRESH_UPCOMING_MEETINGS")});
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
    QVERIFY(!storedDraft(kEditGuid).contains(QStringLiteral("numericMeetingId")));
    QCOMPARE(cancelEventsInOrder(spy), QStringList({"cancel_meeting:click", "cancel_meeting:init",
                                                    "cancel_meeting:success", "keep_meeting"}));
}

void tst_CancelMeeting::deletesDraftForGood() {
    openMenu();
    QVERIFY(listed(QStringLiteral("Budget (draft)")));
    EditOptionsView* strip = openConfirmation(QStringLiteral("Budget (draft)"));
    QVERIFY(strip && strip->confirmDeleteDraftViewController());
    snapshot(QStringLiteral("delete-draft"));

    // Keep closes the popover and changes nothing.
    QPointer<QWidget> popup = strip->confirmDeletePopover();
    QTest::mouseClick(strip->confirmDeleteDraftViewController()->keepDraftButton(), Qt::LeftButton);
    QTRY_VERIFY(popup.isNull() || !popup->isVisible());
    QVERIFY(TamberDataModel::sharedData()->meetingDrafts.contains(kDraftGuid));

    strip = openConfirmation(QStringLiteral("Budget (draft)"));
    QVERIFY(strip && strip->confirmDeleteDraftViewController());
    LogSpy spy;
    QTest::mouseClick(strip->confirmDeleteDraftViewController()->deleteDraftButton(),
                      Qt::LeftButton);
    QVERIFY(!TamberDataModel::sharedData()->meetingDrafts.contains(kDraftGuid));
    QVERIFY(storedDraft(kDraftGuid).isEmpty());
    QVERIFY(storedDraft(kEditGuid).contains(QStringLiteral("title")));
    QVERIFY(spy.contains(Log::Debug, QStringLiteral("delete draft")));
    QTRY_VERIFY_WITH_TIMEOUT(!listed(QStringLiteral("Budget (draft)")), 15000);
    // No request and no usage event beyond the click that opened the confirmation.
    QVERIFY(cancelEventsInOrder(spy).filter(QStringLiteral(":click")) == cancelEventsInOrder(spy));
    QCOMPARE(m_session.sim().requestCount(VeloraSimulator::Endpoint::CancelMeeting), 0);
}

QTEST_MAIN(tst_CancelMeeting)
#include "tst_CancelMeeting.moc"
