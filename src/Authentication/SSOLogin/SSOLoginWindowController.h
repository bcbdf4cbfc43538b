#pragma once

#include "SSOHelperProtocol.h"

#include <QByteArray>
#include <QHash>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <optional>

class QNetworkReply;
class QNetworkRequest;
class SSOHelperProcess;
struct ServiceError;
struct ServiceReply;

// Single sign-on: asks the service where the enterprise identity provider's login page is,
// shows that page in the sign-on window (a process of its own, tamber-sso, so the web engine
// is loaded only now), receives from it the form post that hands the SAML assertion back to the
// service, sends that post itself, and stores the token of the service's reply. Posts
// "SAML_CONFIG_SUCCESSFUL" when the token and the user's details are in.
class SSOLoginWindowController : public QObject {
    Q_OBJECT
public:
    // Which connection is running (the state of the exchange).
    enum Request : int { AuthRequest = 0, IdentityProviderProbe = 1, TokenRequest = 2 };

    explicit SSOLoginWindowController(QObject* parent = nullptr);
    ~SSOLoginWindowController() override;

    // Shows the window and starts the exchange. A second call only brings the window forward.
    void loadIDPURL();
    // The sign-on window, or the notice that it failed, is on screen (or on its way).
    bool isWindowOpen() const;
    void raiseWindow();

    void showOrHideOverlay(bool show, bool showLoginSuccessfulLabel);

    int currentRequest() const { return m_currentRequest; }
    QString idpURLString() const { return m_idpURLString; }
    // The text shown above the page after a failure; empty while all is well.
    QString message() const;
    SSOHelperProcess* helper() const { return m_helper; }
    // The notice shown when the window process failed; null otherwise.
    QMessageBox* failureNotice() const { return m_failureNotice; }

    // "https://" + the web domain of the current API host + "/sso/saml2/".
    static QString assertionConsumerURL();

signals:
    // The user closed the window (or dismissed the failure notice): the exchange is abandoned
    // and the controller may be released.
    void windowClosed();
    // The token and the user details are in; "SAML_CONFIG_SUCCESSFUL" follows at once.
    void signInCompleted();

private:
    using ReplyHandler = void (SSOLoginWindowController::*)(const ServiceReply&);

    void startExchange();
    void stopExchange();
    void abandon();
    void helperFailed(const QString& problem);
    void dismissFailureNotice();

    void ensureApplicationToken();
    void sendAuthRequest();
    void handleAuthReply(const ServiceReply& reply);
    void renewApplicationTokenAndRetry();
    void startProbe();
    void handleProbeReply(const ServiceReply& reply);
    void loadIdentityProviderPage();

    void takeAssertion(const QString& url, const QString& verb, const QByteArray& body);
    void sendTokenRequest(QNetworkRequest request, const QByteArray& verb, const QByteArray& body);
    void handleTokenReply(const ServiceReply& reply);
    void loadUserDetails();
    void userDetailsFailed(const std::optional<ServiceError>& error);
    void retryUserDetails();
    void finishSignIn();
    void failBeforePage(const QString& message);
    void failAssertion(const QString& message);
    void showMessage(const QString& message, bool retry = false);

    void noteVerifiedCertificate(QNetworkReply* reply);
    void startConnection(QNetworkRequest request, const QByteArray& verb, const QByteArray& body,
                         ReplyHandler handler);

    SSOHelperProcess* m_helper = nullptr;
    QPointer<QMessageBox> m_failureNotice;
    QPointer<QNetworkReply> m_connection;
    int m_currentRequest = AuthRequest;
    QString m_idpURLString;
    // Leaf certificates the application's server trust accepted, by address ("host:port").
    QHash<QString, QSslCertificate> m_verifiedCertificates;
    bool m_started = false;
    bool m_applicationTokenRenewed = false;
    bool m_assertionPosted = false;
    // The token reply, kept while the user details are being loaded or may be tried again.
    QByteArray m_tokenReply;
    bool m_detailsPending = false;
};
