#include "AbstractTamberWindowController/CustomTextField.h"
#include "AppController.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"
#include "MenuSession.h"
#include "Models/TamberDataModel.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "PostedNotifications.h"
#include "Scheduler/AdvancedMeetingOptionsPanel.h"
#include "Scheduler/CustomTokenField.h"
#include "Scheduler/DayOfWeekPopover.h"
#include "Scheduler/SchedulerPopover.h"
#include "Scheduler/SchedulerViewController.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>
#include <memory>

namespace {

const QString kDraft = QStringLiteral("draft-1");

QVariantMap storedDrafts() {
    // What a process killed right now would find on disk.
    return PreferencesStore(PreferencesStore::defaultPath())
        .value(QStringLiteral("meetingDrafts"))
        .toMap();
}

template <typename T> T* child(QWidget* root, const char* name) {
    T* found = root->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no %s", name);
    return found;
}

} // namespace

class tst_Scheduler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void draftsByHowTheFormCloses_data();
    void draftsByHowTheFormCloses();
    void refusedSaveKeepsFormAndDraft();
    void failedChecksLeaveTheFormUsable_data();
    void failedChecksLeaveTheFormUsable();
    void signOutWithTheSchedulerOpenLeavesNoDraft();
    void answerAfterCloseNeverLeavesADraftOfACreatedMeeting_data();
    void answerAfterCloseNeverLeavesADraftOfACreatedMeeting();
    void weeklyFormAndAdvancedSheet();
    void scheduleAndEditFromTheMenu();

private:
    SchedulerPopover* open(const QVariantMap& meeting);
    SchedulerViewController* form() const { return m_popover->schedulerViewController(); }
    void typeTitle(const QString& title);
    QVariantMap serviceMeeting(const QString& title);

    MenuSession m_session;
    std::unique_ptr<SchedulerPopover> m_popover;
};

void tst_Scheduler::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_session.start());
}

void tst_Scheduler::init() {
    m_session.begin(QStringLiteral("Budget (draft)"), 2, QTime(15, 0));
    TamberDataModel::saveDataToBundle();
}

void tst_Scheduler::cleanup() {
    m_popover.reset();
    m_session.sim().clearFaults();
    m_session.end();
}

SchedulerPopover* tst_Scheduler::open(const QVariantMap& meeting) {
    m_popover = std::make_unique<SchedulerPopover>(meeting);
    m_popover->showPopover(QRect());
    return m_popover.get();
}

void tst_Scheduler::typeTitle(const QString& title) {
    auto* field = child<CustomTextField>(m_popover.get(), "meetingTitleField");
    field->selectAll();
    // Typed keys are Latin-1 only; the rest of the text arrives as input-method text would.
    field->insert(title);
}

QVariantMap tst_Scheduler::serviceMeeting(const QString& title) {
    const QJsonArray list = m_session.sim().meetings(m_session.session().userId());
    for (const QJsonValue& m : list) {
        if (m[QStringLiteral("title")].toString() == title)
            return m.toObject().toVariantMap();
    }
    return {};
}

void tst_Scheduler::draftsByHowTheFormCloses_data() {
    QTest::addColumn<QString>("form");          // new, draft, change
    QTest::addColumn<QString>("ending");        // close, cancel, save
    QTest::addColumn<int>("newDrafts");         // besides draft-1
    QTest::addColumn<QString>("draftOneTitle"); // empty: removed
    QTest::addColumn<QString>("sent");          // endpoint of the save, or empty

    const QString kept = QStringLiteral("Budget (draft)");
    const QString typed = QStringLiteral("Typed \u05e9\u05dc\u05d5\u05dd \U0001F600");
    QTest::newRow("new, closed") << "new"
                                 << "close" << 1 << kept << "";
    QTest::newRow("new, cancelled") << "new"
                                    << "cancel" << 0 << kept << "";
    QTest::newRow("new, saved") << "new"
                                << "save" << 0 << kept << "createMeeting";
    QTest::newRow("draft, closed") << "draft"
                                   << "close" << 0 << typed << "";
    QTest::newRow("draft, cancelled") << "draft"
                                      << "cancel" << 0 << kept << "";
    QTest::newRow("draft, saved") << "draft"
                                  << "save" << 0 << ""
                                  << "createMeeting";
    QTest::newRow("change, closed") << "change"
                                    << "close" << 1 << kept << "";
    QTest::newRow("change, cancelled") << "change"
                                       << "cancel" << 0 << kept << "";
    QTest::newRow("change, saved") << "change"
                                   << "save" << 0 << kept << "changeMeeting";
    // No "id": there is no address to change, so it is created.
    QTest::newRow("numeric id only, saved") << "numeric"
                                            << "save" << 0 << kept << "createMeeting";
}

void tst_Scheduler::draftsByHowTheFormCloses() {
    QFETCH(QString, form);
    QFETCH(QString, ending);
    QFETCH(int, newDrafts);
    QFETCH(QString, draftOneTitle);
    QFETCH(QString, sent);

    const QString typed = QStringLiteral("Typed \u05e9\u05dc\u05d5\u05dd \U0001F600");
    QVariantMap meeting;
    if (form == QLatin1String("draft"))
        meeting = TamberDataModel::sharedData()->meetingDrafts.value(kDraft).toMap();
    if (form == QLatin1String("change"))
        meeting = serviceMeeting(QStringLiteral("Design review"));
    if (form == QLatin1String("numeric"))
        meeting = {{QStringLiteral("numericMeetingId"), QStringLiteral("831000999")}};
    QVERIFY(form == QLatin1String("new") || !meeting.isEmpty());

    PostedNotifications posted({QStringLiteral("SHOW_MENU_POPOVER")});
    open(meeting);
    typeTitle(typed);
    if (ending == QLatin1String("cancel")) {
        QTest::mouseClick(child<QPushButton>(m_popover.get(), "cancelScheduleButton"),
                          Qt::LeftButton);
    } else if (ending == QLatin1String("save")) {
        QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!posted.names.isEmpty(), 15000);
    }
    m_popover->hidePopover();

    const QVariantMap drafts = TamberDataModel::sharedData()->meetingDrafts;
    QCOMPARE(storedDrafts(), drafts);
    QCOMPARE(drafts.size(), newDrafts + (draftOneTitle.isEmpty() ? 0 : 1));
    QCOMPARE(drafts.value(kDraft).toMap().value(QStringLiteral("title")).toString(), draftOneTitle);
    for (auto it = drafts.cbegin(); it != drafts.cend(); ++it) {
        if (it.key() == kDraft)
            continue;
        const QVariantMap draft = it.value().toMap();
        QCOMPARE(draft.value(QStringLiteral("title")).toString(), typed);
        QCOMPARE(draft.value(QStringLiteral("id")), meeting.value(QStringLiteral("id")));
        QCOMPARE(draft.value(QStringLiteral("numericMeetingId")),
                 meeting.value(QStringLiteral("numericMeetingId")));
    }
    if (sent.isEmpty()) {
        QCOMPARE(m_session.sim().requestCount(QStringLiteral("createMeeting")) +
                     m_session.sim().requestCount(QStringLiteral("changeMeeting")),
                 0);
    } else {
        QCOMPARE(m_session.sim().requestCount(sent), 1);
        QVERIFY(!serviceMeeting(typed).isEmpty());
    }
}

void tst_Scheduler::refusedSaveKeepsFormAndDraft() {
    m_session.sim().injectFault(
        QStringLiteral("createMeeting"),
        Fault::httpError(400, {{"errorCode", "INVALID_INPUT"}, {"message", "Room is full"}}));
    const QVariantMap draft = TamberDataModel::sharedData()->meetingDrafts.value(kDraft).toMap();
    open(draft);
    // A resumed draft shows its own times while they are ahead.
    QCOMPARE(QString::number(form()->form().startMs), draft.value(QStringLiteral("start")));
    QCOMPARE(QString::number(form()->form().endMs), draft.value(QStringLiteral("end")));
    typeTitle(QStringLiteral("Second try"));
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
    auto* error = child<QLabel>(m_popover.get(), "saveError");
    QTRY_VERIFY_WITH_TIMEOUT(error->isVisible(), 15000);
    QVERIFY(error->text().contains(QStringLiteral("Room is full")));
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-save-refused"));
    // Usable again, still open, the draft untouched until the popover closes.
    QVERIFY(m_popover->isVisible());
    QVERIFY(!child<QWidget>(m_popover.get(), "overlayView")->isVisible());
    QVERIFY(child<QPushButton>(m_popover.get(), "scheduleButton")->isEnabled());
    QVERIFY(!child<CustomTextField>(m_popover.get(), "meetingTitleField")->isReadOnly());
    QVERIFY(storedDrafts().contains(kDraft));
    m_popover->hidePopover();
    QCOMPARE(storedDrafts().value(kDraft).toMap().value(QStringLiteral("title")).toString(),
             QStringLiteral("Second try"));
}

void tst_Scheduler::failedChecksLeaveTheFormUsable_data() {
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("errorLabel");
    QTest::newRow("token check") << "tokenInfo"
                                 << "scheduleButton"
                                 << "saveError";
    QTest::newRow("defaults refresh") << "user"
                                      << "advancedMeetingOptionsButton"
                                      << "advancedOptionsError";
}

void tst_Scheduler::failedChecksLeaveTheFormUsable() {
    QFETCH(QString, endpoint);
    QFETCH(QString, button);
    QFETCH(QString, errorLabel);
    m_session.sim().injectFault(endpoint, Fault::empty());
    open({});
    QTest::mouseClick(m_popover->findChild<QPushButton*>(button), Qt::LeftButton);
    auto* error = m_popover->findChild<QLabel*>(errorLabel);
    QTRY_VERIFY_WITH_TIMEOUT(error->isVisible(), 15000);
    if (endpoint == QLatin1String("user"))
        MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-error-defaults"));
    QVERIFY(!child<QWidget>(m_popover.get(), "overlayView")->isVisible());
    QVERIFY(!child<QWidget>(m_popover.get(), "schedulingInProgressIndicator")->isVisible());
    QVERIFY(child<QPushButton>(m_popover.get(), "scheduleButton")->isEnabled());
    QVERIFY(child<QPushButton>(m_popover.get(), "advancedMeetingOptionsButton")->isEnabled());
    QVERIFY(!form()->advancedMeetingOptionsPanel()->isVisible());
    QVERIFY(!child<CustomTextField>(m_popover.get(), "meetingTitleField")->isReadOnly());
}

void tst_Scheduler::signOutWithTheSchedulerOpenLeavesNoDraft() {
    AppController controller;
    controller.awakeFromNib();
    controller.createAndShowSchedulerPopover({});
    QTRY_VERIFY(controller.activePopover() && controller.activePopover()->isVisible());
    NotificationCenter::defaultCenter().post(QStringLiteral("SIGN_OUT_ACTION"));
    QVERIFY(!controller.activePopover());
    QVERIFY(TamberDataModel::sharedData()->meetingDrafts.isEmpty());
    QVERIFY(storedDrafts().isEmpty());
}

void tst_Scheduler::answerAfterCloseNeverLeavesADraftOfACreatedMeeting_data() {
    QTest::addColumn<bool>("refused");
    QTest::newRow("created") << false;
    QTest::newRow("refused") << true;
}

void tst_Scheduler::answerAfterCloseNeverLeavesADraftOfACreatedMeeting() {
    QFETCH(bool, refused);
    Fault slow = refused ? Fault::httpError(500) : Fault::delay(1500);
    if (refused)
        slow.delayMs = 1500;
    m_session.sim().injectFault(QStringLiteral("createMeeting"), slow);
    open({});
    typeTitle(QStringLiteral("Late answer"));
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
    QVERIFY(child<QWidget>(m_popover.get(), "overlayView")->isVisible());
    // The keyboard gets past the overlay: neither the sheet nor a second save may start.
    QVERIFY(!child<QPushButton>(m_popover.get(), "advancedMeetingOptionsButton")->isEnabled());
    QVERIFY(!child<QPushButton>(m_popover.get(), "scheduleButton")->isEnabled());
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-saving"));
    QTRY_COMPARE_WITH_TIMEOUT(m_session.sim().requestCount(QStringLiteral("createMeeting")), 1,
                              15000);
    m_popover->hidePopover();
    QCOMPARE(storedDrafts().size(), 2); // kept while the answer is out
    m_popover.reset();                  // the form is gone before the answer
    QTRY_COMPARE_WITH_TIMEOUT(storedDrafts().size(), refused ? 2 : 1, 15000);
    QTest::qWait(300);
    QCOMPARE(storedDrafts().size(), refused ? 2 : 1);
    QCOMPARE(serviceMeeting(QStringLiteral("Late answer")).isEmpty(), refused);
}

void tst_Scheduler::weeklyFormAndAdvancedSheet() {
    TamberDataModel::sharedData()->participantPasscode = QStringLiteral("5151");
    open({});
    // No zone on the account: the machine's, even when the menu lists it under another name.
    QCOMPARE(child<QComboBox>(m_popover.get(), "timeZone")->currentText().section(' ', 1),
             QString::fromLatin1(QTimeZone::systemTimeZoneId()));
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-empty"));
    auto* repeat = child<QComboBox>(m_popover.get(), "recurringOption");
    // Weekly without a day falls back to no repetition when the day popover closes.
    repeat->setCurrentIndex(2);
    form()->repeatPatternAction();
    QTRY_VERIFY(form()->dayOfWeekPopover()->isVisible());
    form()->dayOfWeekPopover()->hide();
    QCOMPARE(repeat->currentIndex(), 0);

    typeTitle(QStringLiteral("Standup"));
    repeat->setCurrentIndex(2);
    form()->repeatPatternAction();
    QTRY_VERIFY(form()->dayOfWeekPopover()->isVisible());
    form()->dayOfWeekPopover()->day(1)->setChecked(true);
    form()->dayOfWeekPopover()->day(3)->setChecked(true);
    QTest::keyClicks(form()->invitees()->editor(), QStringLiteral("ann@example.com, bob@example"));
    QCOMPARE(form()->invitees()->tokens(), QStringList{QStringLiteral("ann@example.com")});
    MenuSession::snapshot(form()->dayOfWeekPopover(), QStringLiteral("scheduler-weekly-days"));
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-weekly"));
    form()->dayOfWeekPopover()->hide();
    QCOMPARE(repeat->currentIndex(), 2);

    // The unfinished address fails the check; the form stays as typed.
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
    auto* emailError = child<QLabel>(m_popover.get(), "errorWithEmailAddressesMessage");
    QVERIFY(emailError->isVisible());
    QCOMPARE(emailError->text(), QStringLiteral("Invalid email address found"));
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-error-attendees"));
    QTest::keyClick(form()->invitees()->editor(), Qt::Key_Backspace);
    QCOMPARE(form()->invitees()->tokens(), QStringList{QStringLiteral("ann@example.com")});
    QVERIFY(!emailError->isVisible());
    // A pasted list: tabs, line breaks and a trailing comma end chips as well.
    QGuiApplication::clipboard()->setText(QStringLiteral("c@x.org\td@y.org\ne@z.org,"));
    QTest::keySequence(form()->invitees()->editor(), QKeySequence::Paste);
    QCOMPARE(form()->invitees()->text(), QStringLiteral("ann@example.com,c@x.org,d@y.org,e@z.org"));
    child<QPlainTextEdit>(m_popover.get(), "customMeetingDescription")
        ->setPlainText(QString(1001, QChar(u'x')));
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(m_popover.get(), "memoError")->text(),
             QStringLiteral("Notes can be at most 1000 characters (has 1001)."));
    MenuSession::snapshot(m_popover.get(), QStringLiteral("scheduler-error-notes"));
    child<QPlainTextEdit>(m_popover.get(), "customMeetingDescription")->setPlainText("Agenda");

    // The sheet: defaults fetched first, then saved options go into the request.
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "advancedMeetingOptionsButton"),
                      Qt::LeftButton);
    AdvancedMeetingOptionsPanel* panel = form()->advancedMeetingOptionsPanel();
    QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 15000);
    QVERIFY(m_popover->isVisible());
    QVERIFY(!child<QPushButton>(m_popover.get(), "scheduleButton")->isEnabled());
    MenuSession::snapshot(panel, QStringLiteral("scheduler-advanced"));
    panel->findChild<QCheckBox*>(QStringLiteral("isLargeMeeting"))->setChecked(true);
    QTest::mouseClick(panel->saveButton(), Qt::LeftButton);
    QTRY_VERIFY(!panel->isVisible());
    QVERIFY(m_popover->isVisible());

    PostedNotifications posted({QStringLiteral("SHOW_MENU_POPOVER")});
    QTest::mouseClick(child<QPushButton>(m_popover.get(), "scheduleButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!posted.names.isEmpty(), 15000);
    const QJsonObject body =
        QJsonDocument::fromJson(m_session.sim().lastRequest(QStringLiteral("createMeeting")).body)
            .object();
    QCOMPARE(body["recurrencePattern"]["daysOfWeekMask"].toInt(), 10);
    QCOMPARE(body["recurrencePattern"]["recurrenceType"].toString(), QStringLiteral("WEEKLY"));
    QCOMPARE(body["isLargeMeeting"], QJsonValue(true));
    QVERIFY(body["advancedMeetingOptions"].isObject());
    QCOMPARE(body["attendees"].toArray().size(), 4);
    QCOMPARE(body["description"].toString(), QStringLiteral("Agenda"));
    QCOMPARE(body["endPointVersion"].toString(), QStringLiteral(TAMBER_VERSION));
    const QVariantMap created = serviceMeeting(QStringLiteral("Standup"));
    QCOMPARE(created.value(QStringLiteral("recurrencePattern"))
                 .toMap()
                 .value(QStringLiteral("daysOfWeekMask"))
                 .toInt(),
             10);
}

void tst_Scheduler::scheduleAndEditFromTheMenu() {
    AppController controller;
    controller.awakeFromNib();
    controller.createAndShowMenuPopover();
    auto menu = [&] { return qobject_cast<MenuPopover*>(controller.activePopover()); };
    QTRY_VERIFY(menu() && menu()->isVisible());
    UpcomingMeetingsViewController* page =
        menu()->menuViewController()->upcomingMeetingsViewController();
    QTRY_VERIFY_WITH_TIMEOUT(page->unifiedTableView()->meetingsModel()->rowCount() > 0, 15000);
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("scheduleMeetingButton")),
                      Qt::LeftButton);

    auto scheduler = [&] { return qobject_cast<SchedulerPopover*>(controller.activePopover()); };
    QTRY_VERIFY(scheduler() && scheduler()->isVisible());
    auto* title = child<CustomTextField>(scheduler(), "meetingTitleField");
    QTest::keyClicks(title, QStringLiteral("Quarterly plan"));
    QTest::mouseClick(child<QPushButton>(scheduler(), "scheduleButton"), Qt::LeftButton);

    auto rowOf = [&](const QString& wanted) {
        // The menu that reopens after a save builds its page and list as it shows.
        MenuViewController* content = menu() ? menu()->menuViewController() : nullptr;
        UpcomingMeetingsViewController* list =
            content ? content->upcomingMeetingsViewController() : nullptr;
        if (!list || !list->unifiedTableView())
            return -1;
        UpcomingMeetingsListModel* model = list->unifiedTableView()->meetingsModel();
        for (int row = 0; row < model->rowCount(); ++row) {
            const MeetingRecord* r = model->record(row);
            if (r && r->value(QStringLiteral("title")).toString() == wanted)
                return row;
        }
        return -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(QStringLiteral("Quarterly plan")) >= 0, 20000);
    QVERIFY(TamberDataModel::sharedData()->meetingDrafts.size() == 1); // only draft-1

    // Edit it from its row.
    UpcomingMeetingsListView* view =
        menu()->menuViewController()->upcomingMeetingsViewController()->unifiedTableView();
    const QModelIndex index = view->meetingsModel()->index(rowOf(QStringLiteral("Quarterly plan")));
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(40, view->visualRect(index).center().y()));
    QTRY_VERIFY(view->editOptions());
    QTest::mouseClick(view->editOptions()->findChild<QPushButton*>(QStringLiteral("editMeeting")),
                      Qt::LeftButton);
    QTRY_VERIFY(scheduler() && scheduler()->isVisible());
    title = child<CustomTextField>(scheduler(), "meetingTitleField");
    QCOMPARE(title->text(), QStringLiteral("Quarterly plan"));
    title->selectAll();
    QTest::keyClicks(title, QStringLiteral("Quarterly plan, moved"));
    QTest::mouseClick(child<QPushButton>(scheduler(), "scheduleButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(QStringLiteral("Quarterly plan, moved")) >= 0, 20000);
    QCOMPARE(rowOf(QStringLiteral("Quarterly plan")), -1);
    QCOMPARE(m_session.sim().requestCount(QStringLiteral("changeMeeting")), 1);
    controller.closeActivePopover();
}

QTEST_MAIN(tst_Scheduler)
#include "tst_Scheduler.moc"
