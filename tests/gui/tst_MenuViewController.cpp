#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Menu/AttendMeeting/AttendMeetingViewController.h"
#include "Menu/InstantMeeting/InstantMeetingViewController.h"
#include "Menu/MenuViewController.h"
#include "Menu/Preferences/PreferencesViewController.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListModel.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsListView.h"
#include "Menu/UpcomingMeetings/UpcomingMeetingsViewController.h"
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
#include <algorithm>
#include <memory>

// The main menu: its four tabs, the join form and the personal meeting, against the simulator
// (usage events) with a recording browser.
class tst_MenuViewController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void tabsSwitchPagesAndIcons();
    void joinFormRejectsBadInputWithoutOpeningOrReporting();
    void joinOpensTheTrimmedDigits();
    void joinFormRefusesSignsAndKeepsItsLayout_data();
    void joinFormRefusesSignsAndKeepsItsLayout();
    void joinEventOnlyWhenTheAddressOpened();
    void personalMeetingOpensInstantAddress();
    void releaseLogsDeallocWithSuffix();

private:
    void typeInto(CustomTextField* field, const QString& text);
    void click(QPushButton* button);
    void snapshot(const QString& name);
    AttendMeetingViewController* openJoinTab();

    MenuSession m_session;
    std::unique_ptr<MenuViewController> m_menu;
};

void tst_MenuViewController::initTestCase() {
    QVERIFY(m_session.start());
}

void tst_MenuViewController::init() {
    m_session.begin(QStringLiteral("Budget review (draft)"), 1, QTime(16, 30));
    m_menu = std::make_unique<MenuViewController>();
    m_menu->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_menu.get()));
    m_menu->menuView()->updateActualRectInSuperViewIfRequired();
}

void tst_MenuViewController::cleanup() {
    m_menu.reset();
    m_session.end();
}

void tst_MenuViewController::typeInto(CustomTextField* field, const QString& text) {
    field->clear();
    QTest::keyClicks(field, text);
}

void tst_MenuViewController::click(QPushButton* button) {
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void tst_MenuViewController::snapshot(const QString& name) {
    MenuSession::snapshot(m_menu.get(), name);
}

AttendMeetingViewController* tst_MenuViewController::openJoinTab() {
    click(m_menu->tabButton(MenuViewController::AttendMeetingTab));
    return m_menu->attendMeetingViewController();
}

void tst_MenuViewController::tabsSwitchPagesAndIcons() {
    auto iconsAre = [this](const QStringList& names) {
        QStringList shown;
        for (int tag = 1; tag <= 4; ++tag)
            shown << m_menu->tabButton(tag)->property("imageName").toString();
        return shown == names;
    };

    // The menu opens on its meetings tab.
    m_menu->updateUpcomingMeetings();
    QPointer<UpcomingMeetingsViewController> upcoming = m_menu->upcomingMeetingsViewController();
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
    const QString yesterday =
        QDate::currentDate().addDays(-1).toString(QStringLiteral("ddd MMM dd, yyyy"));
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (rows->headerText(row) == yesterday) {
            upcoming->unifiedTableView()->scrollTo(rows->index(row),
                                                   QAbstractItemView::PositionAtTop);
            break;
        }
    }
    snapshot(QStringLiteral("menu-upcoming"));
    // A service meeting's options strip, opened by a click on its row.
    UpcomingMeetingsListView* list = upcoming->unifiedTableView();
    for (int row = 0; row < rows->rowCount(); ++row) {
        const MeetingRecord* record = rows->record(row);
        if (record && record->value(QStringLiteral("title")) == QLatin1String("Design review")) {
            const QRect rect = list->visualRect(rows->index(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
            QCOMPARE(rows->stripRow(), row);
            break;
        }
    }
    QVERIFY(list->editOptions() && list->editOptions()->isVisible());
    snapshot(QStringLiteral("menu-upcoming-strip"));
    list->closeOptionsStrip();

    // Join: a new page with the focus in the id field; the list page is kept, only hidden.
    AttendMeetingViewController* join = openJoinTab();
    QVERIFY(join && join->isVisible());
    QVERIFY(!upcoming->isVisible());
    QCOMPARE(m_menu->focusWidget(), join->meetingIdField());
    QVERIFY(iconsAre(
        {"meetingsIcon", "joinMeetingsIcon_Selected", "personalMeetingIcon", "settingsIcon"}));
    // The personal meeting's labels hold the bare values.
    QCOMPARE(join->findChild<QLabel*>("instantMeetingID")->text(), QStringLiteral("7305551001"));
    QCOMPARE(join->findChild<QLabel*>("participantPasscode")->text(), QStringLiteral("2468"));
    snapshot(QStringLiteral("menu-join"));
    typeInto(join->meetingIdField(), QStringLiteral("987"));

    // Personal meeting: the join page is released.
    QPointer<AttendMeetingViewController> released = join;
    click(m_menu->tabButton(MenuViewController::InstantMeetingTab));
    QVERIFY(released.isNull());
    InstantMeetingViewController* instant = m_menu->instantMeetingViewController();
    QVERIFY(instant && instant->isVisible());
    QCOMPARE(instant->meetingIdLabel()->text(), QStringLiteral("7305551001"));
    QCOMPARE(instant->passcodeLabel()->text(), QStringLiteral("2468"));
    const QList<QWidget*> pages =
        m_menu->containerView()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(std::count_if(pages.begin(), pages.end(), [](QWidget* w) { return w->isVisible(); }),
             1);
    snapshot(QStringLiteral("menu-personal"));

    // Preferences: switched one turn later, content area at 10.
    click(m_menu->tabButton(MenuViewController::PreferencesTab));
    QCOMPARE(m_menu->selectedTab(), 3);
    QTRY_COMPARE(m_menu->selectedTab(), 4);
    QVERIFY(m_menu->preferencesViewController());
    QVERIFY(!m_menu->instantMeetingViewController());
    QVERIFY(iconsAre(
        {"meetingsIcon", "joinMeetingsIcon", "personalMeetingIcon", "settingsIcon_Selected"}));
    QCOMPARE(m_menu->menuContentsViewConstraint(), 10);
    snapshot(QStringLiteral("menu-preferences"));

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

void tst_MenuViewController::joinFormRejectsBadInputWithoutOpeningOrReporting() {
    const qsizetype before = m_session.eventsNamed(QStringLiteral("join_meeting_from_tab")).size();
    AttendMeetingViewController* join = openJoinTab();
    CustomTextField* id = join->meetingIdField();
    CustomTextField* passcode = join->passcodeField();
    QPushButton* joinButton = join->joinMeetingButton();

    // A fresh form: no error shown, join disabled.
    QVERIFY(!joinButton->isEnabled());
    QVERIFY(!id->showsErrorBorder());
    QCOMPARE(join->invalidMeetingIdHeight(), 0);

    // A letter among the digits: red border and error label while typing, join disabled.
    typeInto(id, QStringLiteral("12a4"));
    QVERIFY(id->showsErrorBorder());
    QVERIFY(join->invalidMeetingIdLabel()->isVisible());
    QVERIFY(!join->invalidMeetingIdLabel()->text().isEmpty());
    QCOMPARE(join->invalidMeetingIdHeight(), AttendMeetingViewController::kErrorLabelHeight);
    QCOMPARE(join->spaceAboveInvalidMeetingId(), AttendMeetingViewController::kErrorLabelSpacing);
    QVERIFY(!joinButton->isEnabled());
    snapshot(QStringLiteral("menu-join-error"));

    // Emptied while typing: no error, still disabled.
    typeInto(id, QString());
    QVERIFY(!id->showsErrorBorder());
    QCOMPARE(join->invalidMeetingIdHeight(), 0);
    QVERIFY(!joinButton->isEnabled());

    // A valid id but a passcode with a letter: passcode error, join disabled.
    typeInto(id, QStringLiteral("123456789"));
    QVERIFY(joinButton->isEnabled());
    typeInto(passcode, QStringLiteral("12b4"));
    QVERIFY(passcode->showsErrorBorder());
    QCOMPARE(join->invalidPasscodeHeight(), AttendMeetingViewController::kErrorLabelHeight);
    QVERIFY(!joinButton->isEnabled());
    // Pressing join anyway (Return, or the action) opens nothing.
    passcode->performClick();
    join->joinMeeting();
    QVERIFY(m_session.browser().urls().isEmpty());

    // An empty id is an error once the user asks to join.
    typeInto(passcode, QString());
    typeInto(id, QString());
    join->joinMeeting();
    QVERIFY(id->showsErrorBorder());
    QCOMPARE(join->invalidMeetingIdHeight(), AttendMeetingViewController::kErrorLabelHeight);
    QVERIFY(m_session.browser().urls().isEmpty());

    // Fence: one valid join, whose event arrives; it must be the only join event.
    typeInto(id, QStringLiteral("555"));
    click(joinButton);
    QCOMPARE(m_session.browser().urls().size(), 1);
    const QList<QJsonObject> joins =
        m_session.awaitEvents(QStringLiteral("join_meeting_from_tab"), before);
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.first()[QStringLiteral("meetingId")].toString(), QStringLiteral("555"));
    QVERIFY(!joins.first().contains(QStringLiteral("passcode")));
}

void tst_MenuViewController::joinOpensTheTrimmedDigits() {
    const QString host = TamberDataModel::VLRdomain();
    const qsizetype before = m_session.eventsNamed(QStringLiteral("join_meeting_from_tab")).size();
    struct Case {
        QString id, passcode, address;
    };
    // Written as the placeholder shows it, with dashes, padded: the digits are joined.
    const QList<Case> cases{
        {QStringLiteral("123456789"), QString(), QStringLiteral("https://%1/123456789/")},
        {QStringLiteral("730 555 1001"), QStringLiteral("4321"),
         QStringLiteral("https://%1/7305551001/4321")},
        {QStringLiteral(" 730-555-1001 "), QStringLiteral("12 34"),
         QStringLiteral("https://%1/7305551001/1234")},
        {QStringLiteral("\t0099"), QStringLiteral(" 7 "), QStringLiteral("https://%1/0099/7")},
    };
    for (const Case& c : cases) {
        AttendMeetingViewController* join = openJoinTab();
        join->meetingIdField()->setText(c.id);
        join->passcodeField()->setText(c.passcode);
        QVERIFY2(join->joinMeetingButton()->isEnabled(), qPrintable(c.id));
        m_session.browser().clear();
        click(join->joinMeetingButton());
        QCOMPARE(m_session.browser().urls().size(), 1);
        QCOMPARE(m_session.browser().urls().first().toString(), c.address.arg(host));
        QVERIFY(!join->meetingIdField()->showsErrorBorder());
    }
    // The passcode travels with the event when one was typed.
    const QList<QJsonObject> joins =
        m_session.awaitEvents(QStringLiteral("join_meeting_from_tab"), before, 4);
    QCOMPARE(joins.size(), 4);
    int withPasscode = 0;
    for (const QJsonObject& data : joins)
        withPasscode += data.contains(QStringLiteral("passcode")) ? 1 : 0;
    QCOMPARE(withPasscode, 3);
}

void tst_MenuViewController::joinFormRefusesSignsAndKeepsItsLayout_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("valid");
    QTest::newRow("placeholder form") << QStringLiteral("730 555 1001") << true;
    QTest::newRow("dashes") << QStringLiteral("730-555-1001") << true;
    QTest::newRow("plus sign") << QStringLiteral("+123") << false;
    QTest::newRow("minus sign") << QStringLiteral("-123") << false;
    QTest::newRow("dot") << QStringLiteral("730.555") << false;
    QTest::newRow("trailing dash") << QStringLiteral("730-") << false;
}

void tst_MenuViewController::joinFormRefusesSignsAndKeepsItsLayout() {
    QFETCH(QString, id);
    QFETCH(bool, valid);
    AttendMeetingViewController* join = openJoinTab();
    const int passcodeTop = join->passcodeField()->mapTo(join, QPoint()).y();
    typeInto(join->meetingIdField(), id);
    QCOMPARE(join->joinMeetingButton()->isEnabled(), valid);
    QCOMPARE(join->meetingIdField()->showsErrorBorder(), !valid);
    QCOMPARE(join->invalidMeetingIdLabel()->isVisible(), !valid);
    // The error line shows in room kept for it: the passcode field does not move.
    QCoreApplication::processEvents();
    QCOMPARE(join->passcodeField()->mapTo(join, QPoint()).y(), passcodeTop);
}

void tst_MenuViewController::joinEventOnlyWhenTheAddressOpened() {
    const qsizetype before = m_session.eventsNamed(QStringLiteral("join_meeting_from_tab")).size();
    AttendMeetingViewController* join = openJoinTab();
    typeInto(join->meetingIdField(), QStringLiteral("730 555 1001"));
    m_session.browser().setSucceeds(false);
    click(join->joinMeetingButton());
    m_session.browser().setSucceeds(true);
    QCOMPARE(m_session.browser().urls().size(), 1);
    // Fence: a join that opens; its event must be the only one.
    click(join->joinMeetingButton());
    const QList<QJsonObject> joins =
        m_session.awaitEvents(QStringLiteral("join_meeting_from_tab"), before);
    QCOMPARE(joins.size(), 1);
    QCOMPARE(joins.first()[QStringLiteral("meetingId")].toString(), QStringLiteral("7305551001"));
}

void tst_MenuViewController::personalMeetingOpensInstantAddress() {
    const QUrl instant(TamberDataModel::instantMeetingURL());
    QVERIFY(instant.isValid());
    QVERIFY(instant.toString().contains(QLatin1String("7305551001")));

    // The personal-meeting tab: opens the address, no usage event.
    click(m_menu->tabButton(MenuViewController::InstantMeetingTab));
    click(m_menu->instantMeetingViewController()->startButton());
    QCOMPARE(m_session.browser().urls(), QList<QUrl>{instant});

    // The join tab's own start button: the same address, and the start event.
    const qsizetype before = m_session.eventsNamed(QStringLiteral("start_meeting_from_tab")).size();
    AttendMeetingViewController* join = openJoinTab();
    click(join->findChild<QPushButton*>(QStringLiteral("startInstantMeeting")));
    QCOMPARE(m_session.browser().urls(), (QList<QUrl>{instant, instant}));
    const QList<QJsonObject> starts =
        m_session.awaitEvents(QStringLiteral("start_meeting_from_tab"), before);
    QCOMPARE(starts.size(), 1);
    QCOMPARE(starts.first()[QStringLiteral("meetingId")].toString(), QStringLiteral("7305551001"));
    QCOMPARE(starts.first()[QStringLiteral("passcode")].toString(), QStringLiteral("2468"));
}

void tst_MenuViewController::releaseLogsDeallocWithSuffix() {
    LogSpy spy;
    m_menu->updateUpcomingMeetings();
    click(m_menu->tabButton(MenuViewController::AttendMeetingTab));
    m_menu.reset();
    const QStringList lines = spy.messages(Log::Verbose);
    auto has = [&lines](const QString& start, const QString& end) {
        for (const QString& line : lines) {
            if (line.startsWith(start) && line.endsWith(end))
                return true;
        }
        return false;
    };
    QVERIFY(has(QStringLiteral("******** DEALLOC: <MenuViewController: 0x"),
                QStringLiteral(">..Removing from notification center")));
    QVERIFY(has(QStringLiteral("******** DEALLOC: <UpcomingMeetingsViewController: 0x"),
                QStringLiteral(">")));
    QVERIFY(has(QStringLiteral("******** DEALLOC: <AttendMeetingViewController: 0x"),
                QStringLiteral(">")));
    // Released controllers no longer listen: a refresh after the menu is gone reaches nobody.
    QVERIFY(!NotificationCenter::defaultCenter().hasObservers(
        QStringLiteral("REFRESH_UPCOMING_MEETINGS")));
}

TAMBER_TEST_MAIN_GUI(tst_MenuViewController)
#include "tst_MenuViewController.moc"
