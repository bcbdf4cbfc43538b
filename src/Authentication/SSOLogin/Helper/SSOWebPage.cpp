#include "SSOWebPage.h"

#include "Logging/Log.h"

#include <QWebEngineCertificateError>

SSOWebPage::SSOWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::certificateError, this, &SSOWebPage::handleCertificateError);
}

bool SSOWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (!isMainFrame || !m_navigationPolicy)
        return true;
    return m_navigationPolicy(url, type);
}

// An identity provider's console may print anything, assertions included: nothing is kept.
void SSOWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                          const QString&) {}

void SSOWebPage::handleCertificateError(const QWebEngineCertificateError& error) {
    QWebEngineCertificateError answer = error;
    if (error.isOverridable() && m_certificatePolicy && m_certificatePolicy(error)) {
        answer.acceptCertificate();
        emit certificateDecided(error.url(), true);
        return;
    }
    TLOG_WARN(QStringLiteral("Sign-on page certificate refused for %1: %2")
                  .arg(error.url().host(), error.description()));
    answer.rejectCertificate();
    emit certificateDecided(error.url(), false);
}
