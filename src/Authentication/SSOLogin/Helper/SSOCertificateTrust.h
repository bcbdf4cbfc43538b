#pragma once

#include <QHash>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QUrl>

// Decides which server certificates the sign-on web view may accept although the browser
// engine, which keeps its own trust store, refused them: the certificate that the application's
// server trust accepted in a real handshake with the same host and port during this sign-on,
// or a chain that verifies for the host against the CAs this process trusts.
class SSOCertificateTrust {
public:
    // The leaf certificate a server-trusted connection to `url` presented.
    void noteVerified(const QUrl& url, const QSslCertificate& leaf);
    bool accepts(const QUrl& url, const QList<QSslCertificate>& chain) const;
    // "host:port" of an address (443 when it names none).
    static QString endpointKey(const QUrl& url);

private:
    QHash<QString, QSslCertificate> m_verified;
};
