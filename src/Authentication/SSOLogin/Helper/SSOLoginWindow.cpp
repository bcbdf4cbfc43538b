#include "SSOLoginWindow.h"

#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Logging/Log.h"
#include "Platform/BundleInfo.h"
#include "SAMLFormCapture.h"
#include "SSOConnectionBar.h"
#include "SSOOverlayView.h"
#include "SSOWebPage.h"
#include "ui_SSOLoginWindowController.h"

#include <QDir>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace P = SSOHelperProtocol;

namespace {

// WebKit's navigation type "other": loads started by code and redirects.
bool isOtherNavigation(QWebEnginePage::NavigationType type) {
    return type == QWebEnginePage::NavigationTypeTyped ||
           type == QWebEnginePage::NavigationTypeRedirect ||
           type == QWebEnginePage::NavigationTypeOther;
}

} // namespace

SSOLoginWindow::SSOLoginWindow(const QString& consumerUrl, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::SSOLoginWindowController>())
    , m_consumerUrl(consumerUrl) {
    m_ui->setupUi(this);
    setWindowTitle(tr("%1 \u2014 Sign In").arg(BundleInfo::appName()));
    m_connectionBar = new SSOConnectionBar(this);
    m_ui->contentLayout->insertWidget(0, m_connectionBar);
    buildMessageRow();
    m_overlay = new SSOOverlayView(this);
    setOverlay(true, false);
}

SSOLoginWindow::~SSOLoginWindow() {
    m_closing = true;
    delete m_webView.data();
    m_page.reset();
    m_profile.reset();
}

// The message band under the connection bar, with "Try again" beside the message when the
// account's details failed.
void SSOLoginWindow::buildMessageRow() {
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("messageRow"));
    row->setAttribute(Qt::WA_StyledBackground);
    row->setStyleSheet(QStringLiteral(
        "#messageRow { background: #fdecea; border-bottom: 1px solid #f3b7b0; }"
        "QLabel { background: transparent; color: #8a1c12; border: none; padding: 10px 14px; }"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 12, 0);
    m_ui->contentLayout->replaceWidget(m_ui->messageLabel, row);
    layout->addWidget(m_ui->messageLabel, 1);
    m_ui->messageLabel->setTextFormat(Qt::PlainText);
    m_retryButton = new QPushButton(tr("Try again"), row);
    m_retryButton->setObjectName(QStringLiteral("retryButton"));
    m_retryButton->setVisible(false);
    layout->addWidget(m_retryButton);
    row->setVisible(false);
    connect(m_retryButton, &QPushButton::clicked, this, [this] {
        emit sendEvent({{"event", P::kRetry}});
    });
}

void SSOLoginWindow::startWebEngine() {
    if (!m_page)
        buildWebView();
}

void SSOLoginWindow::buildWebView() {
    // No name: an off-the-record profile, so nothing of the sign-on stays on disk.
    m_profile = std::make_unique<QWebEngineProfile>();
    m_page = std::make_unique<SSOWebPage>(m_profile.get());
    QWebEngineScript capture;
    capture.setName(QStringLiteral("tamber-assertion-capture"));
    capture.setInjectionPoint(QWebEngineScript::DocumentCreation);
    capture.setWorldId(QWebEngineScript::MainWorld);
    capture.setRunsOnSubFrames(false);
    capture.setSourceCode(SAMLFormCapture::documentScript(m_consumerUrl));
    m_page->scripts().insert(capture);
    m_page->setNavigationPolicy([this](const QUrl& url, QWebEnginePage::NavigationType type) {
        return decideNavigation(url, type);
    });
    m_page->setCertificatePolicy([this](const QWebEngineCertificateError& error) {
        return m_certificateTrust.accepts(error.url(), error.certificateChain());
    });
    connect(m_page.get(), &SSOWebPage::certificateDecided, this, &SSOLoginWindow::noteCertificate);
    connect(m_page.get(), &QWebEnginePage::urlChanged, this, &SSOLoginWindow::updateConnectionBar);
    connect(m_page.get(), &QWebEnginePage::loadStarted, this, [this] { m_loadFailed = false; });
    connect(m_page.get(), &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_loadFailed = !ok;
        updateConnectionBar();
    });

    m_webView = new QWebEngineView(m_ui->webViewContainer);
    m_webView->setObjectName(QStringLiteral("webView"));
    m_webView->setPage(m_page.get());
    m_ui->webViewLayout->addWidget(m_webView);
    m_overlay->raise();
}

// --- Commands ---

void SSOLoginWindow::execute(const QJsonObject& command) {
    const QString name = command.value("do").toString();
    if (name == QLatin1String(P::kLoad))
        load(command);
    else if (name == QLatin1String(P::kOverlay))
        setOverlay(command.value("show").toBool(), command.value("success").toBool());
    else if (name == QLatin1String(P::kMessage))
        showMessage(command.value("text").toString(), command.value("retry").toBool());
    else if (name == QLatin1String(P::kRaise))
        bringForward();
    else if (name == QLatin1String(P::kEvaluate))
        evaluate(command);
    else if (name == QLatin1String(P::kSnapshot))
        snapshot(command);
    else if (name == QLatin1String(P::kPress))
        press(command.value("name").toString());
    publishState();
}

void SSOLoginWindow::load(const QJsonObject& command) {
    // Certificates the application's own server trust accepted for these addresses.
    for (const QJsonValue& entry : command.value("trusted").toArray()) {
        const QJsonObject trusted = entry.toObject();
        const QList<QSslCertificate> certificates = QSslCertificate::fromData(
            trusted.value("certificate").toString().toLatin1(), QSsl::Pem);
        if (!certificates.isEmpty())
            m_certificateTrust.noteVerified(QUrl(trusted.value("url").toString()),
                                            certificates.first());
    }
    m_assertionTaken = false;
    startWebEngine();
    m_page->load(QUrl(command.value("url").toString()));
    m_webView->update();
}

void SSOLoginWindow::setOverlay(bool show, bool successLabel) {
    if (show)
        m_overlay->showOverlay(successLabel);
    else
        m_overlay->hideOverlay();
}

void SSOLoginWindow::showMessage(const QString& text, bool retry) {
    m_ui->messageLabel->setText(text);
    m_ui->messageLabel->setVisible(!text.isEmpty());
    m_ui->messageLabel->parentWidget()->setVisible(!text.isEmpty());
    m_retryButton->setVisible(retry && !text.isEmpty());
}

void SSOLoginWindow::bringForward() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

bool SSOLoginWindow::testHooksAllowed() {
    return qEnvironmentVariable(P::kTestHooksVariable) == QLatin1String("1");
}

// Only for the tests, which fill in the identity provider's form this way.
void SSOLoginWindow::evaluate(const QJsonObject& command) {
    const QJsonValue id = command.value("id");
    if (!testHooksAllowed()) {
        emit sendEvent({{"event", P::kEvaluated}, {"id", id}, {"result", QJsonValue()}});
        return;
    }
    startWebEngine();
    QPointer<SSOLoginWindow> self(this);
    m_page->runJavaScript(command.value("script").toString(), QWebEngineScript::MainWorld,
                          [self, id](const QVariant& result) {
                              if (self && !self->m_closing)
                                  emit self->sendEvent(
                                      {{"event", P::kEvaluated},
                                       {"id", id},
                                       {"result", QJsonValue::fromVariant(result)}});
                          });
}

// Only for the tests: a click on one of this window's own buttons.
void SSOLoginWindow::press(const QString& name) {
    if (!testHooksAllowed())
        return;
    if (auto* button = findChild<QPushButton*>(name); button && button->isVisible())
        button->click();
}

// Screenshots for the documentation: only into TAMBER_SCREENSHOT_DIR, only plain names.
void SSOLoginWindow::snapshot(const QJsonObject& command) {
    const QString dir = qEnvironmentVariable("TAMBER_SCREENSHOT_DIR");
    const QString name = command.value("name").toString();
    static const QRegularExpression plainName(QStringLiteral("^[a-z0-9-]+$"));
    if (!dir.isEmpty() && plainName.match(name).hasMatch())
        grab().save(QDir(dir).filePath(QStringLiteral("sso-%1.png").arg(name)));
    emit sendEvent({{"event", P::kSnapshotSaved}, {"name", name}});
}

// --- Navigation policy and the assertion form ---

bool SSOLoginWindow::decideNavigation(const QUrl& url, QWebEnginePage::NavigationType type) {
    if (isOtherNavigation(type)) {
        setOverlay(false, false);
        publishState();
        return true;
    }
    TLOG_VERBOSE(QStringLiteral("\n\nuser navigating from: \n\t%1\nto:\n\t%2")
                     .arg(m_page->url().toString(), url.toString()));
    if (url.toString(QUrl::FullyEncoded) != m_consumerUrl) {
        setOverlay(false, false);
        publishState();
        return true;
    }
    TLOG_VERBOSE(QStringLiteral("Looks like request url was successful"));
    // The web view never posts the assertion itself: the application sends it, exactly once.
    if (!m_assertionTaken) {
        m_assertionTaken = true;
        showMessage(QString(), false);
        setOverlay(true, true);
        publishState();
        takeAssertionForm(url, type);
    }
    return false;
}

void SSOLoginWindow::takeAssertionForm(const QUrl& url, QWebEnginePage::NavigationType type) {
    QPointer<SSOLoginWindow> self(this);
    m_page->runJavaScript(
        SAMLFormCapture::readScript(), QWebEngineScript::MainWorld,
        [self, url, type](const QVariant& result) {
            if (!self || self->m_closing)
                return;
            const std::optional<SAMLFormCapture::Form> form =
                SAMLFormCapture::formFromScriptResult(result);
            if (form && form->method == QLatin1String("post")) {
                self->handAssertion(url, QStringLiteral("POST"),
                                    SAMLFormCapture::urlEncoded(form->fields));
            } else if (type == QWebEnginePage::NavigationTypeFormSubmitted) {
                // A form post whose fields were not noted cannot be sent again faithfully.
                TLOG_ERROR(QStringLiteral("Assertion form post without readable fields"));
                self->handAssertion(url, QString(), {});
            } else {
                self->handAssertion(url, QStringLiteral("GET"), {});
            }
        });
}

void SSOLoginWindow::handAssertion(const QUrl& url, const QString& verb, const QByteArray& body) {
    emit sendEvent({{"event", P::kAssertion},
                    {"url", url.toString(QUrl::FullyEncoded)},
                    {"verb", verb},
                    {"body", QString::fromLatin1(body)}});
}

// --- What the connection bar and the application see ---

void SSOLoginWindow::noteCertificate(const QUrl& url, bool accepted) {
    const QString endpoint = SSOCertificateTrust::endpointKey(url);
    if (accepted)
        m_refusedEndpoints.remove(endpoint);
    else
        m_refusedEndpoints.insert(endpoint);
    updateConnectionBar();
}

// Verified: an https page that loaded, over a certificate that the browser engine or the
// application's own server trust accepted.
void SSOLoginWindow::updateConnectionBar() {
    const QUrl url = m_page ? m_page->url() : QUrl();
    const bool verified = url.scheme() == QLatin1String("https") && !m_loadFailed &&
                          !m_refusedEndpoints.contains(SSOCertificateTrust::endpointKey(url));
    m_connectionBar->showPage(url.host(), verified);
    publishState();
}

void SSOLoginWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    publishState();
}

void SSOLoginWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    publishState();
}

void SSOLoginWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        publishState();
}

void SSOLoginWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    publishState();
}

SSOWindowState SSOLoginWindow::state() const {
    SSOWindowState state;
    state.visible = isVisible();
    state.overlay = m_overlay && !m_overlay->isHidden();
    state.successLabel = m_overlay && !m_overlay->loginSuccessfulLabel()->isHidden();
    state.spinning = m_overlay && m_overlay->spinner()->isAnimating();
    state.retry = m_retryButton && !m_retryButton->isHidden();
    state.message = m_ui->messageLabel->isHidden() ? QString() : m_ui->messageLabel->text();
    state.host = m_connectionBar ? m_connectionBar->host() : QString();
    state.verified = m_connectionBar && m_connectionBar->verified();
    state.active = isActiveWindow();
    state.windowId = isVisible() ? qint64(winId()) : 0;
    state.frame = frameGeometry();
    return state;
}

void SSOLoginWindow::publishState() {
    if (m_closing || !m_overlay)
        return;
    const SSOWindowState current = state();
    if (current == m_published)
        return;
    m_published = current;
    emit sendEvent(current.toJson());
}
