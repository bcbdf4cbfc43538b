#include "PasswordLoginWindowController.h"

#include "AbstractTamberWindowController/AbstractPopover.h"
#include "AbstractTamberWindowController/CustomTextField.h"
#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/WindowPlacement.h"
#include "Analytics/AnalyticsController.h"
#include "ApplicationOptionsPanel.h"
#include "Authentication/SignInCompletion.h"
#include "Logging/Log.h"
#include "Models/TamberDataModel.h"
#include "PasswordLoginWindow.h"
#include "Platform/BundleInfo.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UrlOpener.h"
#include "ui_PasswordLoginWindowController.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QIcon>

namespace {

const QString kShowOptions = QStringLiteral("SHOWAPPLICATIONSERVEROPTIONS");
constexpr int kPasswordTag = 0;
constexpr int kAccountTag = 1;
constexpr int kServerTag = 2;

std::function<void()>& terminateHandler() {
    static std::function<void()> handler = [] { AbstractPopover::quitApplication(); };
    return handler;
}

// The platform's own description of the network failures that users can act on (offline,
// server refusing connections, unknown host, connection lost, timed out); nothing for any
// other failure.
std::optional<QString> networkErrorDescription(const std::optional<ServiceError>& error) {
    if (!error || error->domain != QLatin1String("NSURLErrorDomain")) {
        return std::nullopt;
    }
    switch (error->code) {
    case -1009:
    case -1004:
    case -1003:
    case -1005:
    case -1001:
        return error->description;
    default:
        return std::nullopt;
    }
}

QFont systemFont(bool bold) {
    QFont font = QApplication::font();
    font.setPixelSize(14);
    font.setBold(bold);
    return font;
}

// Keeps a spinner at the right end inside its button.
class SpinnerPlacer : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
            auto* button = static_cast<QWidget*>(watched);
            for (auto* spinner : button->findChildren<ProgressIndicator*>()) {
                const QSize s = spinner->sizeHint();
                spinner->setGeometry(button->width() - s.width() - 12,
                                     (button->height() - s.height()) / 2, s.width(), s.height());
            }
        }
        return false;
    }
};

const char* const kWindowStyle = R"(
#titleLabel { font-size: 21px; font-weight: 600; color: #1d2330; }
#subtitleLabel { color: #5f6670; font-size: 13px; }
#chooseCalendarLabel, #optionsTitle { font-size: 15px; font-weight: 600; color: #1d2330; }
#chooseCalendarHint, #applicationServerReference { color: #5f6670; font-size: 12px; }
QRadioButton {
    padding: 11px 12px; border: 1px solid #d5dae2; border-radius: 8px;
    background: #ffffff; color: #1d2330; font-size: 14px; spacing: 10px;
}
QRadioButton:hover { border-color: #0c61fe; background: #f5f8ff; }
QRadioButton:focus { border-color: #0c61fe; }
#accountNotFoundLabel, #invalidPassword { color: #c91c1c; font-size: 12px; }
#nextButton, #loginButton {
    background: #0c61fe; color: #ffffff; border: none; border-radius: 6px;
    padding: 9px 16px; font-size: 14px; font-weight: 600;
}
#nextButton:hover, #loginButton:hover { background: #2a74ff; }
#nextButton:pressed, #loginButton:pressed { background: #0a52d8; }
#nextButton:disabled, #loginButton:disabled { background: #7fa9fb; }
#quitButton, #cancelButton, #closeOptionsButton {
    background: #ffffff; color: #1d2330; border: 1px solid #c5cad3; border-radius: 6px;
    padding: 8px 16px; font-size: 13px;
}
#quitButton:hover, #cancelButton:hover, #closeOptionsButton:hover { background: #f2f5fa; }
#quitButton:disabled, #cancelButton:disabled { color: #a0a6b0; }
NSTextFieldClickable { color: #0c61fe; font-size: 12px; }
NSTextFieldClickable:hover { text-decoration: underline; }
#signUpPrompt { color: #5f6670; font-size: 12px; }
)";

// The host the server field asks for: as typed, or the standard one (its placeholder) when empty.
QString hostIn(const CustomTextField* field) {
    const QString text = field->text();
    return text.isEmpty() ? field->placeholderText() : text;
}

} // namespace

void PasswordLoginWindowController::setTerminateHandler(std::function<void()> handler) {
    terminateHandler() = handler ? std::move(handler) : [] { AbstractPopover::quitApplication(); };
}

QString PasswordLoginWindowController::calendarValueForRow(int row) {
    switch (row) {
    case 0:
        return QStringLiteral("velora_calendar");
    case 1:
        return QStringLiteral("apple_calendar");
    case 2:
        return QStringLiteral("outlook_calendar");
    case 3:
        return QStringLiteral("ics_calendar");
    default:
        return {};
    }
}

PasswordLoginWindowController::PasswordLoginWindowController(QObject* parent)
    : QObject(parent)
    , m_ui(std::make_unique<Ui::PasswordLoginWindowController>()) {
    m_window = new PasswordLoginWindow;
    m_ui->setupUi(m_window);
    m_window->setObjectName(QStringLiteral("passwordLoginWindow"));
    m_window->setWindowTitle(BundleInfo::appName());
    m_window->setWindowIcon(QIcon(QStringLiteral(":/images/logo.svg")));
    m_window->setFixedSize(400, 580);
    applyStyle();

    auto* placer = new SpinnerPlacer(m_window);
    m_ui->nextButton->installEventFilter(placer);
    m_ui->loginButton->installEventFilter(placer);

    // The options sheet's content lives in the window's layout; the sheet takes it over.
    m_applicationOptionsPanel =
        new ApplicationOptionsPanel(m_ui->applicationOptionsPanelView, m_window);
    m_ui->applicationServerField->setPlaceholderText(BundleInfo::defaultApiHost());
    connect(m_applicationOptionsPanel, &QDialog::finished, this,
            &PasswordLoginWindowController::didEndSheet);
    connect(m_ui->closeOptionsButton, &QPushButton::clicked, this,
            [this] { closeApplicationServerOptions(m_ui->closeOptionsButton); });

    auto* calendarRows = new QButtonGroup(m_window);
    calendarRows->setObjectName(QStringLiteral("defaultCalendarOption"));
    calendarRows->addButton(m_ui->veloraCalendarOption, 0);
    calendarRows->addButton(m_ui->appleCalendarOption, 1);
    calendarRows->addButton(m_ui->outlookCalendarOption, 2);
    calendarRows->addButton(m_ui->calendarFeedsOption, 3);
#ifndef Q_OS_MACOS
    // Outlook and Apple Calendar are read and written only on macOS.
    m_ui->appleCalendarOption->hide();
    m_ui->outlookCalendarOption->hide();
#endif
    connect(calendarRows, &QButtonGroup::idClicked, this,
            &PasswordLoginWindowController::selectDefaultCalendarOption);

    connect(m_ui->nextButton, &QPushButton::clicked, this,
            &PasswordLoginWindowController::nextAction);
    connect(m_ui->usernameOrEmailField, &CustomTextField::action, this,
            &PasswordLoginWindowController::nextAction);
    connect(m_ui->loginButton, &QPushButton::clicked, this,
            &PasswordLoginWindowController::loginButtonAction);
    connect(m_ui->passwordField, &CustomTextField::action, this,
            &PasswordLoginWindowController::loginButtonAction);
    connect(m_ui->cancelButton, &QPushButton::clicked, this,
            &PasswordLoginWindowController::cancelLoginButton);
    connect(m_ui->quitButton, &QPushButton::clicked, this,
            &PasswordLoginWindowController::quitAction);
    connect(m_ui->signUp, &NSTextFieldClickable::clicked, this,
            &PasswordLoginWindowController::launchSignUp);
    connect(m_ui->forgotPassword, &NSTextFieldClickable::clicked, this,
            &PasswordLoginWindowController::forgotButtonAction);
    connect(m_window, &PasswordLoginWindow::closedByUser, this,
            &PasswordLoginWindowController::windowClosed);
    for (auto* field :
         {m_ui->usernameOrEmailField, m_ui->passwordField, m_ui->applicationServerField}) {
        connect(field, &QLineEdit::textEdited, this,
                [this, field] { controlTextDidChange(field); });
    }

    NotificationCenter::defaultCenter().addObserver(
        this, kShowOptions, [this](const QVariant&) { showApplicationServerOptions(); });
    windowDidLoad();
}

PasswordLoginWindowController::~PasswordLoginWindowController() {
    // Closed while signing in: the sign-in is abandoned, so no half-confirmed token stays.
    if (m_signInPending)
        SignInCompletion::forgetUnconfirmedToken();
    closeApplicationServerOptions();
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
    delete m_window.data();
}

QWidget* PasswordLoginWindowController::window() const {
    return m_window;
}

ApplicationOptionsPanel* PasswordLoginWindowController::applicationOptionsPanel() const {
    return m_applicationOptionsPanel;
}

void PasswordLoginWindowController::applyStyle() {
    m_window->setStyleSheet(QString::fromLatin1(kWindowStyle));
    m_ui->logoImageView->setPixmap(QIcon(QStringLiteral(":/images/logo.svg"))
                                       .pixmap(QSize(72, 72), m_window->devicePixelRatioF()));
    for (auto* spinner :
         {m_ui->identifySecurityProfileProgress, m_ui->passwordAuthenticationInProgress}) {
        QPalette pal = spinner->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        spinner->setPalette(pal);
    }
    for (auto* field :
         {m_ui->usernameOrEmailField, m_ui->passwordField, m_ui->applicationServerField}) {
        field->setFont(systemFont(false));
        field->setMinimumHeight(36);
    }
    m_ui->nextButton->setMinimumHeight(38);
    m_ui->loginButton->setMinimumHeight(38);
    // A click leaves the keyboard in the field: a button that is then disabled while it has
    // the focus would pass it on by Tab, which selects the whole password.
    for (QPushButton* button :
         {m_ui->nextButton, m_ui->quitButton, m_ui->loginButton, m_ui->cancelButton}) {
        button->setFocusPolicy(Qt::TabFocus);
    }
    m_ui->nextButton->setDefault(false);
    m_ui->nextButton->setAutoDefault(false);
    m_ui->loginButton->setAutoDefault(false);
}

void PasswordLoginWindowController::loadAuthenticationUI() {
    if (!m_window->isVisible()) {
        WindowPlacement::centreOnIconScreen(m_window);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

// --- States ---

void PasswordLoginWindowController::windowDidLoad() {
    // Message rows take their place in the layout only while shown, so Next and Quit move down
    // under a message and back up without it.
    updateUsernameOrEmailFieldButtonStatus(m_ui->usernameOrEmailField, false);
    m_ui->nextButton->setVisible(true);
    m_ui->quitButton->setVisible(true);
    m_ui->passwordBlockView->setVisible(false);
    m_ui->usernameOrEmailField->setReadOnly(false);
    m_ui->passwordField->setReadOnly(false);
    m_ui->passwordField->clear();
    m_ui->usernameOrEmailField->setFocus();
    setSpinner(m_ui->identifySecurityProfileProgress, false);
    setSpinner(m_ui->passwordAuthenticationInProgress, false);
    convertLabelToTextField(m_ui->usernameOrEmailField);
    m_ui->usernameOrEmailField->update();
    m_ui->passwordField->update();
    m_ui->signUpView->setVisible(true);
    // The calendar is asked once: a sign-in after a sign-out keeps the stored choice.
    const bool chooseCalendar =
        !TamberDataModel::isPresent(TamberDataModel::sharedData()->calendar);
    m_ui->chooseCalendarView->setVisible(chooseCalendar);
    m_ui->authenticationView->setVisible(!chooseCalendar);
}

void PasswordLoginWindowController::enterPasswordEntryState() {
    CustomTextField* account = m_ui->usernameOrEmailField;
    account->setFont(systemFont(true));
    m_ui->accountNotFoundLabel->setVisible(false);
    setSpinner(m_ui->identifySecurityProfileProgress, false);
    account->setReadOnly(true);
    convertTextFieldToLable(account);

    m_ui->nextButton->setVisible(false);
    m_ui->quitButton->setVisible(false);
    m_ui->signUpView->setVisible(false);
    m_ui->passwordBlockView->setVisible(true);

    // Running but hidden until a Login shows it.
    m_ui->passwordAuthenticationInProgress->startAnimation();
    m_ui->passwordAuthenticationInProgress->setVisible(false);

    CustomTextField* password = m_ui->passwordField;
    updateUsernameOrEmailFieldButtonStatus(password, false);
    password->setReadOnly(false);
    password->clear();
    password->setFocus();
    // The field's action is Login with an empty password: silent, as Next started it.
    password->performClick();
    password->update();
}

// --- Actions ---

void PasswordLoginWindowController::nextAction() {
    m_initiatedFromNext = true;
    if (!m_ui->nextButton->isEnabled() || m_ui->nextButton->isHidden()) {
        return;
    }
    CustomTextField* account = m_ui->usernameOrEmailField;
    updateUsernameOrEmailFieldButtonStatus(account, false);
    // Only the empty text is "no name": a name of spaces is looked up as typed.
    if (account->text().isEmpty()) {
        m_ui->accountNotFoundLabel->setText(QStringLiteral("Provide a username"));
        updateUsernameOrEmailFieldButtonStatus(account, true);
        account->setFocus();
        return;
    }
    account->setReadOnly(true);
    m_ui->accountNotFoundLabel->setText(QStringLiteral("Account not found"));
    m_ui->nextButton->setEnabled(false);
    setSpinner(m_ui->identifySecurityProfileProgress, true);

    // The window may be gone when the reply comes (the application lost the front).
    QPointer<PasswordLoginWindowController> self = this;
    const auto lookupEnded = [self] {
        if (!self) {
            return false;
        }
        self->m_ui->usernameOrEmailField->setReadOnly(false);
        self->m_ui->nextButton->setEnabled(true);
        return true;
    };
    TamberDataModel::fetchSecurityProfileDetails(
        account->text(),
        [self, lookupEnded] {
            if (!lookupEnded()) {
                return;
            }
            TLOG_INFO(QStringLiteral("PASSWORD BLOCK"));
            MainQueue::async(self.data(), [self] { self->enterPasswordEntryState(); });
        },
        [self, lookupEnded] {
            if (!lookupEnded()) {
                return;
            }
            self->setSpinner(self->m_ui->identifySecurityProfileProgress, false);
            MainQueue::async(self.data(), [] {
                NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_REQUESTED"));
            });
            TLOG_INFO(QStringLiteral("SSO BLock"));
        },
        [self, lookupEnded] {
            if (!lookupEnded()) {
                return;
            }
            self->m_ui->accountNotFoundLabel->setText(QStringLiteral("Account not supported"));
            TLOG_INFO(QStringLiteral("Error Block"));
            self->updateUsernameOrEmailFieldButtonStatus(self->m_ui->usernameOrEmailField, true);
            self->setSpinner(self->m_ui->identifySecurityProfileProgress, false);
        },
        [self, lookupEnded](const std::optional<ServiceError>& error) {
            if (!lookupEnded()) {
                return;
            }
            self->m_ui->accountNotFoundLabel->setText(
                networkErrorDescription(error).value_or(QStringLiteral("Account not found")));
            self->updateUsernameOrEmailFieldButtonStatus(self->m_ui->usernameOrEmailField, true);
            self->setSpinner(self->m_ui->identifySecurityProfileProgress, false);
        });
}

void PasswordLoginWindowController::loginButtonAction() {
    TLOG_DEBUG(QStringLiteral("Login button action"));
    m_ui->invalidPassword->setText(QStringLiteral("Invalid Password"));
    if (!m_ui->loginButton->isEnabled()) {
        TLOG_DEBUG(QStringLiteral("Returning since its not enabled"));
        return;
    }
    CustomTextField* password = m_ui->passwordField;
    if (password->text().isEmpty()) {
        if (!m_initiatedFromNext) {
            m_ui->invalidPassword->setText(QStringLiteral("Specify Password"));
            updateUsernameOrEmailFieldButtonStatus(password, true);
        }
        m_initiatedFromNext = false;
        return;
    }
    password->setReadOnly(true);
    updateUsernameOrEmailFieldButtonStatus(password, false);
    m_ui->loginButton->setEnabled(false);
    setSpinner(m_ui->passwordAuthenticationInProgress, true);
    TamberDataModel* model = TamberDataModel::sharedData();
    model->username = m_ui->usernameOrEmailField->text();
    model->password = password->text();
    m_ui->cancelButton->setEnabled(false);

    m_signInPending = true;
    QPointer<PasswordLoginWindowController> self = this;
    TamberDataModel::refreshAccessToken(
        [self] {
            if (self) {
                self->generateAccessTokenCompletionHandler();
            } else {
                // The window went while the grant was out: its token is not wanted.
                SignInCompletion::forgetUnconfirmedToken();
            }
        },
        [self](const std::optional<ServiceError>& error) {
            if (!self) {
                return;
            }
            self->m_signInPending = false;
            self->m_ui->passwordField->setReadOnly(false);
            self->m_ui->cancelButton->setEnabled(true);
            TLOG_DEBUG(QStringLiteral("In Password error block"));
            if (auto text = networkErrorDescription(error)) {
                self->m_ui->invalidPassword->setText(*text);
            }
            self->setSpinner(self->m_ui->passwordAuthenticationInProgress, false);
            self->generateAccessTokenErrorHandler();
        });
}

void PasswordLoginWindowController::generateAccessTokenCompletionHandler() {
    updateUsernameOrEmailFieldButtonStatus(m_ui->passwordField, false);
    if (!TamberDataModel::isPresent(TamberDataModel::sharedData()->access_token)) {
        // A refused grant answered with an error document: a wrong password.
        m_signInPending = false;
        generateAccessTokenErrorHandler();
        return;
    }
    QPointer<PasswordLoginWindowController> self = this;
    TamberDataModel::fetchAggregatedUserDetails(
        [self] {
            if (!self) {
                return;
            }
            self->m_signInPending = false;
            self->setSpinner(self->m_ui->passwordAuthenticationInProgress, false);
            self->m_ui->passwordField->setReadOnly(false);
            NotificationCenter::defaultCenter().post(QStringLiteral("PASSWORD_CONFIG_SUCCESSFUL"));
        },
        [self](const std::optional<ServiceError>& error) {
            if (self) {
                MainQueue::async(self.data(), [self, error] { self->userDetailsFailed(error); });
            }
        });
}

// The password was right: say what failed, and keep no token until the details are in, so a
// click on the icon does not open a menu without an account behind it.
void PasswordLoginWindowController::userDetailsFailed(const std::optional<ServiceError>& error) {
    TLOG_DEBUG(ServiceCall::describe(error));
    m_signInPending = false;
    SignInCompletion::forgetUnconfirmedToken();
    m_ui->cancelButton->setEnabled(true);
    generateAccessTokenErrorHandler();
    m_ui->invalidPassword->setText(SignInCompletion::detailsNotLoadedMessage(error));
    m_ui->invalidPassword->update();
    TLOG_ERROR(QStringLiteral("error"));
}

void PasswordLoginWindowController::generateAccessTokenErrorHandler() {
    updateUsernameOrEmailFieldButtonStatus(m_ui->passwordField, true);
    setSpinner(m_ui->passwordAuthenticationInProgress, false);
    m_ui->loginButton->setEnabled(true);
    // Every failure ends with a way out of the block, also the token-less "success".
    m_ui->cancelButton->setEnabled(true);
    m_ui->passwordField->setReadOnly(false);
    m_ui->passwordField->setFocus();
}

void PasswordLoginWindowController::cancelLoginButton() {
    CustomTextField* account = m_ui->usernameOrEmailField;
    account->setFont(systemFont(false));
    convertLabelToTextField(account);
    account->setFocus();
    m_ui->nextButton->setVisible(true);
    m_ui->quitButton->setVisible(true);
    m_ui->passwordBlockView->setVisible(false);
    m_ui->signUpView->setVisible(true);
}

void PasswordLoginWindowController::quitAction() {
    AnalyticsController::sendQuitAction(QStringLiteral("PasswordLoginWindowController"));
    // The event would die with the process: quit once it is answered (2 s at most).
    AnalyticsController::afterPendingEvents(AnalyticsController::kQuitWaitMs,
                                            [] { terminateHandler()(); });
}

void PasswordLoginWindowController::launchSignUp() {
    AnalyticsController::sendSignUpClick();
    UrlOpener::open(QUrl(TamberDataModel::signUpURL()));
}

void PasswordLoginWindowController::forgotButtonAction() {
    UrlOpener::open(QUrl(TamberDataModel::forgotURL()));
}

void PasswordLoginWindowController::selectDefaultCalendarOption(int row) {
    const QString value = calendarValueForRow(row);
    if (value.isEmpty()) {
        return;
    }
    TamberDataModel::sharedData()->calendar = value;
    m_ui->chooseCalendarView->setVisible(false);
    m_ui->authenticationView->setVisible(true);
    m_ui->usernameOrEmailField->setFocus();
    convertLabelToTextField(m_ui->usernameOrEmailField);
    m_ui->loginButton->setEnabled(true);
    AnalyticsController::sendInitialCalendarSelected();
}

// --- Fields and messages ---

void PasswordLoginWindowController::controlTextDidChange(CustomTextField* field) {
    if (field->tag() == kServerTag) {
        TamberDataModel::sharedData()->apiHost = hostIn(field);
        return;
    }
    updateUsernameOrEmailFieldButtonStatus(field, false);
}

void PasswordLoginWindowController::updateUsernameOrEmailFieldButtonStatus(CustomTextField* field,
                                                                           bool showError) {
    field->setState(showError);
    if (field->tag() == kPasswordTag) {
        updatePasswordBlockUI(showError);
    } else if (field->tag() == kAccountTag) {
        m_ui->accountNotFoundLabel->setVisible(showError);
    }
}

void PasswordLoginWindowController::updatePasswordBlockUI(bool showError) {
    m_ui->passwordField->setState(showError);
    // Login, Cancel and the reset link move down under the message and back up without it.
    m_ui->invalidPassword->setVisible(showError);
}

void PasswordLoginWindowController::convertLabelToTextField(CustomTextField* field) {
    field->setLabelLook(false);
}

void PasswordLoginWindowController::convertTextFieldToLable(CustomTextField* field) {
    field->setLabelLook(true);
}

void PasswordLoginWindowController::setSpinner(QWidget* spinner, bool running) {
    auto* indicator = static_cast<ProgressIndicator*>(spinner);
    if (running) {
        indicator->setVisible(true);
        indicator->startAnimation();
    } else {
        indicator->stopAnimation();
        indicator->setVisible(false);
    }
}

// --- Options sheet ---

void PasswordLoginWindowController::showApplicationServerOptions() {
    TLOG_DEBUG(QStringLiteral("Show Application server options"));
    const QVariant host = TamberDataModel::sharedData()->apiHost;
    m_ui->applicationServerField->setText(TamberDataModel::isPresent(host) ? host.toString()
                                                                           : QString());
    m_window->activateWindow();
    m_applicationOptionsPanel->uploadSuccessful()->setVisible(false);
    MainQueue::async(this, [this] {
        if (m_applicationOptionsPanel && !m_applicationOptionsPanel->isVisible()) {
            // Hangs from under the logo like a sheet, centred on the window.
            m_applicationOptionsPanel->adjustSize();
            const int left = (m_window->width() - m_applicationOptionsPanel->width()) / 2;
            m_applicationOptionsPanel->move(m_window->mapToGlobal(QPoint(left, 118)));
            m_applicationOptionsPanel->open();
            m_ui->applicationServerField->setFocus();
        }
    });
}

void PasswordLoginWindowController::closeApplicationServerOptions(QObject* sender) {
    if (sender) {
        TLOG_DEBUG(QStringLiteral("Do not remove observer"));
    } else {
        NotificationCenter::defaultCenter().removeObserver(this);
    }
    if (m_applicationOptionsPanel && m_applicationOptionsPanel->isVisible()) {
        m_applicationOptionsPanel->cancelConnectionIfRequired();
        m_applicationOptionsPanel->done(QDialog::Accepted);
    }
}

void PasswordLoginWindowController::didEndSheet() {
    // Stored as typed. An empty field stores the standard host right away: an empty host would
    // otherwise leave the sign-up, reset and token-check addresses without a host until the next
    // token request restored it.
    TamberDataModel::sharedData()->apiHost = hostIn(m_ui->applicationServerField);
    TamberDataModel::saveDataToBundle();
    if (m_window) {
        m_window->activateWindow();
    }
}
