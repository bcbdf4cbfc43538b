#pragma once

#include "Authentication/SSOLogin/SSOHelperProtocol.h"
#include "SSOCertificateTrust.h"

#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QWebEnginePage>
#include <QWidget>
#include <memory>

class QPushButton;
class QWebEngineProfile;
class QWebEngineView;
class SSOConnectionBar;
class SSOOverlayView;
class SSOWebPage;
namespace Ui {
class SSOLoginWindowController;
}

// The single sign-on window of the tamber-sso process: shows the identity provider's pages in a
// web view of its own (an off-the-record profile), notices the form post that hands the SAML
// assertion back to the service, stops it and hands it to the application, which sends it. The
// overlay, the message row and "Try again" follow the application's commands.
class SSOLoginWindow : public QWidget {
    Q_OBJECT
public:
    // `consumerUrl`: the assertion-consumer address whose form post is taken.
    explicit SSOLoginWindow(const QString& consumerUrl, QWidget* parent = nullptr);
    ~SSOLoginWindow() override;

    // Creates the web view (the slow part of the start); done by itself before the first page.
    void startWebEngine();
    // One command of the application (SSOHelperProtocol).
    void execute(const QJsonObject& command);
    SSOWindowState state() const;

signals:
    // An event for the application (SSOHelperProtocol).
    void sendEvent(const QJsonObject& event);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void buildMessageRow();
    void buildWebView();
    void load(const QJsonObject& command);
    void setOverlay(bool show, bool successLabel);
    void showMessage(const QString& text, bool retry);
    void bringForward();
    void evaluate(const QJsonObject& command);
    void snapshot(const QJsonObject& command);
    void press(const QString& name);
    static bool testHooksAllowed();

    bool decideNavigation(const QUrl& url, QWebEnginePage::NavigationType type);
    void takeAssertionForm(const QUrl& url, QWebEnginePage::NavigationType type);
    void handAssertion(const QUrl& url, const QString& verb, const QByteArray& body);
    void noteCertificate(const QUrl& url, bool accepted);
    void updateConnectionBar();
    void publishState();

    std::unique_ptr<Ui::SSOLoginWindowController> m_ui;
    QString m_consumerUrl;
    SSOOverlayView* m_overlay = nullptr;
    QPushButton* m_retryButton = nullptr;
    SSOConnectionBar* m_connectionBar = nullptr;
    // The page is deleted before its profile, the view before its page.
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<SSOWebPage> m_page;
    QPointer<QWebEngineView> m_webView;
    SSOCertificateTrust m_certificateTrust;
    QSet<QString> m_refusedEndpoints;
    bool m_loadFailed = false;
    bool m_assertionTaken = false;
    bool m_closing = false;
    SSOWindowState m_published;
};
