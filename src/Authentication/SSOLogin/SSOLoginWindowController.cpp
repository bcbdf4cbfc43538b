#include "SSOLoginWindowController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/WindowPlacement.h"
#include "Authentication/SignInCompletion.h"
#include "Logging/Log.h"
#include "Models/ServerTrust.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "SAMLFormCapture.h"
#include "SSOOverlayView.h"
#include "SSOTokenReply.h"
#include "SSOWebPage.h"
#include "ui_SSOLoginWindowController.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSslConfiguration>
#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {

QString startFailedText() {
    return QObject::tr("Single sign-on could not be started. Close this window and try again.");
}

QString noTokenText() {
    return QObject::tr("Sign-in was not completed: the service did not return an access token. "
                       "Please sign in again.");
}

QString describeFailure(const ServiceReply& reply, const QString& fallback) {
    return reply.error ? reply.error->description : fallback;
}

// WebKit's navigation type "other": loads started by code and redirects.
bool isOtherNavigation(QWebEnginePage::NavigationType type) {
    return type == QWebEnginePage::NavigationTypeTyped ||
           type == QWebEnginePage::NavigationTypeRedirect ||
           type == QWebEnginePage::NavigationTypeOther;
}

} // namespace

SSOLoginWindowController::SSOLoginWindowController(QObject* parent)
    : QObject(parent) {}

SSOLoginWindowController::~SSOLoginWindowController() {
    // Deleting the page answers its pending script callbacks: they must find nothing to do.
    m_abandoned = true;
    TLOG_DEBUG(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
    // Gone before the user details came: the token is not the signed-in state.
    if (m_detailsPending)
        SignInCompletion::forgetUnconfirmedToken();
    if (QNetworkReply* connection = m_connection.data()) {
        connection->disconnect(this);
        connection->abort();
        connection->deleteLater();
    }
    releaseWebView();
    if (m_window)
        m_window->removeEventFilter(this);
}

QWidget* SSOLoginWindowController::window() const {
    return m_window.get();
}

QWebEngineView* SSOLoginWindowController::webView() const {
    return m_webView.data();
}

QString SSOLoginWindowController::message() const {
    return m_ui && !m_ui->messageLabel->isHidden() ? m_ui->messageLabel->text() : QString();
}

QString SSOLoginWindowController::assertionConsumerURL() {
    return QStringLiteral("https://%1/sso/saml2/").arg(TamberDataModel::VLRdomain());
}

void SSOLoginWindowController::loadIDPURL() {
    if (m_started) {
        if (m_window) {
            m_window->show();
            m_window->raise();
            m_window->activateWindow();
        }
        return;
    }
    m_started = true;
    buildWindow();
    WindowPlacement::centreOnIconScreen(m_window.get());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    startExchange();
}

void SSOLoginWindowController::startExchange() {
    m_abandoned = false;
    m_assertionPosted = false;
    m_applicationTokenRenewed = false;
    m_idpURLString.clear();
    showMessage(QString());
    showOrHideOverlay(true, false);
    ensureApplicationToken();
}

void SSOLoginWindowController::buildWindow() {
    m_window = std::make_unique<QWidget>();
    m_ui = std::make_unique<Ui::SSOLoginWindowController>();
    m_ui->setupUi(m_window.get());
    m_window->setWindowTitle(tr("%1 \u2014 Sign In").arg(BundleInfo::appName()));
    m_window->installEventFilter(this);
    buildMessageRow();
    buildWebView();
    m_overlay = new SSOOverlayView(m_window.get());
}

// The message band across the top, with "Try again" beside the message when details failed.
void SSOLoginWindowController::buildMessageRow() {
    auto* row = new QWidget(m_window.get());
    row->setObjectName(QStringLiteral("messageRow"));
    row->setAttribute(Qt::WA_StyledBackground);
    row->setStyleSheet(QStringLiteral(
        "#messageRow { background: #fdecea; border-bottom: 1px solid #f3b7b0; }"
        "QLabel { background: transparent; color: #8a1c12; border: none; padding: 10px 14px; }"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 12, 0);
    m_ui->contentLayout->replaceWidget(m_ui->messageLabel, row);
    layout->addWidget(m_ui->messageLabel, 1);
    m_retryButton = new QPushButton(tr("Try again"), row);
    m_retryButton->setObjectName(QStringLiteral("retryButton"));
    m_retryButton->setVisible(false);
    layout->addWidget(m_retryButton);
    connect(m_retryButton, &QPushButton::clicked, this,
            &SSOLoginWindowController::retryUserDetails);
}

void SSOLoginWindowController::buildWebView() {
    // No name: an off-the-record profile, so nothing of the sign-on stays on disk.
    m_profile = std::make_unique<QWebEngineProfile>();
    m_page = std::make_unique<SSOWebPage>(m_profile.get());
    QWebEngineScript capture;
    capture.setName(QStringLiteral("tamber-assertion-capture"));
    capture.setInjectionPoint(QWebEngineScript::DocumentCreation);
    capture.setWorldId(QWebEngineScript::MainWorld);
    capture.setRunsOnSubFrames(false);
    capture.setSourceCode(SAMLFormCapture::documentScript(assertionConsumerURL()));
    m_page->scripts().insert(capture);
    m_page->setNavigationPolicy([this](const QUrl& url, QWebEnginePage::NavigationType type) {
        return decideNavigation(url, type);
    });
    m_page->setCertificatePolicy([this](const QWebEngineCertificateError& error) {
        return m_certificateTrust.accepts(error.url(), error.certificateChain());
    });

    m_webView = new QWebEngineView(m_ui->webViewContainer);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setPage(m_page.get());
    m_ui->webViewLayout->addWidget(m_webView);
}

void SSOLoginWindowController::releaseWebView() {
    delete m_webView.data();
    m_page.reset();
    m_profile.reset();
}

void SSOLoginWindowController::showOrHideOverlay(bool show, bool showLoginSuccessfulLabel) {
    if (!m_overlay)
        return;
    if (show)
        m_overlay->showOverlay(showLoginSuccessfulLabel);
    else
        m_overlay->hideOverlay();
}

bool SSOLoginWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get()) {
        if (event->type() == QEvent::Close && !m_abandoned)
            abandon();
        else if (event->type() == QEvent::Show && m_abandoned)
            restartAfterAbandon();
    }
    return QObject::eventFilter(watched, event);
}

// Whoever brings an abandoned window back (an icon click) gets a new sign-on, not a blank page.
void SSOLoginWindowController::restartAfterAbandon() {
    TLOG_INFO(QStringLiteral("Single sign-on window shown again: starting over"));
    if (!m_page)
        buildWebView();
    startExchange();
}

// Closing the window by hand abandons the exchange; the web view's memory goes at once.
void SSOLoginWindowController::abandon() {
    m_abandoned = true;
    TLOG_INFO(QStringLiteral("Single sign-on window closed before sign-in completed"));
    if (QNetworkReply* connection = m_connection.data()) {
        connection->disconnect(this);
        connection->abort();
        connection->deleteLater();
    }
    showOrHideOverlay(false, false);
    // Not inside the window's own close event.
    MainQueue::async(this, [this] {
        if (!m_abandoned)
            return; // shown again in the meantime
        releaseWebView();
        emit windowClosed();
    });
}

// --- Application token and auth request ---

void SSOLoginWindowController::ensureApplicationToken() {
    if (TamberDataModel::isPresent(TamberDataModel::sharedData()->app_access_token)) {
        sendAuthRequest();
        return;
    }
    renewApplicationTokenAndRetry();
}

void SSOLoginWindowController::renewApplicationTokenAndRetry() {
    m_applicationTokenRenewed = true;
    QPointer<SSOLoginWindowController> self(this);
    TamberDataModel::requestApplicationToken([self](bool obtained) {
        if (!self || self->m_abandoned)
            return;
        if (obtained && TamberDataModel::isPresent(TamberDataModel::sharedData()->app_access_token))
            self->sendAuthRequest();
        else
            self->failBeforePage(startFailedText());
    });
}

void SSOLoginWindowController::sendAuthRequest() {
    m_currentRequest = AuthRequest;
    QNetworkRequest request(QUrl(TamberDataModel::ssoAuthRequest()));
    startConnection(request, "POST", {}, &SSOLoginWindowController::handleAuthReply);
}

void SSOLoginWindowController::handleAuthReply(const ServiceReply& reply) {
    if (reply.error || reply.body.isEmpty()) {
        failBeforePage(describeFailure(reply, startFailedText()));
        return;
    }
    const QJsonValue url = QJsonDocument::fromJson(reply.body).object().value("idPLoginUrl");
    if (url.isString() && !url.toString().isEmpty()) {
        m_idpURLString = url.toString();
        startProbe();
        return;
    }
    // A refused application token (expired, revoked) is renewed once.
    if (!m_applicationTokenRenewed) {
        TLOG_INFO(QStringLiteral("Single sign-on request refused; renewing the application token"));
        renewApplicationTokenAndRetry();
        return;
    }
    failBeforePage(startFailedText());
}

void SSOLoginWindowController::startProbe() {
    m_currentRequest = IdentityProviderProbe;
    startConnection(QNetworkRequest(QUrl(m_idpURLString)), "GET", {},
                    &SSOLoginWindowController::handleProbeReply);
}

void SSOLoginWindowController::handleProbeReply(const ServiceReply& reply) {
    if (reply.error) {
        failBeforePage(tr("The sign-in page of your organization could not be reached: %1")
                           .arg(reply.error->description));
        return;
    }
    m_currentRequest = TokenRequest;
    MainQueue::async(this, [this] { loadIdentityProviderPage(); });
}

void SSOLoginWindowController::loadIdentityProviderPage() {
    if (!m_page || m_abandoned)
        return;
    m_assertionPosted = false;
    m_page->load(QUrl(m_idpURLString));
    m_webView->update();
}

// --- Navigation policy and the assertion post ---

bool SSOLoginWindowController::decideNavigation(const QUrl& url,
                                                QWebEnginePage::NavigationType type) {
    if (isOtherNavigation(type)) {
        showOrHideOverlay(false, false);
        return true;
    }
    TLOG_VERBOSE(QStringLiteral("\n\nuser navigating from: \n\t%1\nto:\n\t%2")
                     .arg(m_page->url().toString(), url.toString()));
    if (url.toString(QUrl::FullyEncoded) != assertionConsumerURL()) {
        showOrHideOverlay(false, false);
        return true;
    }
    TLOG_VERBOSE(QStringLiteral("Looks like request url was successful"));
    // The web view never posts the assertion itself: this window sends it, exactly once.
    if (!m_assertionPosted) {
        m_assertionPosted = true;
        showMessage(QString());
        showOrHideOverlay(true, true);
        takeAssertionForm(url, type);
    }
    return false;
}

void SSOLoginWindowController::takeAssertionForm(const QUrl& url,
                                                 QWebEnginePage::NavigationType type) {
    QPointer<SSOLoginWindowController> self(this);
    m_page->runJavaScript(
        SAMLFormCapture::readScript(), QWebEngineScript::MainWorld,
        [self, url, type](const QVariant& result) {
            if (!self || self->m_abandoned || !self->m_page)
                return;
            QNetworkRequest request(url);
            const std::optional<SAMLFormCapture::Form> form =
                SAMLFormCapture::formFromScriptResult(result);
            if (form && form->method == QLatin1String("post")) {
                request.setHeader(QNetworkRequest::ContentTypeHeader,
                                  QByteArrayLiteral("application/x-www-form-urlencoded"));
                self->sendTokenRequest(request, "POST", SAMLFormCapture::urlEncoded(form->fields));
            } else if (type == QWebEnginePage::NavigationTypeFormSubmitted) {
                // A form post whose fields were not noted cannot be sent again faithfully.
                TLOG_ERROR(QStringLiteral("Assertion form post without readable fields"));
                self->failAssertion(noTokenText());
            } else {
                self->sendTokenRequest(request, "GET", {});
            }
        });
}

void SSOLoginWindowController::sendTokenRequest(QNetworkRequest request, const QByteArray& verb,
                                                const QByteArray& body) {
    m_currentRequest = TokenRequest;
    startConnection(request, verb, body, &SSOLoginWindowController::handleTokenReply);
    TLOG_VERBOSE(
        QStringLiteral("Launching %1 %2").arg(QString::fromLatin1(verb), request.url().toString()));
}

void SSOLoginWindowController::handleTokenReply(const ServiceReply& reply) {
    showOrHideOverlay(false, false);
    if (reply.error) {
        failAssertion(tr("%1 Please sign in again.").arg(reply.error->description));
        return;
    }
    if (!SSOTokenReply::store(reply.body)) {
        TLOG_ERROR(QStringLiteral("Single sign-on token reply without an access token"));
        failAssertion(noTokenText());
        return;
    }
    m_tokenReply = reply.body;
    loadUserDetails();
}

// The sign-in counts once the account's details are in; until then the window stays, and a
// failure is shown here with a way to try again (the token is kept aside, not in the record).
void SSOLoginWindowController::loadUserDetails() {
    m_detailsPending = true;
    showMessage(QString());
    showOrHideOverlay(true, true);
    QPointer<SSOLoginWindowController> self(this);
    TamberDataModel::fetchAggregatedUserDetails(
        [self] {
            if (self) {
                self->m_detailsPending = false;
                self->finishSignIn();
            }
        },
        [self](const std::optional<ServiceError>& error) {
            if (self) {
                self->userDetailsFailed(error);
            }
        });
}

void SSOLoginWindowController::userDetailsFailed(const std::optional<ServiceError>& error) {
    m_detailsPending = false;
    TLOG_ERROR(QStringLiteral("error"));
    SignInCompletion::forgetUnconfirmedToken();
    showOrHideOverlay(false, false);
    showMessage(SignInCompletion::detailsNotLoadedMessage(error));
    m_retryButton->setVisible(true);
}

void SSOLoginWindowController::retryUserDetails() {
    if (m_detailsPending || !SSOTokenReply::store(m_tokenReply)) {
        return;
    }
    loadUserDetails();
}

void SSOLoginWindowController::finishSignIn() {
    TLOG_INFO(QStringLiteral("Single sign-on completed"));
    m_tokenReply.clear();
    m_window->removeEventFilter(this);
    m_window->close();
    releaseWebView();
    emit signInCompleted();
    // Observers may release this controller: nothing may follow the post.
    NotificationCenter::defaultCenter().post(QStringLiteral("SAML_CONFIG_SUCCESSFUL"));
}

void SSOLoginWindowController::failBeforePage(const QString& message) {
    showOrHideOverlay(false, false);
    showMessage(message);
}

// The identity provider's request is used up with its assertion: a new sign-in starts from a
// new auth request, and the user sees the identity provider's page again under the message.
void SSOLoginWindowController::failAssertion(const QString& message) {
    showMessage(message);
    m_assertionPosted = false;
    m_applicationTokenRenewed = false;
    showOrHideOverlay(true, false);
    ensureApplicationToken();
}

void SSOLoginWindowController::showMessage(const QString& message) {
    if (!m_ui)
        return;
    m_ui->messageLabel->setText(message);
    m_ui->messageLabel->setVisible(!message.isEmpty());
    m_retryButton->setVisible(false);
}

// --- Connections through the application's server trust ---

void SSOLoginWindowController::startConnection(QNetworkRequest request, const QByteArray& verb,
                                               const QByteArray& body, ReplyHandler handler) {
    if (m_abandoned)
        return;
    ServerTrust::configure(request);
    request.setTransferTimeout(ServiceCall::transferTimeoutMs());
    QNetworkReply* reply = ServerTrust::network().sendCustomRequest(request, verb, body);
    ServerTrust::attach(reply, QStringLiteral(" from SSO Login"));
    ServiceCall::watchReplySize(reply);
    m_connection = reply;
    connect(reply, &QNetworkReply::encrypted, this, [this, reply] {
        m_certificateTrust.noteVerified(reply->url(), reply->sslConfiguration().peerCertificate());
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, handler] {
        if (m_connection == reply)
            m_connection = nullptr;
        const ServiceReply result = ServiceCall::collect(reply);
        reply->deleteLater();
        (this->*handler)(result);
    });
}
