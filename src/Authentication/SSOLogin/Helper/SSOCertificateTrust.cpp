#include "SSOCertificateTrust.h"

#include "Models/ServiceCall.h"
#include "Models/TrustAnchors.h"

QString SSOCertificateTrust::endpointKey(const QUrl& url) {
    return url.host().toLower() + u':' + QString::number(url.port(443));
}

void SSOCertificateTrust::noteVerified(const QUrl& url, const QSslCertificate& leaf) {
    if (!leaf.isNull() && url.scheme() == QLatin1String("https"))
        m_verified.insert(endpointKey(url), leaf);
}

bool SSOCertificateTrust::accepts(const QUrl& url, const QList<QSslCertificate>& chain) const {
    if (chain.isEmpty() || chain.first().isNull() || url.scheme() != QLatin1String("https"))
        return false;
    const auto verified = m_verified.constFind(endpointKey(url));
    if (verified != m_verified.cend() && *verified == chain.first())
        return true;
    return TrustAnchors::verifies(chain, url.host(), ServiceCall::trustedCaCertificates()) ||
           QSslCertificate::verify(chain, url.host()).isEmpty();
}
