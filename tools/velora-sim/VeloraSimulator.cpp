#include "VeloraSimulator.h"

#include "SimHttpServer.h"
#include "SimService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QMetaObject>
#include <QPointer>
#include <QSaveFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>

namespace {

QByteArray readResource(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("velora-sim: resource %s is missing", qPrintable(path));
    return f.readAll();
}

QByteArray methodName(QHttpServerRequest::Method m) {
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "UNKNOWN";
    }
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 415:
        return "Unsupported Media Type";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray head(const SimReply& reply, qint64 contentLength, bool close) {
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    if (!reply.contentType.isEmpty())
        out += "Content-Type: " + reply.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    return out + "\r\n";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// RecordedRequest, Fault

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QJsonObject RecordedRequest::jsonBody() const {
    return QJsonDocument::fromJson(body).object();
}

QMap<QString, QString> RecordedRequest::formBody() const {
    QMap<QString, QString> out;
    for (QByteArray pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        pair.replace('+', ' ');
        const int eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        out.insert(QUrl::fromPercentEncoding(key), QUrl::fromPercentEncoding(value));
    }
    return out;
}

Fault Fault::httpError(int status, const QJsonObject& body) {
    const QJsonObject doc =
        body.isEmpty() ? QJsonObject{{QStringLiteral("errorCode"), QStringLiteral("SERVER_ERROR")},
                                     {QStringLiteral("message"),
                                      QStringLiteral("The service failed to process the request")}}
                       : body;
    return httpErrorRaw(status, QJsonDocument(doc).toJson(QJsonDocument::Compact));
}

Fault Fault::httpErrorRaw(int status, const QByteArray& body) {
    Fault f;
    f.kind = Kind::HttpError;
    f.status = status;
    f.body = body;
    return f;
}

Fault Fault::garbage() {
    Fault f;
    f.kind = Kind::Garbage;
    f.status = 200;
    static const char noise[] = "<html><body>\x01\xff\xfe Proxy error }{ ][ ";
    f.body = QByteArray(noise, sizeof(noise) - 1) + QByteArray(64, '\0');
    return f;
}

Fault Fault::empty() {
    Fault f;
    f.kind = Kind::Empty;
    f.status = 200;
    return f;
}

Fault Fault::closeMidBody() {
    Fault f;
    f.kind = Kind::CloseMidBody;
    return f;
}

Fault Fault::delay(int ms) {
    Fault f;
    f.kind = Kind::Delay;
    f.delayMs = ms;
    return f;
}

Fault Fault::refuse() {
    Fault f;
    f.kind = Kind::Refuse;
    return f;
}

Fault Fault::times(int n) const {
    Fault f = *this;
    f.remaining = n;
    return f;
}

// ---------------------------------------------------------------------------------------------
// Certificates

QList<QSslCertificate> VeloraSimulator::caCertificates() {
    return QSslCertificate::fromData(readResource(QStringLiteral(":/velora-sim/certs/ca.pem")));
}

QList<QSslCertificate> VeloraSimulator::otherCaCertificates() {
    return QSslCertificate::fromData(
        readResource(QStringLiteral(":/velora-sim/certs/other-ca.pem")));
}

QString VeloraSimulator::caCertificatePath() {
    const QByteArray pem = readResource(QStringLiteral(":/velora-sim/certs/ca.pem"));
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(pem, QCryptographicHash::Sha256).toHex().left(16));
    const QString path = QDir::temp().filePath(QStringLiteral("velora-sim-ca-%1.pem").arg(hash));
    if (!QFile::exists(path)) {
        QSaveFile f(path); // atomic: parallel test processes may race here
        if (f.open(QIODevice::WriteOnly)) {
            f.write(pem);
            f.commit();
        }
    }
    return path;
}

void VeloraSimulator::trustTestCaForThisProcess() {
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(caCertificates());
    QSslConfiguration::setDefaultConfiguration(conf);
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

VeloraSimulator::VeloraSimulator(QObject* parent)
    : QObject(parent)
    , m_service(std::make_unique<SimService>()) {
    loadDefaultFixture();
}

VeloraSimulator::~VeloraSimulator() {
    stop();
}

QStringList VeloraSimulator::endpointNames() {
    return {Endpoint::Token,
            Endpoint::TokenInfo,
            Endpoint::Revoke,
            Endpoint::SecurityProfile,
            Endpoint::ProfilePicture,
            Endpoint::UpdateFeed,
            Endpoint::DownloadPage,
            Endpoint::CalendarFeed,
            Endpoint::User,
            Endpoint::Room,
            Endpoint::RoomUpdate,
            Endpoint::PersonalMeeting,
            Endpoint::Invitation,
            Endpoint::Meetings,
            Endpoint::CreateMeeting,
            Endpoint::ChangeMeeting,
            Endpoint::CancelMeeting,
            Endpoint::Contacts,
            Endpoint::Stats,
            Endpoint::LogUpload,
            Endpoint::SamlAuthRequest,
            Endpoint::IdpLogin,
            Endpoint::SamlConsumer};
}

void VeloraSimulator::setCertificateChain(CertificateChain chain) {
    m_chain = chain;
}

bool VeloraSimulator::start(quint16 port) {
    stop();
    const QString prefix =
        m_chain == CertificateChain::TestCa ? QStringLiteral("") : QStringLiteral("other-");
    const auto chain = QSslCertificate::fromData(
        readResource(QStringLiteral(":/velora-sim/certs/%1server.pem").arg(prefix)));
    const QSslKey key(readResource(QStringLiteral(":/velora-sim/certs/%1server.key").arg(prefix)),
                      QSsl::Rsa);
    QSslConfiguration conf;
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server = std::make_unique<SimHttpServer>(this);
    m_server->sslSetup(conf);
    m_port = m_server->listen(QHostAddress::LocalHost, port);
    if (m_port == 0) {
        m_server.reset();
        return false;
    }
    m_refusing = false;
    return true;
}

void VeloraSimulator::stop() {
    for (const auto& s : std::as_const(m_sockets)) {
        if (s)
            s->abort();
    }
    m_sockets.clear();
    m_server.reset();
    m_port = 0;
    m_refusing = false;
}

bool VeloraSimulator::isListening() const {
    if (!m_server)
        return false;
    const auto servers = m_server->servers();
    return std::any_of(servers.begin(), servers.end(),
                       [](QTcpServer* s) { return s->isListening(); });
}

quint16 VeloraSimulator::port() const {
    return m_port;
}

QString VeloraSimulator::apiHost() const {
    return QStringLiteral("localhost:%1").arg(m_port);
}

QString VeloraSimulator::baseUrl() const {
    return QStringLiteral("https://") + apiHost();
}

// ---------------------------------------------------------------------------------------------
// Fixture

bool VeloraSimulator::loadFixture(const QString& path, const QDateTime& now) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning("velora-sim: cannot read fixture %s", qPrintable(path));
        return false;
    }
    return loadFixtureJson(f.readAll(), now);
}

bool VeloraSimulator::loadFixtureJson(const QByteArray& json, const QDateTime& now) {
    // All or nothing: a broken fixture leaves the current state as it was.
    auto fresh = std::make_unique<SimService>();
    QString error;
    if (fresh->loadFixture(json, now, &error)) {
        m_service = std::move(fresh);
        return true;
    }
    qWarning("velora-sim: fixture rejected: %s", qPrintable(error));
    return false;
}

QByteArray VeloraSimulator::defaultFixtureJson() {
    return readResource(QStringLiteral(":/velora-sim/fixtures/default.json"));
}

void VeloraSimulator::loadDefaultFixture(const QDateTime& now) {
    if (!loadFixtureJson(defaultFixtureJson(), now))
        qFatal("velora-sim: the built-in fixture is broken");
}

// ---------------------------------------------------------------------------------------------
// Requests

RecordedRequest VeloraSimulator::record(const QHttpServerRequest& request) const {
    RecordedRequest r;
    r.method = methodName(request.method());
    const QUrl url = request.url();
    r.path = url.path(QUrl::FullyDecoded);
    r.target = url.path(QUrl::FullyEncoded).toUtf8();
    if (url.hasQuery())
        r.target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded))
        r.query.insert(key, value);
    r.headers = request.headers();
    r.body = request.body();
    r.receivedAt = QDateTime::currentDateTimeUtc();
    return r;
}

void VeloraSimulator::trackSocket(QTcpSocket* socket) {
    m_sockets.removeAll(nullptr);
    for (const auto& s : std::as_const(m_sockets)) {
        if (s == socket)
            return;
    }
    m_sockets.append(socket);
}

bool VeloraSimulator::takeFault(const QString& endpoint, Fault* out) {
    for (const QString& key : {endpoint, QString::fromLatin1(Endpoint::Any)}) {
        auto it = m_faults.find(key);
        if (it == m_faults.end())
            continue;
        *out = *it;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

bool VeloraSimulator::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    RecordedRequest rec = record(request);
    rec.endpoint =
        SimService::endpointFor(rec.method, QString::fromUtf8(rec.target.split('?').first()));
    m_requests.append(rec);
    trackSocket(socket);

    Fault fault;
    const bool faulted = takeFault(rec.endpoint, &fault);
    if (faulted && fault.kind == Fault::Kind::Refuse) {
        // Reset after the parser is done with this socket.
        QMetaObject::invokeMethod(socket, &QAbstractSocket::abort, Qt::QueuedConnection);
        emit requestReceived(rec);
        return true;
    }

    SimReply reply;
    if (faulted && (fault.kind == Fault::Kind::HttpError || fault.kind == Fault::Kind::Garbage ||
                    fault.kind == Fault::Kind::Empty)) {
        reply = SimReply{fault.status, "application/json", fault.body};
    } else {
        const QByteArray host = rec.header("host");
        const QString base =
            host.isEmpty() ? baseUrl() : QStringLiteral("https://") + QString::fromUtf8(host);
        reply = m_service->handle(rec.endpoint, rec, base);
    }

    const bool midBody = faulted && fault.kind == Fault::Kind::CloseMidBody;
    const bool close = midBody || rec.header("connection").toLower() == "close";
    QByteArray bytes;
    if (midBody && reply.body.isEmpty()) {
        // A 204 has no body to cut short; answer with one so the client sees the cut.
        reply = SimReply::json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
    }
    if (midBody) {
        // Announce the whole body, send half of it, hang up.
        bytes = head(reply, qMax<qint64>(reply.body.size(), 64), true) +
                reply.body.left(reply.body.size() / 2);
    } else {
        bytes = head(reply, reply.body.size(), close) + reply.body;
    }
    QPointer<QTcpSocket> guard(socket);
    auto send = [guard, bytes, close]() {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState)
            return; // the client gave up meanwhile
        guard->write(bytes);
        if (close)
            guard->disconnectFromHost();
    };
    // Any fault reply may be made late (a refusal that arrives after the client gave up).
    if (faulted && fault.delayMs > 0)
        QTimer::singleShot(fault.delayMs, this, send);
    else
        send();
    emit requestReceived(rec);
    return true;
}

QList<RecordedRequest> VeloraSimulator::requests() const {
    return m_requests;
}

QList<RecordedRequest> VeloraSimulator::requests(const QString& endpoint) const {
    QList<RecordedRequest> out;
    for (const auto& r : m_requests) {
        if (r.endpoint == endpoint)
            out.append(r);
    }
    return out;
}

RecordedRequest VeloraSimulator::lastRequest(const QString& endpoint) const {
    for (auto it = m_requests.crbegin(); it != m_requests.crend(); ++it) {
        if (endpoint.isEmpty() || it->endpoint == endpoint)
            return *it;
    }
    return {};
}

int VeloraSimulator::requestCount(const QString& endpoint) const {
    return endpoint.isEmpty() ? int(m_requests.size()) : int(requests(endpoint).size());
}

void VeloraSimulator::clearRequests() {
    m_requests.clear();
}

// ---------------------------------------------------------------------------------------------
// Faults

bool VeloraSimulator::injectFault(const QString& endpoint, const Fault& fault) {
    const bool any = endpoint == QLatin1String(Endpoint::Any);
    if (!any && !endpointNames().contains(endpoint)) {
        qWarning("velora-sim: no endpoint named \"%s\"", qPrintable(endpoint));
        return false;
    }
    if (any && fault.kind == Fault::Kind::Refuse) {
        refuseServer();
        return true;
    }
    m_faults.insert(endpoint, fault);
    return true;
}

void VeloraSimulator::clearFault(const QString& endpoint) {
    m_faults.remove(endpoint);
    if (endpoint == QLatin1String(Endpoint::Any))
        resumeServer();
}

void VeloraSimulator::clearFaults() {
    m_faults.clear();
    resumeServer();
}

void VeloraSimulator::refuseServer() {
    if (!m_server)
        return;
    m_refusing = true;
    for (QTcpServer* s : m_server->servers())
        s->close();
    for (const auto& s : std::as_const(m_sockets)) {
        if (s)
            s->abort();
    }
    m_sockets.clear();
}

void VeloraSimulator::resumeServer() {
    if (!m_server || !m_refusing)
        return;
    m_refusing = false;
    for (QTcpServer* s : m_server->servers()) {
        if (!s->isListening() && !s->listen(QHostAddress::LocalHost, m_port))
            qWarning("velora-sim: cannot listen on port %u again", unsigned(m_port));
    }
}

// ---------------------------------------------------------------------------------------------
// Tokens and state

QList<IssuedToken> VeloraSimulator::issuedTokens() const {
    return m_service->tokens().all();
}

IssuedToken VeloraSimulator::tokenInfo(const QString& token) const {
    return m_service->tokens().find(token);
}

QString VeloraSimulator::issueUserToken(const QString& username) {
    const SimService::Account* a = m_service->accountByName(username);
    return a ? m_service->tokens().issueUser(a->userId, m_service->now()).token : QString();
}

QString VeloraSimulator::issueAppToken() {
    return m_service->tokens().issueApp(QString::fromLatin1(ClientId), m_service->now()).token;
}

void VeloraSimulator::expireToken(const QString& token) {
    m_service->tokens().expire(token, m_service->now());
}

void VeloraSimulator::expireAllUserTokens() {
    m_service->tokens().expireAll(QStringLiteral("user"), m_service->now());
}

void VeloraSimulator::expireAllAppTokens() {
    m_service->tokens().expireAll(QStringLiteral("app"), m_service->now());
}

void VeloraSimulator::setTokenLifetimeSeconds(int seconds) {
    m_service->tokens().setLifetimeSeconds(seconds);
}

QStringList VeloraSimulator::accountNames() const {
    QStringList out;
    for (const auto& a : m_service->accounts())
        out.append(a.username);
    return out;
}

QString VeloraSimulator::userIdOf(const QString& username) const {
    const SimService::Account* a = m_service->accountByName(username);
    return a ? a->userId : QString();
}

QJsonObject VeloraSimulator::account(const QString& username) const {
    const SimService::Account* a = m_service->accountByName(username);
    return a ? m_service->accountJson(*a) : QJsonObject{};
}

QJsonArray VeloraSimulator::meetings(const QString& userId) const {
    return m_service->meetings().list(userId, m_service->nowMs());
}

QJsonObject VeloraSimulator::meeting(const QString& userId, const QString& meetingId) const {
    return m_service->meetings().find(userId, meetingId, m_service->nowMs());
}

QJsonObject VeloraSimulator::room(const QString& userId) const {
    const SimService::Account* a = m_service->accountById(userId);
    return a ? a->room : QJsonObject{};
}

QJsonObject VeloraSimulator::personalMeeting(const QString& userId) const {
    const SimService::Account* a = m_service->accountById(userId);
    return a ? a->personalMeeting : QJsonObject{};
}

QJsonArray VeloraSimulator::contacts(const QString& userId) const {
    const SimService::Account* a = m_service->accountById(userId);
    return a ? a->contacts : QJsonArray{};
}

QJsonArray VeloraSimulator::statsEvents() const {
    return m_service->statsEvents();
}

QList<QJsonObject> VeloraSimulator::uploadedLogs() const {
    return m_service->uploadedLogs();
}

QList<QJsonObject> VeloraSimulator::cancellations() const {
    return m_service->cancellations();
}

void VeloraSimulator::setLatestRelease(const QString& version) {
    m_service->setLatestRelease(version);
}
