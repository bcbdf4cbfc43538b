#include "SimIdentityProvider.h"

#include <QDateTime>
#include <QUuid>

namespace {

QString newId() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

QString esc(const QString& s) {
    return s.toHtmlEscaped();
}

const char* kStyle = R"(<style>
body{font-family:"DejaVu Sans",sans-serif;background:#eef1f5;margin:0}
.card{width:340px;margin:60px auto;background:#fff;border-radius:8px;padding:28px 32px;
box-shadow:0 2px 10px rgba(0,0,0,.12)}
h1{font-size:20px;margin:0 0 4px}p.sub{color:#667;margin:0 0 20px;font-size:13px}
label{display:block;font-size:13px;margin:12px 0 4px;color:#334}
input,button{font-family:inherit}
input[type=text],input[type=password]{width:100%;box-sizing:border-box;padding:8px;
border:1px solid #c5ccd6;border-radius:4px;font-size:14px}
button{margin-top:20px;width:100%;padding:9px;border:0;border-radius:4px;background:#2b6cb0;
color:#fff;font-size:14px}.error{color:#b00020;font-size:13px;margin-top:12px}
</style>)";

} // namespace

void SimIdentityProvider::clear() {
    m_requests.clear();
    m_assertions.clear();
}

QString SimIdentityProvider::beginAuthRequest(const QString& enterpriseId, const QString& baseUrl) {
    const QString id = newId();
    const Request r{enterpriseId, newId()};
    m_requests.insert(id, r);
    return QStringLiteral("%1/idp/login?SAMLRequest=%2&RelayState=%3")
        .arg(baseUrl, id, r.relayState);
}

QString SimIdentityProvider::page(const QString& requestId, const QString& relayState,
                                  const QString& baseUrl, const QString& message,
                                  const QString& username) const {
    const QString enterprise = m_requests.value(requestId).enterpriseId;
    QString html =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                       "<title>%1 sign-in</title>%2</head><body><div class=\"card\">"
                       "<h1>%1</h1><p class=\"sub\">Sign in with your company account</p>"
                       "<form id=\"login\" method=\"post\" action=\"%3/idp/login\">"
                       "<label for=\"username\">User name</label>"
                       "<input type=\"text\" id=\"username\" name=\"username\" value=\"%4\" "
                       "autofocus>"
                       "<label for=\"password\">Password</label>"
                       "<input type=\"password\" id=\"password\" name=\"password\">"
                       "<input type=\"hidden\" name=\"SAMLRequest\" value=\"%5\">"
                       "<input type=\"hidden\" name=\"RelayState\" value=\"%6\">")
            .arg(esc(enterprise.isEmpty() ? QStringLiteral("Identity provider")
                                          : enterprise.toUpper() + QStringLiteral(" Identity")),
                 QString::fromLatin1(kStyle), esc(baseUrl), esc(username), esc(requestId),
                 esc(relayState));
    if (!message.isEmpty())
        html += QStringLiteral("<div class=\"error\" id=\"error\">%1</div>").arg(esc(message));
    html += QStringLiteral("<button type=\"submit\" id=\"signin\">Sign in</button>"
                           "</form></div></body></html>");
    return html;
}

SimReply SimIdentityProvider::loginPage(const QMap<QString, QString>& query,
                                        const QString& baseUrl) const {
    const QString id = query.value(QStringLiteral("SAMLRequest"));
    if (!m_requests.contains(id)) {
        return SimReply::html(QStringLiteral("<!DOCTYPE html><html><body><h1>Sign-in request "
                                             "unknown or expired</h1></body></html>"),
                              400);
    }
    return SimReply::html(
        page(id, query.value(QStringLiteral("RelayState")), baseUrl, QString(), QString()));
}

SimReply SimIdentityProvider::login(const QMap<QString, QString>& form, const QString& baseUrl,
                                    const CredentialCheck& check) {
    const QString id = form.value(QStringLiteral("SAMLRequest"));
    const QString relay = form.value(QStringLiteral("RelayState"));
    const auto request = m_requests.constFind(id);
    if (request == m_requests.constEnd())
        return loginPage({}, baseUrl);
    const QString username = form.value(QStringLiteral("username")).trimmed();
    const QString userId =
        check(request->enterpriseId, username, form.value(QStringLiteral("password")));
    if (userId.isEmpty()) {
        return SimReply::html(
            page(id, relay, baseUrl, QStringLiteral("Invalid user name or password."), username));
    }
    const QString consumer = baseUrl + QStringLiteral("/sso/saml2/");
    const QString xml =
        QStringLiteral("<samlp:Response xmlns:samlp=\"urn:oasis:names:tc:SAML:2.0:protocol\" "
                       "xmlns:saml=\"urn:oasis:names:tc:SAML:2.0:assertion\" ID=\"_%1\" "
                       "InResponseTo=\"%2\" IssueInstant=\"%3\" Destination=\"%4\">"
                       "<saml:Issuer>%5/idp</saml:Issuer><samlp:Status><samlp:StatusCode "
                       "Value=\"urn:oasis:names:tc:SAML:2.0:status:Success\"/></samlp:Status>"
                       "<saml:Assertion ID=\"_%6\"><saml:Subject><saml:NameID>%7</saml:NameID>"
                       "</saml:Subject></saml:Assertion></samlp:Response>")
            .arg(newId(), id, QDateTime::currentDateTimeUtc().toString(Qt::ISODate), esc(consumer),
                 esc(baseUrl), newId(), esc(username));
    // Standard base64 on purpose: its "+", "/" and "=" test the client's form encoding.
    const QString response = QString::fromLatin1(xml.toUtf8().toBase64());
    m_assertions.insert(response, Issued{userId, request->enterpriseId, relay, false});
    m_requests.remove(id);
    return SimReply::html(
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Signing in"
                       "</title></head><body onload=\"document.forms[0].submit()\">"
                       "<form id=\"saml\" method=\"post\" action=\"%1\">"
                       "<input type=\"hidden\" name=\"SAMLResponse\" value=\"%2\">"
                       "<input type=\"hidden\" name=\"RelayState\" value=\"%3\">"
                       "<noscript><button type=\"submit\">Continue</button></noscript>"
                       "</form></body></html>")
            .arg(esc(consumer), esc(response), esc(relay)));
}

SimIdentityProvider::Assertion SimIdentityProvider::consume(const QMap<QString, QString>& form) {
    Assertion a;
    auto it = m_assertions.find(form.value(QStringLiteral("SAMLResponse")));
    if (it == m_assertions.end()) {
        a.error = QStringLiteral("SAMLResponse is missing or was not issued by the IdP");
    } else if (it->used) {
        a.error = QStringLiteral("SAMLResponse has already been used");
    } else if (it->relayState != form.value(QStringLiteral("RelayState"))) {
        a.error = QStringLiteral("RelayState does not match the sign-in request");
    } else {
        it->used = true;
        a.ok = true;
        a.userId = it->userId;
        a.enterpriseId = it->enterpriseId;
    }
    return a;
}
