#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <memory>

class QHttpServerRequest;
class QTcpSocket;
class SimHttpServer;
class SimService;

// One request as the simulator received it.
struct RecordedRequest {
    QString endpoint;  // one of the VeloraSimulator::Endpoint names; empty when nothing matched
    QByteArray method; // "GET", "POST", "PUT", "DELETE", ...
    QString path;      // percent-decoded path, e.g. "/ridgeapi/v1/user/1001/room/"
    QByteArray target; // path and query exactly as they arrived on the wire (still encoded)
    QMap<QString, QString> query;                 // fully decoded query values ("+" stays "+")
    QList<QPair<QByteArray, QByteArray>> headers; // as received
    QByteArray body;
    QDateTime receivedAt;

    // Case-insensitive header lookup; empty when absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
    QString queryValue(const QString& key) const { return query.value(key); }
    bool hasQuery(const QString& key) const { return query.contains(key); }
    // The body parsed as a JSON object (empty when it is not one).
    QJsonObject jsonBody() const;
    // The body parsed as an application/x-www-form-urlencoded form.
    QMap<QString, QString> formBody() const;
};

// A fault the simulator injects instead of (or around) an endpoint's normal reply.
struct Fault {
    enum class Kind {
        HttpError,    // reply with `status` and `body` (a JSON error document by default)
        Garbage,      // 200 with a body that is not JSON
        Empty,        // 200 with an empty body
        CloseMidBody, // headers announce the full length, half the body is sent, then the
                      // connection is closed
        Delay,        // the normal reply, sent `delayMs` later (the state change happens at once)
        Refuse,       // endpoint: the connection is reset without any reply (Qt's client may
                      // resend once on a new connection, so it can be recorded twice);
                      // "*": the server stops listening and drops open connections, so
                      // new connections are refused until clearFaults() (the client reports
                      // -1004, "Could not connect to the server.")
    };

    Kind kind = Kind::HttpError;
    int status = 500;
    QByteArray body;
    int delayMs = 0;    // Delay, or any other kind set by hand: the reply is sent this late
    int remaining = -1; // how many requests the fault still applies to; -1 = until cleared

    static Fault httpError(int status, const QJsonObject& body = {});
    static Fault httpErrorRaw(int status, const QByteArray& body);
    // Any status with any body (wrong JSON types, huge or deeply nested documents, ...).
    static Fault replyWith(int status, const QByteArray& body) {
        return httpErrorRaw(status, body);
    }
    static Fault garbage();
    static Fault empty();
    static Fault closeMidBody();
    static Fault delay(int ms);
    static Fault refuse();
    // Limits the fault to the next n matching requests.
    Fault times(int n) const;
};

// A token the simulator has issued.
struct IssuedToken {
    QString token;
    QString kind;     // "app" (client credentials) or "user" (password grant or single sign-on)
    QString userId;   // empty for application tokens
    QString clientId; // empty for user tokens
    QDateTime expiresAt;
    bool revoked = false;
    bool isValid(const QDateTime& now) const { return !revoked && now < expiresAt; }
};

// The local Velora meeting service: real HTTPS on 127.0.0.1 (certificate signed by a test CA
// generated at build time), every endpoint the client uses, state in memory seeded from a JSON
// fixture, request recording and fault injection. Lives on the thread that created it.
//
// Endpoint names (for injectFault and RecordedRequest::endpoint):
//   "token"            POST   /oauth2/token                      (both grants)
//   "tokenInfo"        GET    /oauth2/tokenInfo?access_token=
//   "revoke"           DELETE /oauth2/token?access_token=
//   "securityProfile"  GET    /ridgeapi/v1/user/security_profile?access_token=&user=
//   "user"             GET    /ridgeapi/v1/user/{id}
//   "room"             GET    /ridgeapi/v1/user/{id}/room/
//   "roomUpdate"       PUT    /ridgeapi/v1/user/{id}/room/
//   "personalMeeting"  GET    /ridgeapi/v1/user/{id}/personal_meeting/
//   "invitation"       GET    /v1/user/{id}/scheduled_meeting/{pmId}/emails
//   "meetings"         GET    /v1/user/{id}/scheduled_meeting
//   "createMeeting"    POST   /ridgeapi/v1/user/{id}/scheduled_meeting/?email=true
//   "changeMeeting"    PUT    /ridgeapi/v1/user/{id}/scheduled_meeting/{mid}?email=true
//   "cancelMeeting"    DELETE /ridgeapi/v1/user/{id}/scheduled_meeting/{mid}?cancellationMessage=
//                             [&originalStart=&originalEnd=]&email=true
//   "contacts"         GET    /ridgeapi/v1/user/{id}/contact
//   "stats"            POST   /ridgeapi/v1/quokkastats/app/{app}?access_token=&sid=
//   "logUpload"        PUT    /put-handler.php?type=&timestamp=&filename=&email=
//   "profilePicture"   GET    /z1/webapp-assets/{path}            (a non-square PNG)
//   "updateFeed"       GET    /tamber/appcast.xml                 (appcast of the releases)
//   "downloadPage"     GET    /download/tamber
//   "calendarFeed"     GET    /calendars/{name}                  (iCalendar feeds,
//   SimCalendarFeeds) "samlAuthRequest"  POST
//   /sso/saml2/auth_request?enterprise=&mode=token_request&access_token= "idpLogin"         GET
//   /idp/login (login form), POST /idp/login (credentials; answers
//                             with a form that posts SAMLResponse + RelayState by itself)
//   "samlConsumer"     POST   /sso/saml2/                        (form: SAMLResponse, RelayState)
//   "*"                every endpoint (for faults)
//
// Bearer tokens travel in the "access_token" query value. A missing, unknown, revoked or expired
// token gets 401 with {"errorCode": ..., "message": ...}; a user id in the path that is not the
// token's user gets 403.
class VeloraSimulator : public QObject {
    Q_OBJECT

public:
    struct Endpoint {
        static constexpr const char* Token = "token";
        static constexpr const char* TokenInfo = "tokenInfo";
        static constexpr const char* Revoke = "revoke";
        static constexpr const char* SecurityProfile = "securityProfile";
        static constexpr const char* User = "user";
        static constexpr const char* Room = "room";
        static constexpr const char* RoomUpdate = "roomUpdate";
        static constexpr const char* PersonalMeeting = "personalMeeting";
        static constexpr const char* Invitation = "invitation";
        static constexpr const char* Meetings = "meetings";
        static constexpr const char* CreateMeeting = "createMeeting";
        static constexpr const char* ChangeMeeting = "changeMeeting";
        static constexpr const char* CancelMeeting = "cancelMeeting";
        static constexpr const char* Contacts = "contacts";
        static constexpr const char* Stats = "stats";
        static constexpr const char* LogUpload = "logUpload";
        static constexpr const char* ProfilePicture = "profilePicture";
        static constexpr const char* UpdateFeed = "updateFeed";
        static constexpr const char* DownloadPage = "downloadPage";
        static constexpr const char* CalendarFeed = "calendarFeed";
        static constexpr const char* SamlAuthRequest = "samlAuthRequest";
        static constexpr const char* IdpLogin = "idpLogin";
        static constexpr const char* SamlConsumer = "samlConsumer";
        static constexpr const char* Any = "*";
    };
    static QStringList endpointNames(); // every name above except "*"

    // Which certificate chain the server presents. OtherCa is signed by a second CA that nothing
    // trusts (for server-trust tests).
    enum class CertificateChain { TestCa, OtherCa };

    // Fixture accounts of the default fixture.
    static constexpr const char* PasswordUser = "ada@example.com";
    static constexpr const char* PasswordUserPassword = "correct horse";
    static constexpr const char* SamlUser = "grace@acme.example";
    static constexpr const char* SamlUserIdpPassword = "idp secret";
    static constexpr const char* SamlEnterprise = "acme";
    static constexpr const char* FbUser = "linus@social.example";
    static constexpr const char* ClientId = "plumCode";
    static constexpr const char* ClientSecret = "plumPrivate";

    explicit VeloraSimulator(QObject* parent = nullptr); // loads the default fixture
    ~VeloraSimulator() override;

    // Listens on 127.0.0.1 with TLS. Port 0 picks a free port. False when listening failed.
    bool start(quint16 port = 0);
    void stop();
    bool isListening() const;
    quint16 port() const;
    QString apiHost() const;                          // "localhost:PORT"
    QString baseUrl() const;                          // "https://localhost:PORT"
    void setCertificateChain(CertificateChain chain); // before start()
    // API hosts for the two failures a server cannot cause itself: a name that never resolves
    // (the reserved ".invalid" domain: host not found, -1003), and a multicast address that no
    // TCP connection is routed to (the kernel answers "network unreachable", -1009).
    static QString unknownHost() { return QStringLiteral("velora-sim.invalid"); }
    QString unreachableHost() const { return QStringLiteral("224.0.0.1:%1").arg(port()); }

    // The CA that signs the server certificate (trust it, and only it, in tests).
    static QList<QSslCertificate> caCertificates();
    static QList<QSslCertificate> otherCaCertificates();
    // A PEM file holding the test CA (written on first use into the temp folder).
    static QString caCertificatePath();
    // Adds the test CA to QSslConfiguration::defaultConfiguration() of this process.
    static void trustTestCaForThisProcess();

    // Replaces all state. Times in the fixture are offsets from `now`. False on a broken file.
    bool loadFixture(const QString& path, const QDateTime& now = QDateTime::currentDateTimeUtc());
    bool loadFixtureJson(const QByteArray& json,
                         const QDateTime& now = QDateTime::currentDateTimeUtc());
    void loadDefaultFixture(const QDateTime& now = QDateTime::currentDateTimeUtc());
    static QByteArray defaultFixtureJson();

    // Recording.
    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QString& endpoint) const;
    RecordedRequest lastRequest(const QString& endpoint = {}) const; // empty struct when none
    int requestCount(const QString& endpoint = {}) const;
    void clearRequests();

    // Faults. False for an unknown endpoint name. A new fault replaces the endpoint's old one.
    bool injectFault(const QString& endpoint, const Fault& fault);
    void clearFault(const QString& endpoint);
    void clearFaults(); // also resumes listening after a server-wide Refuse

    // Tokens.
    QList<IssuedToken> issuedTokens() const;
    IssuedToken tokenInfo(const QString& token) const; // empty token when unknown
    QString issueUserToken(const QString& username);   // shortcut past the grant; empty if none
    QString issueAppToken();
    void expireToken(const QString& token);
    void expireAllUserTokens();
    void expireAllAppTokens();
    void setTokenLifetimeSeconds(int seconds);

    // State.
    QStringList accountNames() const;
    QString userIdOf(const QString& username) const;
    QJsonObject account(const QString& username) const; // fixture form, with current state
    QJsonArray meetings(const QString& userId) const;   // as the list endpoint answers
    QJsonObject meeting(const QString& userId, const QString& meetingId) const;
    QJsonObject room(const QString& userId) const;
    QJsonObject personalMeeting(const QString& userId) const;
    QJsonArray contacts(const QString& userId) const;
    QJsonArray statsEvents() const; // envelopes received by "stats", oldest first
    QList<QJsonObject>
    uploadedLogs() const; // {"filename","email","type","timestamp","size","body"}
    QList<QJsonObject> cancellations() const; // {"userId","meetingId","message","originalStart"}
    // The newest release the update feed lists ("1.1.0" unless set).
    void setLatestRelease(const QString& version);

signals:
    void requestReceived(const RecordedRequest& request);

private:
    friend class SimHttpServer;
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket);
    RecordedRequest record(const QHttpServerRequest& request) const;
    bool takeFault(const QString& endpoint, Fault* out);
    void refuseServer();
    void resumeServer();
    void trackSocket(QTcpSocket* socket);

    std::unique_ptr<SimService> m_service;
    std::unique_ptr<SimHttpServer> m_server;
    CertificateChain m_chain = CertificateChain::TestCa;
    quint16 m_port = 0;
    bool m_refusing = false;
    QList<RecordedRequest> m_requests;
    QHash<QString, Fault> m_faults;
    QList<QPointer<QTcpSocket>> m_sockets;
};
