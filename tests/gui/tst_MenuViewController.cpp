#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "GuiSuite.h"
#include "Menu/AttendMeeting/AttendMeetingViewController.h"
#include "Menu/InstantMeeting/InstantMeetingViewController.h"
#include "Menu/MenuViewController.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"

#include <algorithm>

using namespace Qt::StringLiterals;

// The main menu: its four tabs, the join form and the personal meeting, against the simulator
// (usage events) with a recording browser.
class tst_MenuViewController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_session.start()); }
    void init() {
        m_session.begin(u"Budget review (draft)"_s, 1, QTime(16, 30));
        m_menu = std::make_unique<MenuViewController>();
        QVERIFY(GuiSuite::showAndExpose(m_menu.get()));
        m_menu->menuView()->updateActualRectInSuperViewIfRequired();
    }

    void cleanup() {
        m_menu.reset();
        m_session.end();
    }

    void tabsSwitchPagesAndIcons() {
        auto iconsAre = [this](const QStringList& names) {
            QStringList shown;
            for (int tag = 1; tag <= 4; ++tag)
                shown << m_menu->tabButton(tag)->property("imageName").toString();
            return shown == names;
        };

        // The menu opens on its meetings tab.
        m_menu->updateUpcomingMeetings();
        QPointer<UpcomingMeetingsViewController> upcoming =
            m_menu->upcomingMeetingsViewController();
        QVERIFY(upcoming && upcoming->isVisible());
        QCOMPARE(m_menu->selectedTab(), 1);
        QVERIFY(iconsAre(
            {"meetingsIcon_Selected", "joinMeetingsIcon", "personalMeetingIcon", "settingsIcon"}));
        QCOMPARE(m_menu->menuContentsViewConstraint(), 20);
        // A later menu shows the same icons, not freshly parsed (and cached) copies of them.
        {
            MenuViewController next;
            next.updateSelectedButton(next.tabButton(1));
            for (int tag = 1; tag <= 4; ++tag)
                QCOMPARE(next.tabButton(tag)->icon().cacheKey(),
                         m_menu->tabButton(tag)->icon().cacheKey());
        }
        QTRY_VERIFY(!upcoming->fetcher()->isFetching());
        UpcomingMeetingsListModel* rows = upcoming->unifiedTableView()->meetingsModel();
        QTRY_VERIFY(rows->rowCount() > 0);
        // The picture starts at yesterday: a finished meeting, today's, a series and the draft.
        const QString yesterday = QDate::currentDate().addDays(-1).toString(u"ddd MMM dd, yyyy"_s);
        for (int row = 0; row < rows->rowCount(); ++row) {
            if (rows->headerText(row) == yesterday) {
                upcoming->unifiedTableView()->scrollTo(rows->index(row),
                                                       QAbstractItemView::PositionAtTop);
                break;
            }
        }
        snapshot(u"menu-upcoming"_s);
        // A service meeting's options strip, opened by a click on its row.
        UpcomingMeetingsListView* list = upcoming->unifiedTableView();
        MenuSession::pressRow(list, MenuSession::rowOf(list, u"Design review"_s));
        QVERIFY(list->editOptions() && list->editOptions()->isVisible());
        snapshot(u"menu-upcoming-strip"_s);
        list->closeOptionsStrip();

        // Join: a new page with the focus in the id field; the list page is kept, only hidden.
        AttendMeetingViewController* join = openJoinTab();
        QVERIFY(join && join->isVisible() && !upcoming->isVisible());
        QCOMPARE(m_menu->focusWidget(), join->meetingIdField());
        QVERIFY(iconsAre(
            {"meetingsIcon", "joinMeetingsIcon_Selected", "personalMeetingIcon", "settingsIcon"}));
        // The personal meeting's labels hold the bare values.
        QCOMPARE(join->findChild<QLabel*>("instantMeetingID")->text(), u"7305551001"_s);
        QCOMPARE(join->findChild<QLabel*>("participantPasscode")->text(), u"2468"_s);
        snapshot(u"menu-join"_s);
        typeInto(join->meetingIdField(), u"987"_s);

        // Personal meeting: the join page is released.
        QPointer<AttendMeetingViewController> released = join;
        click(m_menu->tabButton(MenuViewController::InstantMeetingTab));
        QVERIFY(released.isNull());
        InstantMeetingViewController* instant = m_menu->instantMeetingViewController();
        QVERIFY(instant && instant->isVisible());
        QCOMPARE(instant->meetingIdLabel()->text(), u"7305551001"_s);
        QCOMPARE(instant->passcodeLabel()->text(), u"2468"_s);
        const QList<QWidget*> pages =
            m_menu->containerView()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(
            std::count_if(pages.begin(), pages.end(), [](QWidget* w) { return w->isVisible(); }),
            1);
        snapshot(u"menu-personal"_s);

        // Preferences: switched one turn later, content area at 10.
        click(m_menu->tabButton(MenuViewController::PreferencesTab));
        QCOMPARE(m_menu->selectedTab(), 3);
        QTRY_COMPARE(m_menu->selectedTab(), 4);
        QVERIFY(m_menu->preferencesViewController() && !m_menu->instantMeetingViewController());
        QVERIFY(iconsAre(
            {"meetingsIcon", "joinMeetingsIcon", "personalMeetingIcon", "settingsIcon_Selected"}));
        QCOMPARE(m_menu->menuContentsViewConstraint(), 10);
        snapshot(u"menu-preferences"_s);

        // Back to the list: the same page object, a new fetch; the join form comes back empty.
        const int listRequests = m_session.sim().requestCount(VeloraSimulator::Endpoint::Meetings);
        click(m_menu->tabButton(MenuViewController::UpcomingMeetingsTab));
        QCOMPARE(m_menu->upcomingMeetingsViewController(), upcoming.data());
        QCOMPARE(m_menu->menuContentsViewConstraint(), 20);
        QVERIFY(!m_menu->preferencesViewController());
        QTRY_COMPARE(m_session.sim().requestCount(VeloraSimulator::Endpoint::Meetings),
                     listRequests + 1);
        QVERIFY(openJoinTab()->meetingIdField()->text().isEmpty());
    }

    void joinForm_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("passcode");
        QTest::addColumn<QString>("address"); // empty: refused
        // Written as the placeholder shows it, with dashes, padded: the digits are joined.
        QTest::newRow("digits") << u"123456789"_s << QString() << u"123456789/"_s;
        QTest::newRow("placeholder form") << u"730 555 1001"_s << u"4321"_s << u"7305551001/4321"_s;
        QTest::newRow("dashes, padded")
            << u" 730-555-1001 "_s << u"12 34"_s << u"7305551001/1234"_s;
        QTest::newRow("pasted tab") << u"\t0099"_s << u" 7 "_s << u"0099/7"_s;
        QTest::newRow("letter") << u"12a4"_s << QString() << QString();
        QTest::newRow("plus sign") << u"+123"_s << QString() << QString();
        QTest::newRow("minus sign") << u"-123"_s << QString() << QString();
        QTest::newRow("dot") << u"730.555"_s << QString() << QString();
        QTest::newRow("trailing dash") << u"730-"_s << QString() << QString();
        QTest::newRow("letter in passcode") << u"123456789"_s << u"12b4"_s << QString();
    }

    void joinForm() {
        QFETCH(QString, id);
        QFETCH(QString, passcode);
        QFETCH(QString, address);
        AttendMeetingViewController* join = openJoinTab();
        const int passcodeTop = join->passcodeField()->mapTo(join, QPoint()).y();
        // A tab comes only with pasted text.
        if (id.contains(u'\t'))
            join->meetingIdField()->setText(id);
        else
            typeInto(join->meetingIdField(), id);
        typeInto(join->passcodeField(), passcode);
        const bool idValid = !address.isEmpty() || !passcode.isEmpty();
        QCOMPARE(join->joinMeetingButton()->isEnabled(), !address.isEmpty());
        QCOMPARE(join->meetingIdField()->showsErrorBorder(), !idValid);
        QCOMPARE(join->invalidMeetingIdLabel()->isVisible(), !idValid);
        QCOMPARE(join->invalidMeetingIdHeight(),
                 idValid ? 0 : AttendMeetingViewController::kErrorLabelHeight);
        QCOMPARE(join->passcodeField()->showsErrorBorder(), idValid && address.isEmpty());
        if (!idValid) {
            QCOMPARE(join->spaceAboveInvalidMeetingId(),
                     AttendMeetingViewController::kErrorLabelSpacing);
            QVERIFY(!join->invalidMeetingIdLabel()->text().isEmpty());
            if (id == u"12a4"_s)
                snapshot(u"menu-join-error"_s);
        }
        // The error line shows in room kept for it: the passcode field does not move.
        QCoreApplication::processEvents();
        QCOMPARE(join->passcodeField()->mapTo(join, QPoint()).y(), passcodeTop);
        if (address.isEmpty()) {
            // Pressing join anyway (Return, or the action) opens nothing.
            join->passcodeField()->performClick();
            join->joinMeeting();
            QVERIFY(m_session.browser().urls().isEmpty());
            return;
        }
        click(join->joinMeetingButton());
        QCOMPARE(m_session.browser().urls(),
                 QList<QUrl>{QUrl(u"https://%1/"_s.arg(TamberDataModel::VLRdomain()) + address)});
        QVERIFY(!join->meetingIdField()->showsErrorBorder());
    }

    // Only joins whose address opened are reported; the passcode goes with the event when typed.
    void joinEventsOnlyForOpenedAddresses() {
        const qsizetype before = m_session.settledEventCount(u"join_meeting_from_tab"_s);
        AttendMeetingViewController* join = openJoinTab();
        // A fresh form: join disabled, no error until the user asks to join with an empty id.
        QVERIFY(!join->joinMeetingButton()->isEnabled() &&
                !join->meetingIdField()->showsErrorBorder());
        join->joinMeeting();
        QVERIFY(join->meetingIdField()->showsErrorBorder());
        QCOMPARE(join->invalidMeetingIdHeight(), AttendMeetingViewController::kErrorLabelHeight);
        // Emptied while typing: no error.
        typeInto(join->meetingIdField(), u"12a"_s);
        typeInto(join->meetingIdField(), QString());
        QVERIFY(!join->meetingIdField()->showsErrorBorder());
        QCOMPARE(join->invalidMeetingIdHeight(), 0);
        // No browser to open it: no event.
        typeInto(join->meetingIdField(), u"730 555 1001"_s);
        m_session.browser().setSucceeds(false);
        click(join->joinMeetingButton());
        m_session.browser().setSucceeds(true);
        typeInto(join->passcodeField(), u"4321"_s);
        click(join->joinMeetingButton());
        typeInto(join->passcodeField(), QString());
        typeInto(join->meetingIdField(), u"555"_s);
        click(join->joinMeetingButton());
        QCOMPARE(m_session.browser().urls().size(), 3);
        const QList<QJsonObject> joins =
            m_session.awaitEvents(u"join_meeting_from_tab"_s, before, 2);
        QCOMPARE(joins.size(), 2);
        QCOMPARE(joins[0][u"meetingId"_s].toString(), u"7305551001"_s);
        QCOMPARE(joins[1][u"meetingId"_s].toString(), u"555"_s);
        QCOMPARE(joins[0][u"passcode"_s].toString(), u"4321"_s);
        QVERIFY(!joins[1].contains(u"passcode"_s));
        QTest::qWait(200); // a late event of the failed join would be here by now
        QCOMPARE(m_session.eventsNamed(u"join_meeting_from_tab"_s).size(), before + 2);
    }

    void personalMeetingOpensInstantAddress() {
        const QUrl instant(TamberDataModel::instantMeetingURL());
        QVERIFY(instant.isValid() && instant.toString().contains("7305551001"_L1));

        // The personal-meeting tab: opens the address, no usage event.
        click(m_menu->tabButton(MenuViewController::InstantMeetingTab));
        click(m_menu->instantMeetingViewController()->startButton());
        QCOMPARE(m_session.browser().urls(), QList<QUrl>{instant});

        // The join tab's own start button: the same address, and the start event.
        const qsizetype before = m_session.settledEventCount(u"start_meeting_from_tab"_s);
        AttendMeetingViewController* join = openJoinTab();
        click(join->findChild<QPushButton*>(u"startInstantMeeting"_s));
        QCOMPARE(m_session.browser().urls(), (QList<QUrl>{instant, instant}));
        const QList<QJsonObject> starts =
            m_session.awaitEvents(u"start_meeting_from_tab"_s, before);
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts.first()[u"meetingId"_s].toString(), u"7305551001"_s);
        QCOMPARE(starts.first()[u"passcode"_s].toString(), u"2468"_s);
    }

    void releaseLogsDeallocWithSuffix() {
        LogSpy spy;
        m_menu->updateUpcomingMeetings();
        UpcomingMeetingsFetcher* fetcher = m_menu->upcomingMeetingsViewController()->fetcher();
        QTRY_VERIFY(!fetcher->isFetching());
        click(m_menu->tabButton(MenuViewController::AttendMeetingTab));
        // The list page kept out of sight leaves a refresh to its next showing.
        NotificationCenter::defaultCenter().post(u"REFRESH_UPCOMING_MEETINGS"_s);
        QCoreApplication::processEvents();
        QVERIFY(!fetcher->isFetching());
        m_menu.reset();
        const QStringList lines = spy.messages(Log::Verbose);
        auto has = [&lines](const QString& start, const QString& end) {
            for (const QString& line : lines) {
                if (line.startsWith(start) && line.endsWith(end))
                    return true;
            }
            return false;
        };
        QVERIFY(has(u"******** DEALLOC: <MenuViewController: 0x"_s,
                    u">..Removing from notification center"_s));
        QVERIFY(has(u"******** DEALLOC: <UpcomingMeetingsViewController: 0x"_s, u">"_s));
        QVERIFY(has(u"******** DEALLOC: <AttendMeetingViewController: 0x"_s, u">"_s));
        // Released controllers no longer listen: a refresh after the menu is gone reaches nobody.
        QVERIFY(!NotificationCenter::defaultCenter().hasObservers(u"REFRESH_UPCOMING_MEETINGS"_s));
    }

private:
    void typeInto(CustomTextField* field, const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }

    void click(QPushButton* button) { GuiSuite::click(button); }
    void snapshot(const QString& name) { MenuSession::snapshot(m_menu.get(), name); }
    AttendMeetingViewController* openJoinTab() {
        click(m_menu->tabButton(MenuViewController::AttendMeetingTab));
        return m_menu->attendMeetingViewController();
    }

    MenuSession m_session;
    std::unique_ptr<MenuViewController> m_menu;
};

TAMBER_TEST_MAIN_GUI(tst_MenuViewController)
#include "tst_MenuViewController.moc"
