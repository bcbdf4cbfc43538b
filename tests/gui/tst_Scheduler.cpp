#include "AbstractTamberWindowController/CustomTextField.h"
#include "AppController.h"
#include "GuiSuite.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Menu/UpcomingMeetings/EditOptionsView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"
#include "Scheduler/AdvancedMeetingOptionsPanel.h"
#include "Scheduler/CustomTokenField.h"
#include "Scheduler/DayOfWeekPopover.h"
#include "Scheduler/SchedulerPopover.h"
#include "Scheduler/SchedulerViewController.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString kDraft = u"draft-1"_s;
using GuiSuite::child;
using GuiSuite::storedDrafts;

} // namespace

class tst_Scheduler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_session.start());
    }

    void init() {
        m_session.begin(u"Budget (draft)"_s, 2, QTime(15, 0));
        TamberDataModel::saveDataToBundle();
    }

    void cleanup() {
        m_popover.reset();
        m_session.sim().clearFaults();
        m_session.end();
    }

    void draftsByHowTheFormCloses_data() {
        QTest::addColumn<QString>("form");          // new, draft, change
        QTest::addColumn<QString>("ending");        // close, cancel, save
        QTest::addColumn<int>("newDrafts");         // besides draft-1
        QTest::addColumn<QString>("draftOneTitle"); // empty: removed
        QTest::addColumn<QString>("sent");          // endpoint of the save, or empty

        const QString kept = u"Budget (draft)"_s;
        const QString typed = u"Typed \u05e9\u05dc\u05d5\u05dd \U0001F600"_s;
        QTest::newRow("new, closed") << u"new"_s << u"close"_s << 1 << kept << QString();
        QTest::newRow("new, cancelled") << u"new"_s << u"cancel"_s << 0 << kept << QString();
        QTest::newRow("new, saved") << u"new"_s << u"save"_s << 0 << kept << u"createMeeting"_s;
        QTest::newRow("draft, closed") << u"draft"_s << u"close"_s << 0 << typed << QString();
        QTest::newRow("draft, cancelled") << u"draft"_s << u"cancel"_s << 0 << kept << QString();
        QTest::newRow("draft, saved")
            << u"draft"_s << u"save"_s << 0 << QString() << u"createMeeting"_s;
        QTest::newRow("change, closed") << u"change"_s << u"close"_s << 1 << kept << QString();
        QTest::newRow("change, cancelled") << u"change"_s << u"cancel"_s << 0 << kept << QString();
        QTest::newRow("change, saved")
            << u"change"_s << u"save"_s << 0 << kept << u"changeMeeting"_s;
        // No "id": there is no address to change, so it is created.
        QTest::newRow("numeric id only, saved")
            << u"numeric"_s << u"save"_s << 0 << kept << u"createMeeting"_s;
    }

    void draftsByHowTheFormCloses() {
        QFETCH(QString, form);
        QFETCH(QString, ending);
        QFETCH(int, newDrafts);
        QFETCH(QString, draftOneTitle);
        QFETCH(QString, sent);

        const QString typed = u"Typed \u05e9\u05dc\u05d5\u05dd \U0001F600"_s;
        QVariantMap meeting;
        if (form == "draft"_L1)
            meeting = TamberDataModel::sharedData()->meetingDrafts.value(kDraft).toMap();
        if (form == "change"_L1)
            meeting = serviceMeeting(u"Design review"_s);
        if (form == "numeric"_L1)
            meeting = {{u"numericMeetingId"_s, u"831000999"_s}};
        QVERIFY(form == "new"_L1 || !meeting.isEmpty());

        PostedNotifications posted({u"SHOW_MENU_POPOVER"_s});
        open(meeting);
        typeTitle(typed);
        if (ending == "cancel"_L1) {
            QTest::mouseClick(get<QPushButton>("cancelScheduleButton"), Qt::LeftButton);
        } else if (ending == "save"_L1) {
            QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!posted.names.isEmpty(), 15000);
        }
        m_popover->hidePopover();

        const QVariantMap drafts = TamberDataModel::sharedData()->meetingDrafts;
        QCOMPARE(storedDrafts(), drafts);
        QCOMPARE(drafts.size(), newDrafts + (draftOneTitle.isEmpty() ? 0 : 1));
        QCOMPARE(drafts.value(kDraft).toMap().value(u"title"_s).toString(), draftOneTitle);
        for (auto it = drafts.cbegin(); it != drafts.cend(); ++it) {
            if (it.key() == kDraft)
                continue;
            const QVariantMap draft = it.value().toMap();
            QCOMPARE(draft.value(u"title"_s).toString(), typed);
            QCOMPARE(draft.value(u"id"_s), meeting.value(u"id"_s));
            QCOMPARE(draft.value(u"numericMeetingId"_s), meeting.value(u"numericMeetingId"_s));
        }
        if (sent.isEmpty()) {
            QCOMPARE(m_session.sim().requestCount(u"createMeeting"_s) +
                         m_session.sim().requestCount(u"changeMeeting"_s),
                     0);
        } else {
            QCOMPARE(m_session.sim().requestCount(sent), 1);
            QVERIFY(!serviceMeeting(typed).isEmpty());
        }
    }

    void refusedSaveKeepsFormAndDraft() {
        m_session.sim().injectFault(
            u"createMeeting"_s,
            Fault::httpError(400, {{"errorCode", "INVALID_INPUT"}, {"message", "Room is full"}}));
        const QVariantMap draft =
            TamberDataModel::sharedData()->meetingDrafts.value(kDraft).toMap();
        open(draft);
        // A resumed draft shows its own times while they are ahead.
        QCOMPARE(QString::number(form()->form().startMs), draft.value(u"start"_s));
        QCOMPARE(QString::number(form()->form().endMs), draft.value(u"end"_s));
        typeTitle(u"Second try"_s);
        QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
        auto* error = get<QLabel>("saveError");
        QTRY_VERIFY_WITH_TIMEOUT(error->isVisible(), 15000);
        QVERIFY(error->text().contains(u"Room is full"_s));
        MenuSession::snapshot(m_popover.get(), u"scheduler-save-refused"_s);
        // Usable again, still open, the draft untouched until the popover closes.
        QVERIFY(m_popover->isVisible() && !get<QWidget>("overlayView")->isVisible());
        QVERIFY(get<QPushButton>("scheduleButton")->isEnabled());
        QVERIFY(!get<CustomTextField>("meetingTitleField")->isReadOnly());
        QVERIFY(storedDrafts().contains(kDraft));
        m_popover->hidePopover();
        QCOMPARE(storedDrafts().value(kDraft).toMap().value(u"title"_s).toString(),
                 u"Second try"_s);
    }

    void failedChecksLeaveTheFormUsable_data() {
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

    void failedChecksLeaveTheFormUsable() {
        QFETCH(QString, endpoint);
        QFETCH(QString, button);
        QFETCH(QString, errorLabel);
        m_session.sim().injectFault(endpoint, Fault::empty());
        open({});
        QTest::mouseClick(m_popover->findChild<QPushButton*>(button), Qt::LeftButton);
        auto* error = m_popover->findChild<QLabel*>(errorLabel);
        QTRY_VERIFY_WITH_TIMEOUT(error->isVisible(), 15000);
        if (endpoint == "user"_L1)
            MenuSession::snapshot(m_popover.get(), u"scheduler-error-defaults"_s);
        QVERIFY(!get<QWidget>("overlayView")->isVisible());
        QVERIFY(!get<QWidget>("schedulingInProgressIndicator")->isVisible());
        QVERIFY(get<QPushButton>("scheduleButton")->isEnabled());
        QVERIFY(get<QPushButton>("advancedMeetingOptionsButton")->isEnabled());
        QVERIFY(!form()->advancedMeetingOptionsPanel()->isVisible());
        QVERIFY(!get<CustomTextField>("meetingTitleField")->isReadOnly());
    }

    void signOutWithTheSchedulerOpenLeavesNoDraft() {
        AppController controller;
        controller.awakeFromNib();
        controller.createAndShowSchedulerPopover({});
        QTRY_VERIFY(controller.activePopover() && controller.activePopover()->isVisible());
        NotificationCenter::defaultCenter().post(u"SIGN_OUT_ACTION"_s);
        QVERIFY(!controller.activePopover() &&
                TamberDataModel::sharedData()->meetingDrafts.isEmpty());
        QVERIFY(storedDrafts().isEmpty());
    }

    void answerAfterCloseNeverLeavesADraftOfACreatedMeeting_data() {
        QTest::addColumn<bool>("refused");
        QTest::newRow("created") << false;
        QTest::newRow("refused") << true;
    }

    void answerAfterCloseNeverLeavesADraftOfACreatedMeeting() {
        QFETCH(bool, refused);
        Fault slow = refused ? Fault::httpError(500) : Fault::delay(1500);
        if (refused)
            slow.delayMs = 1500;
        m_session.sim().injectFault(u"createMeeting"_s, slow);
        open({});
        typeTitle(u"Late answer"_s);
        QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
        QVERIFY(get<QWidget>("overlayView")->isVisible());
        // The keyboard gets past the overlay: neither the sheet nor a second save may start.
        QVERIFY(!get<QPushButton>("advancedMeetingOptionsButton")->isEnabled());
        QVERIFY(!get<QPushButton>("scheduleButton")->isEnabled());
        MenuSession::snapshot(m_popover.get(), u"scheduler-saving"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_session.sim().requestCount(u"createMeeting"_s), 1, 15000);
        m_popover->hidePopover();
        QCOMPARE(storedDrafts().size(), 2); // kept while the answer is out
        m_popover.reset();                  // the form is gone before the answer
        QTRY_COMPARE_WITH_TIMEOUT(storedDrafts().size(), refused ? 2 : 1, 15000);
        QTest::qWait(300);
        QCOMPARE(storedDrafts().size(), refused ? 2 : 1);
        QCOMPARE(serviceMeeting(u"Late answer"_s).isEmpty(), refused);
    }

    void weeklyFormAndAdvancedSheet() {
        TamberDataModel::sharedData()->participantPasscode = u"5151"_s;
        open({});
        // No zone on the account: the machine's, even when the menu lists it under another name.
        QCOMPARE(get<QComboBox>("timeZone")->currentText().section(' ', 1),
                 QString::fromLatin1(QTimeZone::systemTimeZoneId()));
        MenuSession::snapshot(m_popover.get(), u"scheduler-empty"_s);
        auto* repeat = get<QComboBox>("recurringOption");
        // Weekly without a day falls back to no repetition when the day popover closes.
        repeat->setCurrentIndex(2);
        form()->repeatPatternAction();
        QTRY_VERIFY(form()->dayOfWeekPopover()->isVisible());
        form()->dayOfWeekPopover()->hide();
        QCOMPARE(repeat->currentIndex(), 0);

        typeTitle(u"Standup"_s);
        repeat->setCurrentIndex(2);
        form()->repeatPatternAction();
        QTRY_VERIFY(form()->dayOfWeekPopover()->isVisible());
        form()->dayOfWeekPopover()->day(1)->setChecked(true);
        form()->dayOfWeekPopover()->day(3)->setChecked(true);
        QTest::keyClicks(form()->invitees()->editor(), u"ann@example.com, bob@example"_s);
        QCOMPARE(form()->invitees()->tokens(), QStringList{u"ann@example.com"_s});
        MenuSession::snapshot(form()->dayOfWeekPopover(), u"scheduler-weekly-days"_s);
        MenuSession::snapshot(m_popover.get(), u"scheduler-weekly"_s);
        form()->dayOfWeekPopover()->hide();
        QCOMPARE(repeat->currentIndex(), 2);

        // The unfinished address fails the check; the form stays as typed.
        QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
        auto* emailError = get<QLabel>("errorWithEmailAddressesMessage");
        QVERIFY(emailError->isVisible());
        QCOMPARE(emailError->text(), u"Invalid email address found"_s);
        MenuSession::snapshot(m_popover.get(), u"scheduler-error-attendees"_s);
        QTest::keyClick(form()->invitees()->editor(), Qt::Key_Backspace);
        QCOMPARE(form()->invitees()->tokens(), QStringList{u"ann@example.com"_s});
        QVERIFY(!emailError->isVisible());
        // A pasted list: tabs, line breaks and a trailing comma end chips as well.
        QGuiApplication::clipboard()->setText(u"c@x.org\td@y.org\ne@z.org,"_s);
        QTest::keySequence(form()->invitees()->editor(), QKeySequence::Paste);
        QCOMPARE(form()->invitees()->text(), u"ann@example.com,c@x.org,d@y.org,e@z.org"_s);
        get<QPlainTextEdit>("customMeetingDescription")->setPlainText(QString(1001, QChar(u'x')));
        QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
        QCOMPARE(get<QLabel>("memoError")->text(),
                 u"Notes can be at most 1000 characters (has 1001)."_s);
        MenuSession::snapshot(m_popover.get(), u"scheduler-error-notes"_s);
        get<QPlainTextEdit>("customMeetingDescription")->setPlainText("Agenda");

        // The sheet: defaults fetched first, then saved options go into the request.
        QTest::mouseClick(get<QPushButton>("advancedMeetingOptionsButton"), Qt::LeftButton);
        AdvancedMeetingOptionsPanel* panel = form()->advancedMeetingOptionsPanel();
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 15000);
        QVERIFY(m_popover->isVisible() && !get<QPushButton>("scheduleButton")->isEnabled());
        MenuSession::snapshot(panel, u"scheduler-advanced"_s);
        panel->findChild<QCheckBox*>(u"isLargeMeeting"_s)->setChecked(true);
        QTest::mouseClick(panel->saveButton(), Qt::LeftButton);
        QTRY_VERIFY(!panel->isVisible());
        QVERIFY(m_popover->isVisible());

        PostedNotifications posted({u"SHOW_MENU_POPOVER"_s});
        QTest::mouseClick(get<QPushButton>("scheduleButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!posted.names.isEmpty(), 15000);
        const QJsonObject body =
            QJsonDocument::fromJson(m_session.sim().lastRequest(u"createMeeting"_s).body).object();
        QCOMPARE(body["recurrencePattern"]["daysOfWeekMask"].toInt(), 10);
        QCOMPARE(body["recurrencePattern"]["recurrenceType"].toString(), u"WEEKLY"_s);
        QCOMPARE(body["isLargeMeeting"], QJsonValue(true));
        QVERIFY(body["advancedMeetingOptions"].isObject());
        QCOMPARE(body["attendees"].toArray().size(), 4);
        QCOMPARE(body["description"].toString(), u"Agenda"_s);
        QCOMPARE(body["endPointVersion"].toString(), QStringLiteral(TAMBER_VERSION));
        const QVariantMap created = serviceMeeting(u"Standup"_s);
        QCOMPARE(created.value(u"recurrencePattern"_s).toMap().value(u"daysOfWeekMask"_s).toInt(),
                 10);
    }

    void scheduleAndEditFromTheMenu() {
        AppController controller;
        controller.awakeFromNib();
        controller.createAndShowMenuPopover();
        auto scheduler = [&] {
            return qobject_cast<SchedulerPopover*>(controller.activePopover());
        };
        // The menu that reopens after a save builds its page and list as it shows.
        auto list = [&]() -> UpcomingMeetingsListView* {
            auto* menu = qobject_cast<MenuPopover*>(controller.activePopover());
            UpcomingMeetingsViewController* page =
                menu ? menu->menuViewController()->upcomingMeetingsViewController() : nullptr;
            return page ? page->unifiedTableView() : nullptr;
        };
        auto rowOf = [&](const QString& title) { return MenuSession::rowOf(list(), title); };
        QTRY_VERIFY_WITH_TIMEOUT(list() && list()->meetingsModel()->rowCount() > 0, 15000);
        QTest::mouseClick(
            controller.activePopover()->findChild<QPushButton*>(u"scheduleMeetingButton"_s),
            Qt::LeftButton);
        QTRY_VERIFY(scheduler() && scheduler()->isVisible());
        QTest::keyClicks(child<CustomTextField>(scheduler(), "meetingTitleField"),
                         u"Quarterly plan"_s);
        QTest::mouseClick(child<QPushButton>(scheduler(), "scheduleButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(u"Quarterly plan"_s) >= 0, 20000);
        QCOMPARE(TamberDataModel::sharedData()->meetingDrafts.size(), 1); // only draft-1

        // Edit it from its row.
        MenuSession::pressRow(list(), rowOf(u"Quarterly plan"_s));
        QTRY_VERIFY(list()->editOptions());
        QTest::mouseClick(list()->editOptions()->editMeetingButton(), Qt::LeftButton);
        QTRY_VERIFY(scheduler() && scheduler()->isVisible());
        auto* title = child<CustomTextField>(scheduler(), "meetingTitleField");
        QCOMPARE(title->text(), u"Quarterly plan"_s);
        title->selectAll();
        QTest::keyClicks(title, u"Quarterly plan, moved"_s);
        QTest::mouseClick(child<QPushButton>(scheduler(), "scheduleButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(u"Quarterly plan, moved"_s) >= 0, 20000);
        QCOMPARE(rowOf(u"Quarterly plan"_s), -1);
        QCOMPARE(m_session.sim().requestCount(u"changeMeeting"_s), 1);
        controller.closeActivePopover();
    }

private:
    SchedulerPopover* open(const QVariantMap& meeting) {
        m_popover = std::make_unique<SchedulerPopover>(meeting);
        m_popover->showPopover(QRect());
        return m_popover.get();
    }
    SchedulerViewController* form() const { return m_popover->schedulerViewController(); }
    template <typename T = QWidget> T* get(const char* name) const {
        return child<T>(m_popover.get(), name);
    }

    void typeTitle(const QString& title) {
        auto* field = get<CustomTextField>("meetingTitleField");
        field->selectAll();
        // Typed keys are Latin-1 only; the rest of the text arrives as input-method text would.
        field->insert(title);
    }

    QVariantMap serviceMeeting(const QString& title) {
        return GuiSuite::serviceMeeting(m_session, title).toVariantMap();
    }

    MenuSession m_session;
    std::unique_ptr<SchedulerPopover> m_popover;
};

TAMBER_TEST_MAIN_GUI(tst_Scheduler)
#include "tst_Scheduler.moc"
