#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AppServices.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class CustomStatusItemView;
class MenuPopover;
class PasswordLoginWindowController;
class SSOLoginWindowController;
class QNetworkAccessManager;

// The hub of the application shell: owns the status icon, decides which popover or sign-in
// window is on screen, and reacts to the named notifications that views post.
class AppController : public QObject {
    Q_OBJECT
public:
    explicit AppController(AppServices services = AppServices::real(), QObject* parent = nullptr);
    ~AppController() override;

    // Launch, in this order.
    void awakeFromNib();
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();

    // Another application came to the front.
    void applicationWillResignActive();
    void applicationDidResignActive();

    // Popover and window switching.
    void closeActivePopover();
    void createAndShowMenuPopover();
    void createAndShowSchedulerPopover(const QVariantMap& meeting);
    void createAndShowAuthenticationPopover();
    void showPopover(AbstractPopover* popover);
    void setHightLighted(bool flag);
    void closeAllPopovers();
    void showAuthUI();
    void resetPasswordLoginWindowController();
    void showSSOPage();

    // Notification reactions.
    void passwordConfigSuccessful();
    void samlConfigSuccessful();
    void showScheduling();
    void editScheduling(const QVariant& meeting);
    void showMenu();
    void popoverDidShow();
    void popoverDidClose();
    void performSelectingAction();
    void performDeSelectingAction();
    void signOut();

    void terminateApp();
    void closeAction();

    AbstractPopover* activePopover() const { return m_activePopover; }
    PasswordLoginWindowController* passwordLoginWindowController() const {
        return m_passwordLoginWindowController.get();
    }
    SSOLoginWindowController* ssoLoginWindowController() const {
        return m_ssoLoginWindowController.get();
    }
    bool closeRequested() const { return m_closeRequested; }

    // The one status view, reachable without a reference to the controller.
    static CustomStatusItemView* customStatusView();

    // The names this controller observes.
    static QStringList observedNotificationNames();

private:
    static void setCustomStatusView(CustomStatusItemView* view);
    void initializeNotificationCenter();
    void loadStatusImages();
    void showSignedInStateIcon();
    bool isSignedIn() const;
    void onApplicationStateChanged(Qt::ApplicationState state);
    void raiseWindow(QWidget* window);
    bool ssoLoginWindowOpen() const;
    void forgetSSOLoginWindowController();
    void releaseSSOLoginWindowController(SSOLoginWindowController* controller);
    bool raiseSignInWindow();
    void sendFirstLaunchOnce();
    void sendRevocation();
    void releaseMenuPopover();

    AppServices m_services;
    bool m_closeRequested = false;
    QIcon m_statusImage;
    QIcon m_statusHighlightImage;
    QIcon m_statusImageSelected;
    QPointer<AbstractPopover> m_activePopover;
    // The menu, kept hidden between opens; the account's, released when it signs out.
    QPointer<MenuPopover> m_menuPopover;
    std::unique_ptr<PasswordLoginWindowController> m_passwordLoginWindowController;
    std::unique_ptr<SSOLoginWindowController> m_ssoLoginWindowController;
    std::unique_ptr<CustomStatusItemView> m_statusView;
    Qt::ApplicationState m_lastState = Qt::ApplicationInactive;
};
