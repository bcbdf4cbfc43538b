#pragma once

#include <QWebEnginePage>
#include <functional>

class QWebEngineCertificateError;

// The page of the sign-on web view: hands each navigation to the window controller's policy and
// accepts a server certificate the browser engine does not know only when the application's own
// server trust accepts it.
class SSOWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using NavigationPolicy = std::function<bool(const QUrl& url, NavigationType type)>;
    using CertificatePolicy = std::function<bool(const QWebEngineCertificateError& error)>;

    explicit SSOWebPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    // Decides main-frame navigations; without a policy every navigation proceeds.
    void setNavigationPolicy(NavigationPolicy policy) { m_navigationPolicy = std::move(policy); }
    // Without a policy every certificate error is refused.
    void setCertificatePolicy(CertificatePolicy policy) { m_certificatePolicy = std::move(policy); }

signals:
    // The answer given to a certificate the browser engine refused on its own.
    void certificateDecided(const QUrl& url, bool accepted);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    void handleCertificateError(const QWebEngineCertificateError& error);

    NavigationPolicy m_navigationPolicy;
    CertificatePolicy m_certificatePolicy;
};
