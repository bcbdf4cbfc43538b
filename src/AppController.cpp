#include "AppController.h"

#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "Authentication/PasswordLogin/PasswordLoginWindowController.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "Logging/Log.h"
#include "Menu/MenuPopover.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/Keychain.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "Platform/PreferencesStore.h"
#include "Scheduler/SchedulerPopover.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QMessageBox>
#include <QMutex>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <cstring>

namespace {

const QString kFirstLaunchSentKey = QStringLiteral("firstLaunchSent");

QMutex statusViewLock;
CustomStatusItemView* sharedStatusView = nullptr;

// Rendered from resources/icons at build time: one image's compressed pixels per size.
QIcon loadStatusImage(const QString& name) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 44, 64}) {
        QFile file(QStringLiteral(":/status/%1-%2.argb").arg(name).arg(size));
        const QByteArray pixels =
            file.open(QIODevice::ReadOnly) ? qUncompress(file.readAll()) : QByteArray();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        if (pixels.size() != image.sizeInBytes()) {
            TLOG_ERROR(QStringLiteral("Tray icon %1 at %2 pixels is missing").arg(name).arg(size));
            continue;
        }
        std::memcpy(image.bits(), pixels.constData(), pixels.size());
        icon.addPixmap(QPixmap::fromImage(std::move(image)));
    }
    return icon;
}

QString nameOf(const QObject* object) {
    return object ? QString::fromLatin1(object->metaObject()->className()) : QStringLiteral("nil");
}

} // namespace

AppController::AppController(AppServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services)) {}

AppController::~AppController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    TLOG_DEBUG(QStringLiteral("Application dealloc %1").arg(nameOf(this)));
    closeActivePopover();
    delete m_menuPopover.data();
    setCustomStatusView(nullptr);
}

CustomStatusItemView* AppController::customStatusView() {
    QMutexLocker lock(&statusViewLock);
    return sharedStatusView;
}

void AppController::setCustomStatusView(CustomStatusItemView* view) {
    QMutexLocker lock(&statusViewLock);
    sharedStatusView = view;
}

// --- Launch ---

void AppController::awakeFromNib() {
    m_closeRequested = false;
    // The keychain waits for the secret service: the icon does not. The password comes with the
    // reload once launching has finished.
    TamberDataModel::loadStoredRecord();
    loadStatusImages();

    m_statusView = std::make_unique<CustomStatusItemView>();
    setCustomStatusView(m_statusView.get());
    m_statusView->setImage(isSignedIn() ? m_statusImage : m_statusHighlightImage);
    m_statusView->setAlternateImage(m_statusImageSelected);

    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            &AppController::onApplicationStateChanged);
    initializeNotificationCenter();
}

void AppController::applicationWillFinishLaunching() {
    TLOG_INFO(QStringLiteral("application will finish launching"));
    const QString appName = BundleInfo::appName();
    if (!m_services.osSupported()) {
        QMessageBox alert(QMessageBox::Warning, appName, QStringLiteral("Unsupported OS X Version"),
                          QMessageBox::Ok);
        alert.setInformativeText(
            QStringLiteral("%1 is supported only on 10.9 and above.").arg(appName));
        for (QAbstractButton* button : alert.buttons()) {
            TLOG_DEBUG(QStringLiteral("%1").arg(button->text()));
            connect(button, &QAbstractButton::clicked, this, &AppController::terminateApp);
        }
        alert.exec();
        return;
    }
    m_services.addLoginItem();
}

void AppController::applicationDidFinishLaunching() {
    if (!m_services.osSupported()) {
        terminateApp();
        return;
    }
    m_services.startLogging();
    TLOG_INFO(QStringLiteral("Application finished launching"));
    for (const QString& path : m_services.logFilePaths()) {
        TLOG_DEBUG(path);
    }

    if (!isSignedIn()) {
        m_statusView->setImage(m_statusHighlightImage);
        createAndShowAuthenticationPopover();
    }

    TamberDataModel::loadDataFromBundle();
    TamberDataModel* model = TamberDataModel::sharedData();
    model->SID = TamberDataModel::uuidString();
    if (!TamberDataModel::isPresent(model->CID)) {
        if (const auto serial = m_services.serialNumber()) {
            model->CID = *serial;
        }
        sendFirstLaunchOnce();
    }
}

// Without a machine id the client id stays empty; the marker keeps the event to one per
// installation all the same.
void AppController::sendFirstLaunchOnce() {
    PreferencesStore store(PreferencesStore::defaultPath());
    if (store.value(kFirstLaunchSentKey).toBool()) {
        return;
    }
    m_services.sendAppFirstLaunch();
    store.setValue(kFirstLaunchSentKey, true);
    store.flush();
}

void AppController::loadStatusImages() {
    // The icons live in a static library: register its resources before the first lookup.
    Q_INIT_RESOURCE(gui);
    m_statusImage = loadStatusImage(QStringLiteral("icon"));
    m_statusHighlightImage = loadStatusImage(QStringLiteral("icon-alt"));
    m_statusImageSelected = loadStatusImage(QStringLiteral("icon-selected"));
}

QStringList AppController::observedNotificationNames() {
    return {QStringLiteral("SELECTING_ACTION"),
            QStringLiteral("DESELECTING_ACTION"),
            QStringLiteral("SHOW_TAMBER_POPOVER"),
            QStringLiteral("CLOSE_TAMBER_POPOVER"),
            QStringLiteral("SHOW_MENU_POPOVER"),
            QStringLiteral("SCHEDULE_MEETING_POPOVERREQUESTED"),
            QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
            QStringLiteral("AUTH_CONFIG_REQUESTED"),
            QStringLiteral("SAML_CONFIG_REQUESTED"),
            QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"),
            QStringLiteral("SAML_CONFIG_SUCCESSFUL"),
            QStringLiteral("SIGN_OUT_ACTION")};
}

void AppController::initializeNotificationCenter() {
    using Reaction = void (AppController::*)();
    const std::pair<const char*, Reaction> table[] = {
        {"SELECTING_ACTION", &AppController::performSelectingAction},
        {"DESELECTING_ACTION", &AppController::performDeSelectingAction},
        {"SHOW_TAMBER_POPOVER", &AppController::popoverDidShow},
        {"CLOSE_TAMBER_POPOVER", &AppController::popoverDidClose},
        {"SHOW_MENU_POPOVER", &AppController::showMenu},
        {"SCHEDULE_MEETING_POPOVERREQUESTED", &AppController::showScheduling},
        {"AUTH_CONFIG_REQUESTED", &AppController::showAuthUI},
        {"SAML_CONFIG_REQUESTED", &AppController::showSSOPage},
        {"PASSWORD_CONFIG_SUCCESSFUL", &AppController::passwordConfigSuccessful},
        {"SAML_CONFIG_SUCCESSFUL", &AppController::samlConfigSuccessful},
        {"SIGN_OUT_ACTION", &AppController::signOut},
    };
    NotificationCenter& center = NotificationCenter::defaultCenter();
    for (const auto& [name, reaction] : table) {
        center.addObserver(this, QString::fromLatin1(name),
                           [this, reaction](const QVariant&) { (this->*reaction)(); });
    }
    center.addObserver(this, QStringLiteral("EDIT_MEETING_POPOVERREQUESTED"),
                       [this](const QVariant& meeting) { editScheduling(meeting); });
}

// --- Popovers and windows ---

bool AppController::isSignedIn() const {
    return TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token);
}

void AppController::showSignedInStateIcon() {
    m_statusView->setImage(isSignedIn() ? m_statusImage : m_statusHighlightImage);
}

void AppController::closeActivePopover() {
    if (!m_activePopover) {
        return;
    }
    AbstractPopover* popover = m_activePopover;
    m_activePopover = nullptr;
    popover->hidePopover();
    TLOG_DEBUG(QStringLiteral("Closing %1").arg(nameOf(popover)));
    if (popover != m_menuPopover) {
        popover->deleteLater();
    }
}

void AppController::createAndShowMenuPopover() {
    closeActivePopover();
    // One menu, shown again at each open: building its window and pages anew cost more than
    // everything else an open does.
    if (!m_menuPopover) {
        m_menuPopover = new MenuPopover;
        m_menuPopover->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_menuPopover->prepareForReuse();
    m_activePopover = m_menuPopover;
    showPopover(m_menuPopover);
}

void AppController::releaseMenuPopover() {
    if (!m_menuPopover) {
        return;
    }
    if (m_activePopover == m_menuPopover) {
        closeActivePopover();
    }
    MenuPopover* menu = m_menuPopover;
    m_menuPopover.clear();
    menu->deleteLater();
}

void AppController::createAndShowSchedulerPopover(const QVariantMap& meeting) {
    closeActivePopover();
    auto* popover = new SchedulerPopover(meeting);
    m_activePopover = popover;
    showPopover(popover);
}

void AppController::createAndShowAuthenticationPopover() {
    showAuthUI();
}

void AppController::showPopover(AbstractPopover* popover) {
    setHightLighted(true);
    QPointer<AbstractPopover> guard(popover);
    MainQueue::async(this, [this, guard] {
        // A popover opened twice before its show came round is shown once.
        if (guard && guard == m_activePopover && !guard->isVisible()) {
            guard->showPopover(m_statusView ? m_statusView->anchorGeometry() : QRect());
        }
    });
}

void AppController::setHightLighted(bool flag) {
    if (!m_statusView) {
        return;
    }
    m_statusView->setHighlighted(flag);
    if (flag) {
        m_statusView->setAlternateImage(m_statusImageSelected);
    } else {
        showSignedInStateIcon();
    }
}

void AppController::closeAllPopovers() {
    closeActivePopover();
    setHightLighted(false);
}

void AppController::showAuthUI() {
    TamberDataModel* model = TamberDataModel::sharedData();
    model->access_token = QVariant();
    model->userId = QVariant();
    model->username = QVariant();
    TamberDataModel::saveDataToBundle();
    // The kept menu shows the account's meetings: not for whoever signs in next.
    releaseMenuPopover();
    resetPasswordLoginWindowController();
    m_passwordLoginWindowController = std::make_unique<PasswordLoginWindowController>();
    // Closed from its title bar: forget it, so the next click opens the flow afresh.
    connect(m_passwordLoginWindowController.get(), &PasswordLoginWindowController::windowClosed,
            this, [this] {
                if (m_passwordLoginWindowController) {
                    m_passwordLoginWindowController.release()->deleteLater();
                }
            });
    m_passwordLoginWindowController->loadAuthenticationUI();
}

void AppController::raiseWindow(QWidget* window) {
    if (window) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void AppController::resetPasswordLoginWindowController() {
    if (!m_passwordLoginWindowController) {
        return;
    }
    TLOG_DEBUG(QStringLiteral("passwordLoginWindowController is not nil"));
    raiseWindow(m_passwordLoginWindowController->window());
    m_passwordLoginWindowController->closeApplicationServerOptions();
    if (QWidget* window = m_passwordLoginWindowController->window()) {
        window->close();
    }
    m_passwordLoginWindowController.reset();
}

void AppController::showSSOPage() {
    if (m_passwordLoginWindowController) {
        if (QWidget* window = m_passwordLoginWindowController->window()) {
            window->close();
        }
        m_passwordLoginWindowController.reset();
    }
    if (m_ssoLoginWindowController) {
        // Replaced: its window process goes with the controller once its callbacks are done.
        m_ssoLoginWindowController.release()->deleteLater();
    }
    m_ssoLoginWindowController = std::make_unique<SSOLoginWindowController>();
    SSOLoginWindowController* created = m_ssoLoginWindowController.get();
    // Closed by hand: the exchange is abandoned, and the next click starts sign-in afresh.
    connect(created, &SSOLoginWindowController::windowClosed, this,
            [this, created] { releaseSSOLoginWindowController(created); });
    // Each controller releases only itself: a late one never discards a newer window.
    connect(created, &SSOLoginWindowController::signInCompleted, this,
            [this, created] { releaseSSOLoginWindowController(created); });
    m_ssoLoginWindowController->loadIDPURL();
}

void AppController::releaseSSOLoginWindowController(SSOLoginWindowController* controller) {
    if (m_ssoLoginWindowController.get() == controller) {
        m_ssoLoginWindowController.release();
    }
    controller->deleteLater();
}

bool AppController::ssoLoginWindowOpen() const {
    return m_ssoLoginWindowController && m_ssoLoginWindowController->isWindowOpen();
}

void AppController::forgetSSOLoginWindowController() {
    if (m_ssoLoginWindowController && !ssoLoginWindowOpen()) {
        releaseSSOLoginWindowController(m_ssoLoginWindowController.get());
    }
}

// --- Notification reactions ---

void AppController::passwordConfigSuccessful() {
    m_services.sendConfigComplete();
    if (m_passwordLoginWindowController) {
        if (QWidget* window = m_passwordLoginWindowController->window()) {
            window->close();
        }
        m_passwordLoginWindowController.reset();
    }
    createAndShowMenuPopover();
    m_services.fetchPersonalMeetingDescription(
        [] {},
        [] {
            TLOG_ERROR(QStringLiteral(
                "Error while fetching personal meeting description for password config users."));
        });
}

// The sign-on window posts this only once the user details are in (it shows their failure
// itself), and the controller that posted it releases itself.
void AppController::samlConfigSuccessful() {
    m_services.sendConfigComplete();
    TamberDataModel::saveDataToBundle();
    createAndShowMenuPopover();
}

void AppController::showScheduling() {
    setHightLighted(true);
    createAndShowSchedulerPopover({});
}

void AppController::editScheduling(const QVariant& meeting) {
    // The record holds passcodes and notes: its id identifies it well enough.
    TLOG_DEBUG(QStringLiteral("Meeting received is %1")
                   .arg(TamberDataModel::textOrNull(meeting.toMap().value(QStringLiteral("id")))));
    setHightLighted(true);
    createAndShowSchedulerPopover(meeting.toMap());
}

void AppController::showMenu() {
    createAndShowMenuPopover();
}

void AppController::popoverDidShow() {
    TLOG_DEBUG(QStringLiteral("Popover did show from AppController"));
    setHightLighted(true);
}

void AppController::popoverDidClose() {
    TLOG_DEBUG(QStringLiteral("Popover did close from AppController"));
    // The notice of a replaced popover arrives after its successor took over: not for it.
    if (m_activePopover && !m_activePopover->hasClosed()) {
        return;
    }
    setHightLighted(false);
}

void AppController::performSelectingAction() {
    TLOG_DEBUG(QStringLiteral("Performing selection action"));
    if (raiseSignInWindow()) {
        return;
    }
    // A sign-on window closed a moment ago is not brought back.
    forgetSSOLoginWindowController();
    if (isSignedIn()) {
        m_statusView->setImage(m_statusImage);
        createAndShowMenuPopover();
        m_services.sendAppFocus(QStringLiteral("Menu"));
    } else {
        m_statusView->setImage(m_statusHighlightImage);
        createAndShowAuthenticationPopover();
        m_services.sendAppFocus(QStringLiteral("Authentication"));
    }
}

void AppController::performDeSelectingAction() {
    TLOG_DEBUG(QStringLiteral("Perform deselecting action"));
    if (raiseSignInWindow()) {
        return;
    }
    closeActivePopover();
    setHightLighted(false);
}

// While a sign-in window is open every click brings it forward; the icon stays plain, so
// the next click is a selecting one again.
bool AppController::raiseSignInWindow() {
    if (m_passwordLoginWindowController && m_passwordLoginWindowController->window()) {
        raiseWindow(m_passwordLoginWindowController->window());
    } else if (ssoLoginWindowOpen()) {
        m_ssoLoginWindowController->raiseWindow();
    } else {
        return false;
    }
    setHightLighted(false);
    return true;
}

void AppController::signOut() {
    sendRevocation();
    // An open scheduler keeps its form as a draft when it closes: close it before the drafts go.
    closeAllPopovers();
    releaseMenuPopover();

    TamberDataModel* model = TamberDataModel::sharedData();
    model->access_token = QVariant();
    model->username = QVariant();
    model->password = QVariant();
    model->userId = QVariant();
    model->meetingDrafts.clear();

    TLOG_DEBUG(QStringLiteral("Deleting from key chain"));
    const Keychain::Result deleted = TamberDataModel::deleteStoredPassword();
    if (!deleted.ok) {
        TLOG_DEBUG(QStringLiteral("Keychain item not deleted: %1").arg(deleted.message));
    }
    TamberDataModel::saveDataToBundle();

    m_statusView->setImage(m_statusHighlightImage);
}

void AppController::sendRevocation() {
    // Fire and forget: the local sign-out never waits for the service.
    m_services.revokeToken([] { TLOG_ERROR(QStringLiteral("Error while clearing access_token")); });
}

void AppController::terminateApp() {
    m_closeRequested = true;
    AbstractPopover::quitApplication();
}

void AppController::closeAction() {
    std::exit(0);
}

// --- Deactivation ---

void AppController::onApplicationStateChanged(Qt::ApplicationState state) {
    // The closed menu is hidden, and the focus it held leaves it as a deactivation, which a
    // destroyed menu window never caused: the application stays active as it always did.
    if (state != Qt::ApplicationActive && m_menuPopover && m_menuPopover->takeFocusLeftOnHide())
        return;
    const bool wasActive = m_lastState == Qt::ApplicationActive;
    m_lastState = state;
    if (wasActive && state != Qt::ApplicationActive) {
        applicationWillResignActive();
        applicationDidResignActive();
    }
}

void AppController::applicationWillResignActive() {
    TLOG_DEBUG(QStringLiteral("Resigning to be active %1").arg(nameOf(qApp)));
    m_services.sendAppHide(m_activePopover ? nameOf(m_activePopover) : nameOf(this));
    closeActivePopover();
}

void AppController::applicationDidResignActive() {
    TLOG_DEBUG(QStringLiteral("notification resigned"));
    // Sign-in windows are ordinary windows: another application in front (the browser of
    // "Forgot password?", a password manager) leaves them and what was typed in them alone.
    setHightLighted(false);
}
