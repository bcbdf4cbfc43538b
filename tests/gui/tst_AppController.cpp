#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AppController.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "Authentication/SSOLogin/SSOHelperProcess.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "Menu/AttendMeeting/AttendMeetingViewController.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/Keychain.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "SignOnWindow.h"
#include "TamberApplication.h"
#include "TestEnvironment.h"
#include "WindowManager.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Services that record what the controller asked for, in order.
struct Recorder {
    QStringList calls;
    bool failRevocation = true;
    std::optional<QString> machineId = u"0123456789AB"_s;

    AppServices services() {
        AppServices s;
        s.osSupported = [this] { return calls << "osSupported", true; };
        s.addLoginItem = [this] { return calls << "addLoginItem", true; };
        s.startLogging = [this] { calls << "startLogging"; };
        s.logFilePaths = [this] { return calls << "logFilePaths", QStringList(); };
        s.serialNumber = [this] { return machineId; };
        s.sendAppFirstLaunch = [this] { calls << "sendAppFirstLaunch"; };
        s.sendAppFocus = [this](const QString& v) { calls << "sendAppFocus:" + v; };
        s.sendAppHide = [this](const QString& v) { calls << "sendAppHide:" + v; };
        s.sendConfigComplete = [this] { calls << "sendConfigComplete"; };
        s.fetchPersonalMeetingDescription = [this](auto, auto onError) {
            calls << "fetchPersonalMeetingDescription";
            onError();
        };
        s.revokeToken = [this](auto onFailure) {
            calls << "revokeToken";
            if (failRevocation) {
                onFailure();
            }
        };
        return s;
    }
};

void launch(AppController& controller) {
    controller.awakeFromNib();
    controller.applicationWillFinishLaunching();
    controller.applicationDidFinishLaunching();
}

void signIn() {
    TamberDataModel* model = TamberDataModel::sharedData();
    model->access_token = u"user-token"_s;
    model->userId = u"u1"_s;
    model->username = u"ada@example.com"_s;
}

} // namespace

class tst_AppController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void firstAndSecondLaunch_data();
    void firstAndSecondLaunch();
    void keychainReadOnlyAfterTheIcon();
    void clickDecidesBetweenSignInAndMenu();
    void signOutClearsEverythingWithServiceUnreachable();
    void deactivationClosesPopoverButKeepsSignInWindows();
    void signInWindowsClosedByHandAreForgotten();
    void signInWindowOpensCentredAndComesForwardOnEveryClick();
    void singleSignOnCompletionReleasesOnlyItsOwnController();
    void editingShortcuts();
    void exceptionDuringDispatchIsSwallowed();
};

void tst_AppController::init() {
    TamberDataModel::resetForTesting();
    TamberDataModel::setKeychainAccountForTesting(u"tst_AppController"_s);
    QFile::remove(PreferencesStore::defaultPath());
}

void tst_AppController::firstAndSecondLaunch_data() {
    QTest::addColumn<bool>("machineIdReadable");
    QTest::newRow("machine id") << true;
    // The client id stays empty; the first-launch event must still go out only once.
    QTest::newRow("no machine id") << false;
}

void tst_AppController::firstAndSecondLaunch() {
    QFETCH(bool, machineIdReadable);
    Recorder first;
    if (!machineIdReadable) {
        first.machineId.reset();
    }
    {
        AppController controller(first.services());
        launch(controller);
        // Not signed in: the sign-in window is up without a click.
        QVERIFY(controller.passwordLoginWindowController() && AppController::customStatusView());
    }
    const QStringList firstOrder{"osSupported",  "addLoginItem", "osSupported",
                                 "startLogging", "logFilePaths", "sendAppFirstLaunch"};
    QCOMPARE(first.calls, firstOrder);
    TamberDataModel* model = TamberDataModel::sharedData();
    const QString firstSid = model->SID.toString();
    QCOMPARE(firstSid.size(), 36);
    QCOMPARE(model->CID.toString(), first.machineId.value_or(QString()));

    // The record is saved at quit; the next starts send nothing.
    for (int launchNumber = 2; launchNumber <= 3; ++launchNumber) {
        TamberDataModel::saveDataToBundle();
        TamberDataModel::resetForTesting();
        Recorder next;
        next.machineId = first.machineId;
        {
            AppController controller(next.services());
            launch(controller);
        }
        QVERIFY2(!next.calls.contains("sendAppFirstLaunch"), qPrintable(next.calls.join(' ')));
        QVERIFY(model->SID.toString() != firstSid && AppController::customStatusView() == nullptr);
    }
}

void tst_AppController::keychainReadOnlyAfterTheIcon() {
    TamberDataModel* model = TamberDataModel::sharedData();
    signIn();
    model->authenticationType = u"PASSWORD"_s;
    model->password = u"correct horse"_s;
    TamberDataModel::saveDataToBundle();
    const bool keychainWorks = Keychain::passwordFor(TamberDataModel::keychainService(),
                                                     TamberDataModel::keychainAccount())
                                   .has_value();
    TamberDataModel::resetForTesting();
    Recorder rec;
    {
        AppController controller(rec.services());
        // The icon waits for nothing from the keychain; the password comes once launching ends.
        controller.awakeFromNib();
        QVERIFY(AppController::customStatusView() && !model->password.isValid());
        controller.applicationWillFinishLaunching();
        controller.applicationDidFinishLaunching();
        if (keychainWorks)
            QCOMPARE(model->password.toString(), u"correct horse"_s);
    }
    Keychain::deletePassword(TamberDataModel::keychainService(),
                             TamberDataModel::keychainAccount());
}

void tst_AppController::clickDecidesBetweenSignInAndMenu() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    CustomStatusItemView* view = AppController::customStatusView();

    // Signed out: a click opens the sign-in window; a second click only brings it forward.
    view->mouseDown();
    QVERIFY(controller.passwordLoginWindowController() && !controller.activePopover());
    QVERIFY(rec.calls.contains("sendAppFocus:Authentication"));
    auto* window = controller.passwordLoginWindowController();
    rec.calls.clear();
    controller.performSelectingAction();
    QCOMPARE(controller.passwordLoginWindowController(), window);
    QVERIFY(!controller.activePopover() && rec.calls.isEmpty());
    controller.resetPasswordLoginWindowController();
    QVERIFY(!controller.passwordLoginWindowController());

    // Signed in: the first click opens the menu and highlights, the second closes it.
    signIn();
    view->setHighlighted(false);
    view->mouseDown();
    QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()) && view->highlighted());
    QVERIFY(rec.calls.contains("sendAppFocus:Menu"));
    QPointer<MenuPopover> menu = qobject_cast<MenuPopover*>(controller.activePopover());
    QTRY_VERIFY(menu->isVisible());
    MenuViewController* content = menu->menuViewController();
    content->attendMeeting();
    content->attendMeetingViewController()->meetingIdField()->setText(u"123"_s);
    view->mouseDown();
    QVERIFY(!controller.activePopover() && !view->highlighted());
    QVERIFY(!menu->isVisible());
    // The closed menu keeps its window and list, not what was typed in it.
    QTRY_VERIFY(!content->attendMeetingViewController());

    // Shown again: the same menu, on its meetings tab.
    view->mouseDown();
    QCOMPARE(controller.activePopover(), menu.data());
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(content->selectedTab(), int(MenuViewController::UpcomingMeetingsTab));

    // Only one popover at a time: the scheduler replaces the menu.
    NotificationCenter::defaultCenter().post(u"SCHEDULE_MEETING_POPOVERREQUESTED"_s);
    QVERIFY(controller.activePopover() && controller.activePopover() != menu);
    QVERIFY(!menu->isVisible());
    QTRY_VERIFY(controller.activePopover()->isVisible());

    // Saved or cancelled: the menu comes back, and the scheduler's late close notice does not
    // take the highlight from it; the menu's own close still clears it.
    NotificationCenter::defaultCenter().post(u"SHOW_MENU_POPOVER"_s);
    QCOMPARE(controller.activePopover(), menu.data());
    QTRY_VERIFY(menu->isVisible());
    QTest::qWait(50);
    QVERIFY(view->highlighted());
    menu->hidePopover();
    QTRY_VERIFY(!view->highlighted());
}

void tst_AppController::signOutClearsEverythingWithServiceUnreachable() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    signIn();
    TamberDataModel* model = TamberDataModel::sharedData();
    model->authenticationType = u"PASSWORD"_s;
    model->password = u"correct horse"_s;
    TamberDataModel::passwordAccepted(model->password);
    model->firstName = u"Ada"_s;
    model->meetingDrafts.insert(u"d1"_s, QVariantMap{{u"topic"_s, u"Draft"_s}});
    TamberDataModel::saveDataToBundle();
    const bool keychainWorks = Keychain::passwordFor(TamberDataModel::keychainService(),
                                                     TamberDataModel::keychainAccount())
                                   .has_value();
    controller.createAndShowMenuPopover();
    QPointer<AbstractPopover> menu = controller.activePopover();

    NotificationCenter::defaultCenter().post(u"SIGN_OUT_ACTION"_s);
    // The menu held this account's meetings.
    QTRY_VERIFY(menu.isNull());

    QCOMPARE(rec.calls.first(), u"revokeToken"_s);
    QVERIFY(!model->access_token.isValid());
    QVERIFY(!model->username.isValid() && !model->userId.isValid() && !model->password.isValid());
    QVERIFY(model->meetingDrafts.isEmpty() && !controller.activePopover());
    QVERIFY(!AppController::customStatusView()->highlighted());
    if (keychainWorks) {
        QVERIFY(!Keychain::passwordFor(TamberDataModel::keychainService(),
                                       TamberDataModel::keychainAccount()));
    }

    // What a restart would see.
    PreferencesStore store(PreferencesStore::defaultPath());
    QVERIFY(!store.contains(u"access_token"_s) && !store.contains(u"username"_s));
    QCOMPARE(store.value(u"firstName"_s).toString(), u"Ada"_s);
    QCOMPARE(store.value(u"meetingDrafts"_s).toMap().size(), 0);
}

void tst_AppController::deactivationClosesPopoverButKeepsSignInWindows() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    signIn();
    controller.createAndShowMenuPopover();
    controller.applicationWillResignActive();
    QVERIFY(rec.calls.contains("sendAppHide:MenuPopover") && !controller.activePopover());

    controller.applicationWillResignActive();
    QVERIFY(rec.calls.contains("sendAppHide:AppController"));

    // "Forgot password?" brings the browser to the front: what was typed stays.
    controller.showAuthUI();
    QPointer<PasswordLoginWindowController> password = controller.passwordLoginWindowController();
    auto* field = password->window()->findChild<QLineEdit*>(u"usernameOrEmailField"_s);
    field->setText(u"ada@example.com"_s);
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTest::qWait(50); // anything queued by the deactivation has run
    QVERIFY(password);
    QCOMPARE(controller.passwordLoginWindowController(), password.data());
    QVERIFY(password->window()->isVisible());
    QCOMPARE(field->text(), u"ada@example.com"_s);
    QVERIFY(!AppController::customStatusView()->highlighted());

    // So does the sign-on window.
    TamberDataModel::sharedData()->apiHost = u"localhost:1"_s;
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
    QTRY_VERIFY_WITH_TIMEOUT(sso->helper()->state().visible, 20000);
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTest::qWait(50);
    QVERIFY(sso);
    QCOMPARE(controller.ssoLoginWindowController(), sso.data());
    QVERIFY(sso->helper()->state().visible);
}

namespace {

// With the title bar's close button.
void closeByHand(QWidget* window) {
    QVERIFY(QTest::qWaitForWindowExposed(window) && WindowManager::requestClose(window));
    QTRY_VERIFY(!window->isVisible());
}

void click(CustomStatusItemView* view) {
    view->setHighlighted(false);
    view->mouseDown();
}

} // namespace

void tst_AppController::signInWindowsClosedByHandAreForgotten() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    CustomStatusItemView* view = AppController::customStatusView();
    TamberDataModel* model = TamberDataModel::sharedData();
    // Nothing listens there: the sign-on exchange fails at once and shows its message.
    model->apiHost = u"localhost:1"_s;
    model->app_access_token = u"app-token"_s;

    // The sign-in window closed from its title bar: the next click opens a new one.
    click(view);
    QPointer<PasswordLoginWindowController> password = controller.passwordLoginWindowController();
    QVERIFY(password);
    closeByHand(password->window());
    QVERIFY(!controller.passwordLoginWindowController());
    QTRY_VERIFY(password.isNull());
    click(view);
    QVERIFY(controller.passwordLoginWindowController());

    // The sign-on window replaces it; while it is open a click only brings it forward.
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    QVERIFY(!controller.passwordLoginWindowController());
    QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
    QVERIFY(sso);
    click(view);
    QCOMPARE(controller.ssoLoginWindowController(), sso.data());
    QVERIFY(!controller.passwordLoginWindowController());

    // Closed by hand, and another application takes the front at once: the window stays
    // closed, its controller goes, and the next click starts sign-in again. (Any close of this
    // window is the user's; closing it directly keeps the steps in this order.)
    QVERIFY(closeSignOnWindowByHand(*sso));
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTRY_VERIFY(!controller.ssoLoginWindowController());
    QTRY_VERIFY(sso.isNull());
    click(view);
    QVERIFY(controller.passwordLoginWindowController() && !controller.ssoLoginWindowController());

    // Closed by hand and clicked before anything else happened: no sign-on window comes back.
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    sso = controller.ssoLoginWindowController();
    QVERIFY(closeSignOnWindowByHand(*sso));
    click(view);
    QVERIFY(controller.passwordLoginWindowController() && !controller.ssoLoginWindowController());
    QTRY_VERIFY(sso.isNull());

    // Left alone after closing: the controller goes by itself.
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    sso = controller.ssoLoginWindowController();
    QVERIFY(closeSignOnWindowByHand(*sso));
    QTRY_VERIFY(sso.isNull());
    QVERIFY(!controller.ssoLoginWindowController());
}

// (The sign-on window, another process's, is checked in the sign-on suite.)
void tst_AppController::signInWindowOpensCentredAndComesForwardOnEveryClick() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    CustomStatusItemView* view = AppController::customStatusView();
    controller.showAuthUI();
    QWidget* window = controller.passwordLoginWindowController()->window();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // No window manager here: where the window opens is where the application put it.
    const QRect available = window->screen()->availableGeometry();
    QTRY_VERIFY2((window->frameGeometry().center() - available.center()).manhattanLength() <= 4,
                 qPrintable(u"window at %1,%2 on %3x%4"_s.arg(window->x())
                                .arg(window->y())
                                .arg(available.width())
                                .arg(available.height())));
    QWidget other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));

    // Every click, not every second one, brings the window back with the keyboard focus; the
    // icon never stays in its selected look.
    for (int click = 1; click <= 3; ++click) {
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        view->mouseDown();
        QTRY_COMPARE(QApplication::activeWindow(), window);
        QVERIFY2(!view->highlighted(), qPrintable(QString::number(click)));
        QVERIFY(!controller.activePopover());
    }
    QVERIFY(rec.calls.filter(u"sendAppFocus"_s).isEmpty());
}

void tst_AppController::singleSignOnCompletionReleasesOnlyItsOwnController() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    TamberDataModel::sharedData()->apiHost = u"localhost:1"_s;
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    QPointer<SSOLoginWindowController> earlier = controller.ssoLoginWindowController();
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_REQUESTED"_s);
    QPointer<SSOLoginWindowController> newer = controller.ssoLoginWindowController();
    QVERIFY(newer && newer != earlier);
    QTRY_VERIFY(earlier.isNull());

    // A completion that is not the open window's (a late one) leaves that window alone.
    signIn();
    NotificationCenter::defaultCenter().post(u"SAML_CONFIG_SUCCESSFUL"_s);
    QCOMPARE(controller.ssoLoginWindowController(), newer.data());
    QVERIFY(newer->isWindowOpen() && rec.calls.contains("sendConfigComplete"));
    QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()));

    // Its own completion releases it.
    Q_EMIT newer->signInCompleted();
    QVERIFY(!controller.ssoLoginWindowController());
    QTRY_VERIFY(newer.isNull());
}

void tst_AppController::editingShortcuts() {
    QWidget window;
    auto* field = new QLineEdit(u"hello world"_s, &window);
    auto* button = new QPushButton(u"b"_s, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    field->setFocus();
    const auto key = [&](int k, Qt::KeyboardModifiers mods, QWidget* focus) {
        QKeyEvent event(QEvent::KeyPress, k, mods);
        return TamberApplication::dispatchEditingShortcut(event, focus);
    };

    QVERIFY(key(Qt::Key_A, Qt::ControlModifier, field));
    QCOMPARE(field->selectedText(), u"hello world"_s);
    QVERIFY(key(Qt::Key_X, Qt::ControlModifier, field));
    QCOMPARE(field->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), u"hello world"_s);
    QVERIFY(key(Qt::Key_Z, Qt::ControlModifier, field));
    QCOMPARE(field->text(), u"hello world"_s);
    QVERIFY(key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, field));
    QCOMPARE(field->text(), QString());
    QVERIFY(key(Qt::Key_V, Qt::ControlModifier, field));
    QCOMPARE(field->text(), u"hello world"_s);

    // Not editing shortcuts, other modifiers, or nobody to perform them: normal dispatch.
    QVERIFY(!key(Qt::Key_Q, Qt::ControlModifier, field));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, field));
    QVERIFY(!key(Qt::Key_C, Qt::NoModifier, field) && !key(Qt::Key_C, Qt::ControlModifier, button));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier, nullptr));

    // Through the real dispatch: a key press in the field is routed the same way.
    field->selectAll();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text(), u"hello worldhello world"_s);
}

namespace {
class Throwing : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            throw std::runtime_error("boom");
        }
        return QObject::event(e);
    }
};
} // namespace

void tst_AppController::exceptionDuringDispatchIsSwallowed() {
    Throwing target;
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&target, &event));
    // The application keeps running: events still flow.
    QTimer timer;
    QSignalSpy fired(&timer, &QTimer::timeout);
    timer.start(1);
    QVERIFY(fired.wait(1000));
}

int main(int argc, char** argv) {
    TestEnvironment::isolate();
    TamberApplication app(argc, argv);
    TamberApplication::setQuitOnLastWindowClosed(false);
    tst_AppController tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_AppController.moc"
