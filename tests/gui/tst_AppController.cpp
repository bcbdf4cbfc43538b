#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "AppController.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "Menu/MenuPopover.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/Keychain.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
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

namespace {

// Services that record what the controller asked for, in order.
struct Recorder {
    QStringList calls;
    bool failRevocation = true;
    std::optional<QString> machineId = QStringLiteral("0123456789AB");

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
    model->access_token = QStringLiteral("user-token");
    model->userId = QStringLiteral("u1");
    model->username = QStringLiteral("ada@example.com");
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
    void clicksBringAnOpenSignInWindowForward_data();
    void clicksBringAnOpenSignInWindowForward();
    void signInWindowsOpenCentredOnTheIconScreen_data();
    void signInWindowsOpenCentredOnTheIconScreen();
    void singleSignOnCompletionReleasesOnlyItsOwnController();
    void menuReopenedFromTheSchedulerStaysHighlighted();
    void editingShortcuts();
    void exceptionDuringDispatchIsSwallowed();
};

void tst_AppController::init() {
    TamberDataModel::resetForTesting();
    TamberDataModel::setKeychainAccountForTesting(QStringLiteral("tst_AppController"));
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
        QVERIFY(controller.passwordLoginWindowController());
        QVERIFY(AppController::customStatusView());
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
        QVERIFY(model->SID.toString() != firstSid);
        QVERIFY(AppController::customStatusView() == nullptr);
    }
}

void tst_AppController::keychainReadOnlyAfterTheIcon() {
    TamberDataModel* model = TamberDataModel::sharedData();
    signIn();
    model->authenticationType = QStringLiteral("PASSWORD");
    model->password = QStringLiteral("correct horse");
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
        QVERIFY(AppController::customStatusView());
        QVERIFY(!model->password.isValid());
        controller.applicationWillFinishLaunching();
        controller.applicationDidFinishLaunching();
        if (keychainWorks)
            QCOMPARE(model->password.toString(), QStringLiteral("correct horse"));
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
    QVERIFY(controller.passwordLoginWindowController());
    QVERIFY(!controller.activePopover());
    QVERIFY(rec.calls.contains("sendAppFocus:Authentication"));
    auto* window = controller.passwordLoginWindowController();
    rec.calls.clear();
    controller.performSelectingAction();
    QCOMPARE(controller.passwordLoginWindowController(), window);
    QVERIFY(!controller.activePopover());
    QVERIFY(rec.calls.isEmpty());
    controller.resetPasswordLoginWindowController();
    QVERIFY(!controller.passwordLoginWindowController());

    // Signed in: the first click opens the menu and highlights, the second closes it.
    signIn();
    view->setHighlighted(false);
    view->mouseDown();
    QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()));
    QVERIFY(view->highlighted());
    QVERIFY(rec.calls.contains("sendAppFocus:Menu"));
    QPointer<AbstractPopover> menu = controller.activePopover();
    view->mouseDown();
    QVERIFY(!controller.activePopover());
    QVERIFY(!view->highlighted());
    QTRY_VERIFY(menu.isNull());

    // Only one popover at a time: the scheduler replaces the menu.
    controller.createAndShowMenuPopover();
    QPointer<AbstractPopover> replaced = controller.activePopover();
    NotificationCenter::defaultCenter().post(QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED"));
    QVERIFY(controller.activePopover() && controller.activePopover() != replaced);
    QTRY_VERIFY(replaced.isNull());
    NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_MENU_POPOVER"));
    QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()));
}

void tst_AppController::signOutClearsEverythingWithServiceUnreachable() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    signIn();
    TamberDataModel* model = TamberDataModel::sharedData();
    model->authenticationType = QStringLiteral("PASSWORD");
    model->password = QStringLiteral("correct horse");
    TamberDataModel::passwordAccepted(model->password);
    model->firstName = QStringLiteral("Ada");
    model->meetingDrafts.insert(QStringLiteral("d1"),
                                QVariantMap{{QStringLiteral("topic"), QStringLiteral("Draft")}});
    TamberDataModel::saveDataToBundle();
    const bool keychainWorks = Keychain::passwordFor(TamberDataModel::keychainService(),
                                                     TamberDataModel::keychainAccount())
                                   .has_value();
    controller.createAndShowMenuPopover();

    NotificationCenter::defaultCenter().post(QStringLiteral("SIGN_OUT_ACTION"));

    QCOMPARE(rec.calls.first(), QStringLiteral("revokeToken"));
    QVERIFY(!model->access_token.isValid());
    QVERIFY(!model->username.isValid() && !model->userId.isValid() && !model->password.isValid());
    QVERIFY(model->meetingDrafts.isEmpty());
    QVERIFY(!controller.activePopover());
    QVERIFY(!AppController::customStatusView()->highlighted());
    if (keychainWorks) {
        QVERIFY(!Keychain::passwordFor(TamberDataModel::keychainService(),
                                       TamberDataModel::keychainAccount()));
    }

    // What a restart would see.
    PreferencesStore store(PreferencesStore::defaultPath());
    QVERIFY(!store.contains(QStringLiteral("access_token")));
    QVERIFY(!store.contains(QStringLiteral("username")));
    QCOMPARE(store.value(QStringLiteral("firstName")).toString(), QStringLiteral("Ada"));
    QCOMPARE(store.value(QStringLiteral("meetingDrafts")).toMap().size(), 0);
}

void tst_AppController::deactivationClosesPopoverButKeepsSignInWindows() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    signIn();
    controller.createAndShowMenuPopover();
    controller.applicationWillResignActive();
    QVERIFY(rec.calls.contains("sendAppHide:MenuPopover"));
    QVERIFY(!controller.activePopover());

    controller.applicationWillResignActive();
    QVERIFY(rec.calls.contains("sendAppHide:AppController"));

    // "Forgot password?" brings the browser to the front: what was typed stays.
    controller.showAuthUI();
    QPointer<PasswordLoginWindowController> password = controller.passwordLoginWindowController();
    auto* field = password->window()->findChild<QLineEdit*>(QStringLiteral("usernameOrEmailField"));
    field->setText(QStringLiteral("ada@example.com"));
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTest::qWait(50); // anything queued by the deactivation has run
    QVERIFY(password);
    QCOMPARE(controller.passwordLoginWindowController(), password.data());
    QVERIFY(password->window()->isVisible());
    QCOMPARE(field->text(), QStringLiteral("ada@example.com"));
    QVERIFY(!AppController::customStatusView()->highlighted());

    // So does the sign-on window.
    TamberDataModel::sharedData()->apiHost = QStringLiteral("localhost:1");
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
    QVERIFY(QTest::qWaitForWindowExposed(sso->window()));
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTest::qWait(50);
    QVERIFY(sso);
    QCOMPARE(controller.ssoLoginWindowController(), sso.data());
    QVERIFY(sso->window()->isVisible());
}

namespace {

// With the title bar's close button.
void closeByHand(QWidget* window) {
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(WindowManager::requestClose(window));
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
    model->apiHost = QStringLiteral("localhost:1");
    model->app_access_token = QStringLiteral("app-token");

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
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    QVERIFY(!controller.passwordLoginWindowController());
    QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
    QVERIFY(sso);
    click(view);
    QCOMPARE(controller.ssoLoginWindowController(), sso.data());
    QVERIFY(!controller.passwordLoginWindowController());

    // Closed by hand, and another application takes the front at once: the window stays
    // closed, its controller goes, and the next click starts sign-in again. (Any close of this
    // window is the user's; closing it directly keeps the steps in this order.)
    QVERIFY(QTest::qWaitForWindowExposed(sso->window()));
    sso->window()->close();
    controller.applicationWillResignActive();
    controller.applicationDidResignActive();
    QTRY_VERIFY(!controller.ssoLoginWindowController());
    QVERIFY(sso.isNull() || !sso->window()->isVisible());
    QTRY_VERIFY(sso.isNull());
    click(view);
    QVERIFY(controller.passwordLoginWindowController());
    QVERIFY(!controller.ssoLoginWindowController());

    // Closed by hand and clicked before anything else happened: no sign-on window comes back.
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    sso = controller.ssoLoginWindowController();
    sso->window()->close();
    click(view);
    QVERIFY(controller.passwordLoginWindowController());
    QVERIFY(!controller.ssoLoginWindowController());
    QTRY_VERIFY(sso.isNull());

    // Left alone after closing: the controller goes by itself.
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    sso = controller.ssoLoginWindowController();
    closeByHand(sso->window());
    QTRY_VERIFY(sso.isNull());
    QVERIFY(!controller.ssoLoginWindowController());
}

namespace {

// Opens the kind of sign-in window a row names and returns it.
QWidget* openSignInWindow(AppController& controller, const QString& kind) {
    if (kind == QLatin1String("password")) {
        controller.showAuthUI();
        return controller.passwordLoginWindowController()->window();
    }
    TamberDataModel::sharedData()->apiHost = QStringLiteral("localhost:1");
    controller.showSSOPage();
    return controller.ssoLoginWindowController()->window();
}

void signInWindowKinds() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("password") << QStringLiteral("password");
    QTest::newRow("single sign-on") << QStringLiteral("sso");
}

} // namespace

void tst_AppController::clicksBringAnOpenSignInWindowForward_data() {
    signInWindowKinds();
}

void tst_AppController::clicksBringAnOpenSignInWindowForward() {
    QFETCH(QString, kind);
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    CustomStatusItemView* view = AppController::customStatusView();
    QWidget* window = openSignInWindow(controller, kind);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QWidget other;
    other.setWindowTitle(QStringLiteral("another window"));
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
    QVERIFY(rec.calls.filter(QStringLiteral("sendAppFocus")).isEmpty());
}

void tst_AppController::signInWindowsOpenCentredOnTheIconScreen_data() {
    signInWindowKinds();
}

void tst_AppController::signInWindowsOpenCentredOnTheIconScreen() {
    QFETCH(QString, kind);
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    QWidget* window = openSignInWindow(controller, kind);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QRect available = window->screen()->availableGeometry();
    // No window manager here: where the window opens is where the application put it.
    QTRY_VERIFY2((window->frameGeometry().center() - available.center()).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("window at %1,%2 on %3x%4")
                                .arg(window->x())
                                .arg(window->y())
                                .arg(available.width())
                                .arg(available.height())));
}

void tst_AppController::singleSignOnCompletionReleasesOnlyItsOwnController() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    TamberDataModel::sharedData()->apiHost = QStringLiteral("localhost:1");
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    QPointer<SSOLoginWindowController> earlier = controller.ssoLoginWindowController();
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
    QPointer<SSOLoginWindowController> newer = controller.ssoLoginWindowController();
    QVERIFY(newer && newer != earlier);
    QTRY_VERIFY(earlier.isNull());

    // A completion that is not the open window's (a late one) leaves that window alone.
    signIn();
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_SUCCESSFUL"));
    QCOMPARE(controller.ssoLoginWindowController(), newer.data());
    QVERIFY(newer->window()->isVisible());
    QVERIFY(rec.calls.contains("sendConfigComplete"));
    QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()));

    // Its own completion releases it.
    Q_EMIT newer->signInCompleted();
    QVERIFY(!controller.ssoLoginWindowController());
    QTRY_VERIFY(newer.isNull());
}

void tst_AppController::menuReopenedFromTheSchedulerStaysHighlighted() {
    Recorder rec;
    AppController controller(rec.services());
    controller.awakeFromNib();
    signIn();
    CustomStatusItemView* view = AppController::customStatusView();
    NotificationCenter::defaultCenter().post(QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED"));
    QPointer<AbstractPopover> scheduler = controller.activePopover();
    QTRY_VERIFY(scheduler && scheduler->isVisible());

    // Saved or cancelled: the menu comes back, and the scheduler's late close notice does not
    // take the highlight from it.
    NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_MENU_POPOVER"));
    QPointer<AbstractPopover> menu = controller.activePopover();
    QVERIFY(qobject_cast<MenuPopover*>(menu.data()));
    QTRY_VERIFY(menu->isVisible());
    QTest::qWait(50);
    QVERIFY(view->highlighted());

    // The menu's own close still clears it.
    menu->hidePopover();
    QTRY_VERIFY(!view->highlighted());
}

void tst_AppController::editingShortcuts() {
    QWidget window;
    auto* field = new QLineEdit(QStringLiteral("hello world"), &window);
    auto* button = new QPushButton(QStringLiteral("b"), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    field->setFocus();
    const auto key = [&](int k, Qt::KeyboardModifiers mods, QWidget* focus) {
        QKeyEvent event(QEvent::KeyPress, k, mods);
        return TamberApplication::dispatchEditingShortcut(event, focus);
    };

    QVERIFY(key(Qt::Key_A, Qt::ControlModifier, field));
    QCOMPARE(field->selectedText(), QStringLiteral("hello world"));
    QVERIFY(key(Qt::Key_X, Qt::ControlModifier, field));
    QCOMPARE(field->text(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("hello world"));
    QVERIFY(key(Qt::Key_Z, Qt::ControlModifier, field));
    QCOMPARE(field->text(), QStringLiteral("hello world"));
    QVERIFY(key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, field));
    QCOMPARE(field->text(), QString());
    QVERIFY(key(Qt::Key_V, Qt::ControlModifier, field));
    QCOMPARE(field->text(), QStringLiteral("hello world"));

    // Not editing shortcuts, other modifiers, or nobody to perform them: normal dispatch.
    QVERIFY(!key(Qt::Key_Q, Qt::ControlModifier, field));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, field));
    QVERIFY(!key(Qt::Key_C, Qt::NoModifier, field));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier, button));
    QVERIFY(!key(Qt::Key_C, Qt::ControlModifier, nullptr));

    // Through the real dispatch: a key press in the field is routed the same way.
    field->selectAll();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text(), QStringLiteral("hello worldhello world"));
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
