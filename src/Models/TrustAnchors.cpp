#include "Models/TrustAnchors.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StoreContextFree {
    void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

// Parsed afresh from DER so nothing depends on which TLS backend Qt loaded.
X509Ptr toX509(const QSslCertificate& certificate) {
    const QByteArray der = certificate.toDer();
    const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &data, der.size()));
}

bool setExpectedHost(X509_VERIFY_PARAM* param, const QString& hostName) {
    const QHostAddress address(hostName);
    if (!address.isNull())
        return X509_VERIFY_PARAM_set1_ip_asc(param, address.toString().toLatin1().constData());
    const QByteArray name = hostName.toLatin1();
    return !name.isEmpty() && X509_VERIFY_PARAM_set1_host(param, name.constData(), name.size());
}

} // namespace

bool TrustAnchors::verifies(const QList<QSslCertificate>& chain, const QString& hostName,
                            const QList<QSslCertificate>& anchors) {
    if (chain.isEmpty() || anchors.isEmpty())
        return false;
    const std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    const X509Ptr leaf = toX509(chain.first());
    const std::unique_ptr<STACK_OF(X509), StackFree> presented(sk_X509_new_null());
    if (!store || !leaf || !presented)
        return false;
    for (const QSslCertificate& anchor : anchors) {
        if (const X509Ptr x = toX509(anchor))
            X509_STORE_add_cert(store.get(), x.get());
    }
    for (qsizetype i = 1; i < chain.size(); ++i) {
        if (X509Ptr x = toX509(chain[i]); x && sk_X509_push(presented.get(), x.get()))
            (void)x.release();
    }
    const std::unique_ptr<X509_STORE_CTX, StoreContextFree> context(X509_STORE_CTX_new());
    if (!context || !X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), presented.get()))
        return false;
    X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_SSL_SERVER);
    if (!setExpectedHost(X509_STORE_CTX_get0_param(context.get()), hostName))
        return false;
    return X509_verify_cert(context.get()) == 1;
}

bool TrustAnchors::onlyUnknownIssuer(const QList<QSslError>& errors) {
    if (errors.isEmpty())
        return false;
    for (const QSslError& e : errors) {
        switch (e.error()) {
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::CertificateUntrusted:
            break;
        default:
            return false;
        }
    }
    return true;
}

bool TrustAnchors::acceptAnchored(QNetworkReply* reply, const QList<QSslError>& errors,
                                  const QList<QSslCertificate>& anchors) {
    if (!reply || anchors.isEmpty() || !onlyUnknownIssuer(errors))
        return false;
    const QNetworkRequest request = reply->request();
    const QString host =
        request.peerVerifyName().isEmpty() ? request.url().host() : request.peerVerifyName();
    if (!verifies(reply->sslConfiguration().peerCertificateChain(), host, anchors))
        return false;
    reply->ignoreSslErrors(errors);
    return true;
}
