#pragma once

#include "SSOCertificateTrust.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWebEnginePage>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QNetworkReply;
class QNetworkRequest;
class QPushButton;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;
class SSOOverlayView;
class SSOWebPage;
struct ServiceError;
struct ServiceReply;
namespace Ui {
class SSOLoginWindowController;
}

// The single sign-on window: asks the service where the enterprise identity provider's login
// page is, shows that page in a web view of its own (an off-the-record profile, created for
// this sign-on and released after it), notices the form post that hands the SAML assertion
// back to the service, sends that post itself, and stores the token of the service's reply.
// Posts "SAML_CONFIG_SUCCESSFUL" when the token is stored.
class SSOLoginWindowController : public QObject {
    Q_OBJECT
public:
    // Which connection is running (the state of the exchange).
    enum Request : int { AuthRequest = 0, IdentityProviderProbe = 1, TokenRequest = 2 };

    explicit SSOLoginWindowController(QObject* parent = nullptr);
    ~SSOLoginWindowController() override;

    // Shows the window and starts the exchange. A second call only brings the window forward.
    void loadIDPURL();
    QWidget* window() const;

    void showOrHideOverlay(bool show, bool showLoginSuccessfulLabel);

    int currentRequest() const { return m_currentRequest; }
    QString idpURLString() const { return m_idpURLString; }
    QWebEngineView* webView() const;
    // The text shown above the page after a failure; empty while all is well.
    QString message() const;

    // "https://" + the web domain of the current API host + "/sso/saml2/".
    static QString assertionConsumerURL();

signals:
    // The user closed the window: the exchange is abandoned and the controller may be released.
    // Showing the window again starts a new exchange.
    void windowClosed();
    // The token and the user details are in; "SAML_CONFIG_SUCCESSFUL" follows at once.
    void signInCompleted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using ReplyHandler = void (SSOLoginWindowController::*)(const ServiceReply&);

    void buildWindow();
    void buildMessageRow();
    void buildWebView();
    void startExchange();
    void restartAfterAbandon();
    void releaseWebView();
    void abandon();

    void ensureApplicationToken();
    void sendAuthRequest();
    void handleAuthReply(const ServiceReply& reply);
    void renewApplicationTokenAndRetry();
    void startProbe();
    void handleProbeReply(const ServiceReply& reply);
    void loadIdentityProviderPage();

    bool decideNavigation(const QUrl& url, QWebEnginePage::NavigationType type);
    void takeAssertionForm(const QUrl& url, QWebEnginePage::NavigationType type);
    void sendTokenRequest(QNetworkRequest request, const QByteArray& verb, const QByteArray& body);
    void handleTokenReply(const ServiceReply& reply);
    void loadUserDetails();
    void userDetailsFailed(const std::optional<ServiceError>& error);
    void retryUserDetails();
    void finishSignIn();
    void failBeforePage(const QString& message);
    void failAssertion(const QString& message);
    void showMessage(const QString& message);

    void startConnection(QNetworkRequest request, const QByteArray& verb, const QByteArray& body,
                         ReplyHandler handler);

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<Ui::SSOLoginWindowController> m_ui;
    SSOOverlayView* m_overlay = nullptr;
    QPushButton* m_retryButton = nullptr;
    // The page is deleted before its profile, the view before its page.
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<SSOWebPage> m_page;
    QPointer<QWebEngineView> m_webView;

    QPointer<QNetworkReply> m_connection;
    int m_currentRequest = AuthRequest;
    QString m_idpURLString;
    SSOCertificateTrust m_certificateTrust;
    bool m_started = false;
    bool m_applicationTokenRenewed = false;
    bool m_assertionPosted = false;
    bool m_abandoned = false;
    // The token reply, kept while the user details are being loaded or may be tried again.
    QByteArray m_tokenReply;
    bool m_detailsPending = false;
};
