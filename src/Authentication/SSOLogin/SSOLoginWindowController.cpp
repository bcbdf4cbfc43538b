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
#include "SSOHelperProcess.h"
#include "SSOTokenReply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSslConfiguration>

namespace P = SSOHelperProtocol;

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

QString endpointOf(const QUrl& url) {
    return QStringLiteral("https://%1:%2/").arg(url.host()).arg(url.port(443));
}

} // namespace

SSOLoginWindowController::SSOLoginWindowController(QObject* parent)
    : QObject(parent)
    , m_helper(new SSOHelperProcess(this)) {
    connect(m_helper, &SSOHelperProcess::assertionCaptured, this,
            &SSOLoginWindowController::takeAssertion);
    connect(m_helper, &SSOHelperProcess::retryRequested, this,
            &SSOLoginWindowController::retryUserDetails);
    connect(m_helper, &SSOHelperProcess::closedByUser, this, &SSOLoginWindowController::abandon);
    connect(m_helper, &SSOHelperProcess::failed, this, &SSOLoginWindowController::helperFailed);
}

SSOLoginWindowController::~SSOLoginWindowController() {
    TLOG_DEBUG(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
    stopExchange();
    // The window process goes with its controller (also when the application quits).
    m_helper->stop();
    delete m_failureNotice.data();
}

bool SSOLoginWindowController::isWindowOpen() const {
    return m_helper->isWindowOpen() || (m_failureNotice && m_failureNotice->isVisible());
}

void SSOLoginWindowController::raiseWindow() {
    if (m_failureNotice && m_failureNotice->isVisible()) {
        m_failureNotice->raise();
        m_failureNotice->activateWindow();
    } else {
        m_helper->send({{"do", P::kRaise}});
    }
}

QString SSOLoginWindowController::message() const {
    return m_helper->state().message;
}

QString SSOLoginWindowController::assertionConsumerURL() {
    return QStringLiteral("https://%1/sso/saml2/").arg(TamberDataModel::VLRdomain());
}

void SSOLoginWindowController::loadIDPURL() {
    if (m_started) {
        raiseWindow();
        return;
    }
    m_started = true;
    startExchange();
}

// The window process opens with its overlay shown while the service is asked.
void SSOLoginWindowController::startExchange() {
    dismissFailureNotice();
    m_assertionPosted = false;
    m_applicationTokenRenewed = false;
    m_idpURLString.clear();
    m_verifiedCertificates.clear();
    m_helper->start(assertionConsumerURL(), WindowPlacement::iconScreenArea());
    ensureApplicationToken();
}

// Nothing of a running exchange may answer later: the connection is dropped, and a token whose
// details never came is not the signed-in state.
void SSOLoginWindowController::stopExchange() {
    if (QNetworkReply* connection = m_connection.data()) {
        connection->disconnect(this);
        connection->abort();
        connection->deleteLater();
    }
    if (m_detailsPending) {
        m_detailsPending = false;
        SignInCompletion::forgetUnconfirmedToken();
    }
    m_tokenReply.clear();
}

// Closing the window by hand abandons the exchange; the web engine's memory went with its process.
void SSOLoginWindowController::abandon() {
    TLOG_INFO(QStringLiteral("Single sign-on window closed before sign-in completed"));
    stopExchange();
    emit windowClosed();
}

// The window process crashed or could not start: said in a notice of this process, which offers
// a new attempt.
void SSOLoginWindowController::helperFailed(const QString& problem) {
    stopExchange();
    dismissFailureNotice();
    auto* notice = new QMessageBox(QMessageBox::Warning, tr("Single sign-on failed"),
                                   tr("Single sign-on could not be completed."),
                                   QMessageBox::Retry | QMessageBox::Cancel);
    notice->setObjectName(QStringLiteral("ssoFailureNotice"));
    notice->setInformativeText(problem + u' ' + tr("Try again to sign in once more."));
    notice->setTextFormat(Qt::PlainText);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->button(QMessageBox::Retry)->setText(tr("Try again"));
    notice->button(QMessageBox::Retry)->setObjectName(QStringLiteral("retryButton"));
    m_failureNotice = notice;
    connect(notice, &QMessageBox::finished, this, [this, notice](int result) {
        if (m_failureNotice != notice)
            return;
        m_failureNotice = nullptr;
        if (result == QMessageBox::Retry)
            startExchange();
        else
            emit windowClosed();
    });
    WindowPlacement::centreOnIconScreen(notice);
    notice->show();
    notice->raise();
    notice->activateWindow();
}

void SSOLoginWindowController::dismissFailureNotice() {
    if (QMessageBox* notice = m_failureNotice.data()) {
        m_failureNotice = nullptr;
        notice->close();
    }
}

void SSOLoginWindowController::showOrHideOverlay(bool show, bool showLoginSuccessfulLabel) {
    m_helper->send({{"do", P::kOverlay}, {"show", show}, {"success", showLoginSuccessfulLabel}});
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
        if (!self || !self->m_helper->isRunning())
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

// The window's web engine keeps its own trust store: it is told which certificates this
// process's server trust accepted for the addresses of this exchange.
void SSOLoginWindowController::loadIdentityProviderPage() {
    if (!m_helper->isRunning())
        return;
    m_assertionPosted = false;
    QJsonArray trusted;
    for (auto it = m_verifiedCertificates.cbegin(); it != m_verifiedCertificates.cend(); ++it)
        trusted.append(QJsonObject{{"url", it.key()},
                                   {"certificate", QString::fromLatin1(it.value().toPem())}});
    m_helper->send({{"do", P::kLoad}, {"url", m_idpURLString}, {"trusted", trusted}});
}

// --- The assertion post ---

void SSOLoginWindowController::takeAssertion(const QString& url, const QString& verb,
                                             const QByteArray& body) {
    // Sent once per page, and only to the service's own consumer.
    if (m_assertionPosted || m_currentRequest != TokenRequest || url != assertionConsumerURL()) {
        TLOG_WARN(QStringLiteral("Assertion hand-over ignored"));
        return;
    }
    m_assertionPosted = true;
    showMessage(QString());
    showOrHideOverlay(true, true);
    QNetworkRequest request{QUrl(url)};
    if (verb == QLatin1String("POST")) {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        sendTokenRequest(request, "POST", body);
    } else if (verb == QLatin1String("GET")) {
        sendTokenRequest(request, "GET", {});
    } else {
        failAssertion(noTokenText());
    }
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
// failure is shown there with a way to try again (the token is kept aside, not in the record).
void SSOLoginWindowController::loadUserDetails() {
    m_detailsPending = true;
    showMessage(QString());
    showOrHideOverlay(true, true);
    QPointer<SSOLoginWindowController> self(this);
    TamberDataModel::fetchAggregatedUserDetails(
        [self] {
            if (self && self->m_detailsPending) {
                self->m_detailsPending = false;
                self->finishSignIn();
            }
        },
        [self](const std::optional<ServiceError>& error) {
            if (self && self->m_detailsPending)
                self->userDetailsFailed(error);
        });
}

void SSOLoginWindowController::userDetailsFailed(const std::optional<ServiceError>& error) {
    m_detailsPending = false;
    TLOG_ERROR(QStringLiteral("error"));
    SignInCompletion::forgetUnconfirmedToken();
    showOrHideOverlay(false, false);
    showMessage(SignInCompletion::detailsNotLoadedMessage(error), true);
}

void SSOLoginWindowController::retryUserDetails() {
    if (m_detailsPending || !SSOTokenReply::store(m_tokenReply))
        return;
    loadUserDetails();
}

void SSOLoginWindowController::finishSignIn() {
    TLOG_INFO(QStringLiteral("Single sign-on completed"));
    m_tokenReply.clear();
    m_helper->stop();
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
    m_applicationTokenRenewed = false;
    showOrHideOverlay(true, false);
    ensureApplicationToken();
}

void SSOLoginWindowController::showMessage(const QString& message, bool retry) {
    m_helper->send({{"do", P::kMessage}, {"text", message}, {"retry", retry}});
}

// --- Connections through the application's server trust ---

void SSOLoginWindowController::startConnection(QNetworkRequest request, const QByteArray& verb,
                                               const QByteArray& body, ReplyHandler handler) {
    if (!m_helper->isRunning())
        return;
    ServerTrust::configure(request);
    request.setTransferTimeout(ServiceCall::transferTimeoutMs());
    QNetworkReply* reply = ServerTrust::network().sendCustomRequest(request, verb, body);
    ServerTrust::attach(reply, QStringLiteral(" from SSO Login"));
    ServiceCall::watchReplySize(reply);
    m_connection = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, handler] {
        if (m_connection == reply)
            m_connection = nullptr;
        noteVerifiedCertificate(reply);
        const ServiceReply result = ServiceCall::collect(reply);
        reply->deleteLater();
        (this->*handler)(result);
    });
}

// Also for a reply over a kept-alive connection, which has no handshake of its own.
void SSOLoginWindowController::noteVerifiedCertificate(QNetworkReply* reply) {
    const QSslCertificate leaf = reply->sslConfiguration().peerCertificate();
    if (reply->error() != QNetworkReply::SslHandshakeFailedError && !leaf.isNull() &&
        reply->url().scheme() == QLatin1String("https"))
        m_verifiedCertificates.insert(endpointOf(reply->url()), leaf);
}
