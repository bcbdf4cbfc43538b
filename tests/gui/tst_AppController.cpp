#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AppController.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "Authentication/SSOLogin/SSOHelperProcess.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "GuiSuite.h"
#include "Menu/AttendMeeting/AttendMeetingViewController.h"
#include "Menu/MenuPopover.h"
#include "Menu/MenuViewController.h"
#include "Platform/Keychain.h"
#include "Platform/PreferencesStore.h"
#include "SignOnWindow.h"
#include "TamberApplication.h"
#include "WindowManager.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScopeGuard>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace {

// Services that record what the controller asked for, in order; revoking the token fails, as
// with the service unreachable.
struct Recorder {
    QStringList calls;
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
            onFailure();
        };
        return s;
    }
};

void launch(AppController& controller) {
    controller.awakeFromNib();
    controller.applicationWillFinishLaunching();
    controller.applicationDidFinishLaunching();
}

void signIn(const QVariant& password = {}) {
    TamberDataModel* model = TamberDataModel::sharedData();
    model->access_token = u"user-token"_s;
    model->userId = u"u1"_s;
    model->username = u"ada@example.com"_s;
    if (password.isValid()) {
        model->authenticationType = u"PASSWORD"_s;
        model->password = password;
    }
}

void post(const QString& name) {
    NotificationCenter::defaultCenter().post(name);
}

std::optional<QString> keychainPassword() {
    return Keychain::passwordFor(TamberDataModel::keychainService(),
                                 TamberDataModel::keychainAccount());
}

// An icon click after any earlier one has been taken back.
void click(CustomStatusItemView* view) {
    view->setHighlighted(false);
    view->mouseDown();
}

class Throwing : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("boom");
        return QObject::event(e);
    }
};

} // namespace

class tst_AppController : public QObject {
    Q_OBJECT

    // The controller with its icon, not launched.
    AppController& awake() {
        m_app = std::make_unique<AppController>(m_rec.services());
        m_app->awakeFromNib();
        return *m_app;
    }

    void resignActive() {
        m_app->applicationWillResignActive();
        m_app->applicationDidResignActive();
    }

    Recorder m_rec;
    std::unique_ptr<AppController> m_app;

private Q_SLOTS:
    void init() {
        TamberDataModel::resetForTesting();
        TamberDataModel::setKeychainAccountForTesting(u"tst_AppController"_s);
        QFile::remove(PreferencesStore::defaultPath());
        m_rec = Recorder();
    }

    void cleanup() { m_app.reset(); }

    void firstAndSecondLaunch_data() {
        QTest::addColumn<bool>("machineIdReadable");
        QTest::newRow("machine id") << true;
        // The client id stays empty; the first-launch event must still go out only once.
        QTest::newRow("no machine id") << false;
    }

    void firstAndSecondLaunch() {
        QFETCH(bool, machineIdReadable);
        Recorder first;
        if (!machineIdReadable)
            first.machineId.reset();
        {
            AppController controller(first.services());
            launch(controller);
            // Not signed in: the sign-in window is up without a click.
            QVERIFY(controller.passwordLoginWindowController() &&
                    AppController::customStatusView());
        }
        QCOMPARE(first.calls, (QStringList{"osSupported", "addLoginItem", "osSupported",
                                           "startLogging", "logFilePaths", "sendAppFirstLaunch"}));
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
            QVERIFY(model->SID.toString() != firstSid && !AppController::customStatusView());
        }
    }

    void keychainReadOnlyAfterTheIcon() {
        TamberDataModel* model = TamberDataModel::sharedData();
        signIn(u"correct horse"_s);
        TamberDataModel::saveDataToBundle();
        const bool keychainWorks = keychainPassword().has_value();
        TamberDataModel::resetForTesting();
        // The icon waits for nothing from the keychain; the password comes once launching ends.
        AppController& controller = awake();
        QVERIFY(AppController::customStatusView() && !model->password.isValid());
        controller.applicationWillFinishLaunching();
        controller.applicationDidFinishLaunching();
        if (keychainWorks)
            QCOMPARE(model->password.toString(), u"correct horse"_s);
        Keychain::deletePassword(TamberDataModel::keychainService(),
                                 TamberDataModel::keychainAccount());
    }

    void clickDecidesBetweenSignInAndMenu() {
        AppController& controller = awake();
        CustomStatusItemView* view = AppController::customStatusView();
        // Signed out: a click opens the sign-in window; a second click only brings it forward.
        view->mouseDown();
        QVERIFY(controller.passwordLoginWindowController() && !controller.activePopover());
        QVERIFY(m_rec.calls.contains("sendAppFocus:Authentication"));
        auto* window = controller.passwordLoginWindowController();
        m_rec.calls.clear();
        controller.performSelectingAction();
        QCOMPARE(controller.passwordLoginWindowController(), window);
        QVERIFY(!controller.activePopover() && m_rec.calls.isEmpty());
        controller.resetPasswordLoginWindowController();
        QVERIFY(!controller.passwordLoginWindowController());

        // Signed in: the first click opens the menu and highlights, the second closes it.
        signIn();
        click(view);
        QPointer<MenuPopover> menu = qobject_cast<MenuPopover*>(controller.activePopover());
        QVERIFY(menu && view->highlighted() && m_rec.calls.contains("sendAppFocus:Menu"));
        QTRY_VERIFY(menu->isVisible());
        MenuViewController* content = menu->menuViewController();
        content->attendMeeting();
        content->attendMeetingViewController()->meetingIdField()->setText(u"123"_s);
        view->mouseDown();
        QVERIFY(!controller.activePopover() && !view->highlighted() && !menu->isVisible());
        // The closed menu keeps its window and list, not what was typed in it.
        QTRY_VERIFY(!content->attendMeetingViewController());

        // Shown again: the same menu, on its meetings tab.
        view->mouseDown();
        QCOMPARE(controller.activePopover(), menu.data());
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(content->selectedTab(), int(MenuViewController::UpcomingMeetingsTab));

        // Only one popover at a time: the scheduler replaces the menu.
        post(u"SCHEDULE_MEETING_POPOVERREQUESTED"_s);
        QVERIFY(controller.activePopover() && controller.activePopover() != menu);
        QVERIFY(!menu->isVisible());
        QTRY_VERIFY(controller.activePopover()->isVisible());

        // Saved or cancelled: the menu comes back, and the scheduler's late close notice does
        // not take the highlight from it; the menu's own close still clears it.
        post(u"SHOW_MENU_POPOVER"_s);
        QCOMPARE(controller.activePopover(), menu.data());
        QTRY_VERIFY(menu->isVisible());
        QTest::qWait(50);
        QVERIFY(view->highlighted());
        menu->hidePopover();
        QTRY_VERIFY(!view->highlighted());
    }

    void signOutClearsEverythingWithServiceUnreachable() {
        AppController& controller = awake();
        signIn(u"correct horse"_s);
        TamberDataModel* model = TamberDataModel::sharedData();
        TamberDataModel::passwordAccepted(model->password);
        model->firstName = u"Ada"_s;
        model->meetingDrafts.insert(u"d1"_s, QVariantMap{{u"topic"_s, u"Draft"_s}});
        TamberDataModel::saveDataToBundle();
        const bool keychainWorks = keychainPassword().has_value();
        controller.createAndShowMenuPopover();
        QPointer<AbstractPopover> menu = controller.activePopover();

        post(u"SIGN_OUT_ACTION"_s);
        QTRY_VERIFY(menu.isNull()); // it held this account's meetings
        QCOMPARE(m_rec.calls.first(), u"revokeToken"_s);
        QVERIFY(!model->access_token.isValid() && !model->password.isValid());
        QVERIFY(!model->username.isValid() && !model->userId.isValid());
        QVERIFY(model->meetingDrafts.isEmpty() && !controller.activePopover());
        QVERIFY(!AppController::customStatusView()->highlighted());
        QVERIFY(!keychainWorks || !keychainPassword());
        // What a restart would see.
        PreferencesStore store(PreferencesStore::defaultPath());
        QVERIFY(!store.contains(u"access_token"_s) && !store.contains(u"username"_s));
        QCOMPARE(store.value(u"firstName"_s).toString(), u"Ada"_s);
        QCOMPARE(store.value(u"meetingDrafts"_s).toMap().size(), 0);
    }

    void deactivationClosesPopoverButKeepsSignInWindows() {
        AppController& controller = awake();
        signIn();
        controller.createAndShowMenuPopover();
        controller.applicationWillResignActive();
        QVERIFY(m_rec.calls.contains("sendAppHide:MenuPopover") && !controller.activePopover());
        controller.applicationWillResignActive();
        QVERIFY(m_rec.calls.contains("sendAppHide:AppController"));

        // "Forgot password?" brings the browser to the front: what was typed stays.
        controller.showAuthUI();
        QPointer<PasswordLoginWindowController> password =
            controller.passwordLoginWindowController();
        auto* field = password->window()->findChild<QLineEdit*>(u"usernameOrEmailField"_s);
        field->setText(u"ada@example.com"_s);
        resignActive();
        QTest::qWait(50); // anything queued by the deactivation has run
        QVERIFY(password && password->window()->isVisible());
        QCOMPARE(controller.passwordLoginWindowController(), password.data());
        QCOMPARE(field->text(), u"ada@example.com"_s);
        QVERIFY(!AppController::customStatusView()->highlighted());

        // So does the sign-on window.
        TamberDataModel::sharedData()->apiHost = u"localhost:1"_s;
        post(u"SAML_CONFIG_REQUESTED"_s);
        QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
        QTRY_VERIFY_WITH_TIMEOUT(sso->helper()->state().visible, 20000);
        resignActive();
        QTest::qWait(50);
        QVERIFY(sso && sso->helper()->state().visible);
        QCOMPARE(controller.ssoLoginWindowController(), sso.data());
    }

    void closingTheMenuIsNoDeactivation_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("icon click") << u"icon"_s;
        QTest::newRow("click outside") << u"outside"_s;
        QTest::newRow("Escape") << u"escape"_s;
    }

    // The focus leaving a closed menu is no deactivation: no hide event per close. One after
    // another window took the focus still is.
    void closingTheMenuIsNoDeactivation() {
        QFETCH(QString, how);
        AppController& controller = awake();
        signIn();
        CustomStatusItemView* view = AppController::customStatusView();
        QWidget elsewhere;
        elsewhere.setGeometry(900, 500, 200, 150);
        QVERIFY(GuiSuite::showAndExpose(&elsewhere));
        for (int round = 1; round <= 4; ++round) {
            click(view);
            QPointer<AbstractPopover> menu = controller.activePopover();
            QTRY_VERIFY(menu && menu->isVisible());
            QTRY_COMPARE(QGuiApplication::focusWindow(), menu->windowHandle());
            if (round == 4) {
                view->mouseDown();
                elsewhere.activateWindow();
                QTRY_COMPARE(QGuiApplication::focusWindow(), elsewhere.windowHandle());
                elsewhere.hide();
                QTRY_COMPARE(m_rec.calls.filter(u"sendAppHide"_s),
                             QStringList{u"sendAppHide:AppController"_s});
                break;
            }
            if (how == "icon"_L1)
                view->mouseDown();
            else if (how == "outside"_L1)
                QTest::mouseClick(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
            else
                QTest::keyClick(menu, Qt::Key_Escape);
            QVERIFY(!menu->isVisible());
            // A hidden window loses the focus a moment later.
            QTRY_VERIFY(QGuiApplication::focusWindow() != menu->windowHandle());
            QCoreApplication::processEvents();
            QVERIFY2(m_rec.calls.filter(u"sendAppHide"_s).isEmpty(),
                     qPrintable(QString::number(round)));
        }
    }

    void signInWindowsClosedByHandAreForgotten() {
        AppController& controller = awake();
        CustomStatusItemView* view = AppController::customStatusView();
        TamberDataModel* model = TamberDataModel::sharedData();
        // Nothing listens there: the sign-on exchange fails at once and shows its message.
        model->apiHost = u"localhost:1"_s;
        model->app_access_token = u"app-token"_s;

        // The sign-in window closed from its title bar: the next click opens a new one.
        click(view);
        QPointer<PasswordLoginWindowController> password =
            controller.passwordLoginWindowController();
        QVERIFY(password);
        QWidget* window = password->window();
        QVERIFY(QTest::qWaitForWindowExposed(window) && WindowManager::requestClose(window));
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(!controller.passwordLoginWindowController());
        QTRY_VERIFY(password.isNull());
        click(view);
        QVERIFY(controller.passwordLoginWindowController());

        // The sign-on window replaces it; while it is open a click only brings it forward.
        post(u"SAML_CONFIG_REQUESTED"_s);
        QVERIFY(!controller.passwordLoginWindowController());
        QPointer<SSOLoginWindowController> sso = controller.ssoLoginWindowController();
        QVERIFY(sso);
        click(view);
        QCOMPARE(controller.ssoLoginWindowController(), sso.data());
        QVERIFY(!controller.passwordLoginWindowController());

        // Closed by hand, then: another application takes the front at once; a click comes
        // before anything else; nothing happens. Each time the window stays closed, its
        // controller goes, and a click starts sign-in again. (Any close of this window is the
        // user's; closing it directly keeps the steps in this order.)
        for (const char* after : {"deactivation", "click", "nothing"}) {
            if (!sso) {
                post(u"SAML_CONFIG_REQUESTED"_s);
                sso = controller.ssoLoginWindowController();
            }
            QVERIFY2(closeSignOnWindowByHand(*sso), after);
            if (after == "deactivation"_L1)
                resignActive();
            if (after == "click"_L1) {
                click(view);
                QVERIFY(!controller.ssoLoginWindowController());
            }
            QTRY_VERIFY2(sso.isNull() && !controller.ssoLoginWindowController(), after);
            if (after != "click"_L1)
                click(view);
            QVERIFY(controller.passwordLoginWindowController() &&
                    !controller.ssoLoginWindowController());
        }
    }

    // (The sign-on window, another process's, is checked in the sign-on suite.)
    void signInWindowOpensCentredAndComesForwardOnEveryClick() {
        AppController& controller = awake();
        CustomStatusItemView* view = AppController::customStatusView();
        controller.showAuthUI();
        QWidget* window = controller.passwordLoginWindowController()->window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // No window manager here: where the window opens is where the application put it.
        const QRect available = window->screen()->availableGeometry();
        QTRY_VERIFY2((window->frameGeometry().center() - available.center()).manhattanLength() <= 4,
                     qPrintable(QDebug::toString(window->frameGeometry())));
        QWidget other;
        QVERIFY(GuiSuite::showAndExpose(&other));
        // Every click, not every second one, brings the window back with the keyboard focus;
        // the icon never stays in its selected look.
        for (int click = 1; click <= 3; ++click) {
            other.activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), &other);
            view->mouseDown();
            QTRY_COMPARE(QApplication::activeWindow(), window);
            QVERIFY2(!view->highlighted(), qPrintable(QString::number(click)));
            QVERIFY(!controller.activePopover());
        }
        QVERIFY(m_rec.calls.filter(u"sendAppFocus"_s).isEmpty());
    }

    void singleSignOnCompletionReleasesOnlyItsOwnController() {
        AppController& controller = awake();
        TamberDataModel::sharedData()->apiHost = u"localhost:1"_s;
        post(u"SAML_CONFIG_REQUESTED"_s);
        QPointer<SSOLoginWindowController> earlier = controller.ssoLoginWindowController();
        post(u"SAML_CONFIG_REQUESTED"_s);
        QPointer<SSOLoginWindowController> newer = controller.ssoLoginWindowController();
        QVERIFY(newer && newer != earlier);
        QTRY_VERIFY(earlier.isNull());

        // A completion that is not the open window's (a late one) leaves that window alone.
        signIn();
        post(u"SAML_CONFIG_SUCCESSFUL"_s);
        QCOMPARE(controller.ssoLoginWindowController(), newer.data());
        QVERIFY(newer->isWindowOpen() && m_rec.calls.contains("sendConfigComplete"));
        QVERIFY(qobject_cast<MenuPopover*>(controller.activePopover()));
        // Its own completion releases it.
        Q_EMIT newer->signInCompleted();
        QVERIFY(!controller.ssoLoginWindowController());
        QTRY_VERIFY(newer.isNull());
    }

    // The tray icons are rendered at build time: each size is its SVG source as drawn here.
    void statusIconsAreTheirSourcesRendered() {
        for (const QString& name : {u"icon"_s, u"icon-alt"_s, u"icon-selected"_s}) {
            QSvgRenderer source(QDir::cleanPath(
                QStringLiteral(TAMBER_TEST_DATA_DIR "/../../resources/icons/%1.svg").arg(name)));
            QVERIFY(source.isValid());
            for (const int size : {16, 22, 24, 32, 44, 64}) {
                QImage expected(size, size, QImage::Format_ARGB32_Premultiplied);
                expected.fill(Qt::transparent);
                QPainter painter(&expected);
                source.render(&painter);
                painter.end();
                QFile built(u":/status/%1-%2.argb"_s.arg(name).arg(size));
                QVERIFY(built.open(QIODevice::ReadOnly));
                const QByteArray pixels = qUncompress(built.readAll());
                QCOMPARE(pixels.size(), expected.sizeInBytes());
                QVERIFY2(std::memcmp(pixels.constData(), expected.constBits(), pixels.size()) == 0,
                         qPrintable(u"%1 at %2 pixels"_s.arg(name).arg(size)));
            }
        }
    }

    // Without a tray host a small window offers the icon's click, tooltip and right-click menu.
    void fallbackWindowStandsInForTheIcon() {
        CustomStatusItemView::setTrayAvailabilityProbe([] { return false; });
        const auto restore =
            qScopeGuard([] { CustomStatusItemView::setTrayAvailabilityProbe(nullptr); });
        CustomStatusItemView view;
        view.setTitle(u"Standup in 5 minutes"_s);
        QMenu menu;
        menu.addAction(u"Quit"_s);
        view.setContextMenu(&menu);
        QWidget* window = view.fallbackWindow();
        QVERIFY(window && !view.usesTray() && QTest::qWaitForWindowExposed(window));
        auto* open = GuiSuite::child<QPushButton>(window, "openButton");
        QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), open->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(open, &hover); // the button passes it on to the window
        QTRY_COMPARE(QToolTip::text(), u"Standup in 5 minutes"_s);
        QTest::mouseClick(open, Qt::LeftButton);
        QVERIFY(view.highlighted());
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(4, 4),
                                     open->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(open, &rightClick);
        QTRY_VERIFY(menu.isVisible());
        menu.hide();
        view.setTitle(u"Standup now"_s);
        QCOMPARE(window->toolTip(), u"Standup now"_s);
    }

    void editingShortcuts() {
        QWidget window;
        auto* field = new QLineEdit(u"hello world"_s, &window);
        auto* button = new QPushButton(u"b"_s, &window);
        QVERIFY(GuiSuite::showAndExpose(&window));
        field->setFocus();
        const auto key = [&](int k, Qt::KeyboardModifiers mods, QWidget* focus) {
            QKeyEvent event(QEvent::KeyPress, k, mods);
            return TamberApplication::dispatchEditingShortcut(event, focus);
        };
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QVERIFY(key(Qt::Key_A, ctrl, field));
        QCOMPARE(field->selectedText(), u"hello world"_s);
        const struct {
            int key;
            Qt::KeyboardModifiers mods;
            QString text;
        } edits[] = {{Qt::Key_X, ctrl, {}},
                     {Qt::Key_Z, ctrl, u"hello world"_s},
                     {Qt::Key_Z, ctrl | Qt::ShiftModifier, {}},
                     {Qt::Key_V, ctrl, u"hello world"_s}};
        for (const auto& edit : edits) {
            QVERIFY(key(edit.key, edit.mods, field));
            QCOMPARE(field->text(), edit.text);
            if (edit.key == Qt::Key_X)
                QCOMPARE(QGuiApplication::clipboard()->text(), u"hello world"_s);
        }
        // Not editing shortcuts, other modifiers, or nobody to perform them: normal dispatch.
        QVERIFY(!key(Qt::Key_Q, ctrl, field) && !key(Qt::Key_C, ctrl | Qt::AltModifier, field));
        QVERIFY(!key(Qt::Key_C, Qt::NoModifier, field) && !key(Qt::Key_C, ctrl, button));
        QVERIFY(!key(Qt::Key_C, ctrl, nullptr));
        // Through the real dispatch: a key press in the field is routed the same way.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_C, ctrl);
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClick(field, Qt::Key_V, ctrl);
        QCOMPARE(field->text(), u"hello worldhello world"_s);
    }

    void exceptionDuringDispatchIsSwallowed() {
        Throwing target;
        QEvent event(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&target, &event));
        // The application keeps running: events still flow.
        QTimer timer;
        QSignalSpy fired(&timer, &QTimer::timeout);
        timer.start(1);
        QVERIFY(fired.wait(1000));
    }
};

int main(int argc, char** argv) {
    TestEnvironment::isolate();
    TamberApplication app(argc, argv);
    TamberApplication::setQuitOnLastWindowClosed(false);
    tst_AppController tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_AppController.moc"
