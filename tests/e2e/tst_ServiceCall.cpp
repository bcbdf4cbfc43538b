// The call convention itself: transport failures mapped to the "NSURLErrorDomain" codes, HTTP
// answers of any status delivered as replies, callbacks on the main thread, and SSL_CERT_FILE.
#include "LogSpy.h"
#include "Logging/Log.h"
#include "Models/ServiceCall.h"
#include "TestEnvironment.h"
#include "VeloraSimulator.h"

#include <QFile>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

namespace {

// A plain TCP peer that misbehaves on purpose.
class RawServer : public QTcpServer {
public:
    enum class Mode { Silent, CloseAtOnce, HalfBody, Answer, AnswerAtOnce };
    Mode mode = Mode::Answer;
    QByteArray answer;
    QByteArray received;

    RawServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, s, [this, s] { onData(s); });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString url(const QString& scheme = QStringLiteral("http")) const {
        return QStringLiteral("%1://127.0.0.1:%2/x").arg(scheme).arg(serverPort());
    }

private:
    void onData(QTcpSocket* s) {
        received += s->readAll();
        const bool atOnce = mode == Mode::CloseAtOnce || mode == Mode::AnswerAtOnce;
        if (!received.contains("\r\n\r\n") && !atOnce)
            return;
        switch (mode) {
        case Mode::Silent:
            return;
        case Mode::CloseAtOnce:
            s->abort();
            return;
        case Mode::HalfBody:
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"access_tok");
            s->flush();
            s->disconnectFromHost();
            return;
        case Mode::Answer:
        case Mode::AnswerAtOnce:
            s->write(answer);
            s->disconnectFromHost();
            return;
        }
    }
};

std::optional<ServiceReply> call(const ServiceCall::Request& request) {
    std::optional<ServiceReply> reply;
    ServiceCall::send(request, [&reply](const ServiceReply& r) { reply = r; });
    // A reply that never comes stays empty, which the caller asserts on.
    (void)QTest::qWaitFor([&] { return reply.has_value(); }, 20000);
    return reply;
}

std::optional<ServiceReply> get(const QString& url) {
    ServiceCall::Request request;
    request.url = url;
    return call(request);
}

} // namespace

class tst_ServiceCall : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void failures_data();
    void failures();
    void oversizedRepliesRefused_data();
    void oversizedRepliesRefused();
    void httpAnswersAreReplies();
    void callbackOnMainThreadAfterSend();
    void sslCertFileHonoured();
};

void tst_ServiceCall::failures_data() {
    QTest::addColumn<int>("mode");    // a RawServer::Mode, or -1 for no server
    QTest::addColumn<QString>("url"); // the scheme to reach the server with, or the address
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description"); // empty: not checked
    QTest::addColumn<int>("status");
    using M = RawServer::Mode;
    QTest::newRow("closed at once") << int(M::CloseAtOnce) << "http" << -1005 << QString() << 0;
    QTest::newRow("half a body") << int(M::HalfBody) << "http" << -1005
                                 << "The network connection was lost." << 200;
    QTest::newRow("silent") << int(M::Silent) << "http" << -1001 << "The request timed out." << 0;
    QTest::newRow("plain where TLS was expected")
        << int(M::AnswerAtOnce) << "https" << int(ServiceCall::SecureConnectionFailed) << QString()
        << 0;
    QTest::newRow("unsupported scheme")
        << -1 << "gopher://127.0.0.1/" << int(ServiceCall::UnsupportedURL) << QString() << 0;
    RawServer closed; // a port nobody listens on any more
    const QString refused = closed.url(QStringLiteral("https"));
    closed.close();
    QTest::newRow("refused") << -1 << refused << -1004 << "Could not connect to the server." << 0;
    QTest::newRow("unknown host")
        << -1 << QStringLiteral("https://%1/x").arg(VeloraSimulator::unknownHost()) << -1003
        << "A server with the specified hostname could not be found." << 0;
    QTest::newRow("no route") << -1 << "https://224.0.0.1:443/x" << -1009
                              << "The Internet connection appears to be offline." << 0;
}

void tst_ServiceCall::failures() {
    QFETCH(int, mode);
    QFETCH(QString, url);
    QFETCH(int, code);
    QFETCH(QString, description);
    QFETCH(int, status);
    RawServer server;
    server.mode = RawServer::Mode(qMax(mode, 0));
    server.answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
    const bool silent = mode == int(RawServer::Mode::Silent);
    if (silent)
        ServiceCall::setTransferTimeoutMs(300);
    QElapsedTimer clock;
    clock.start();
    const auto r = get(mode >= 0 ? server.url(url) : url);
    ServiceCall::setTransferTimeoutMs(0); // back to the default
    QCOMPARE(ServiceCall::transferTimeoutMs(), 60000);
    QVERIFY(r && r->error);
    QCOMPARE(r->error->domain, QStringLiteral("NSURLErrorDomain"));
    QCOMPARE(r->error->code, code);
    if (!description.isEmpty())
        QCOMPARE(r->error->description, description);
    QCOMPARE(r->httpStatus, status); // headers of a cut-off reply arrived; its body did not
    if (silent)
        QVERIFY(clock.elapsed() < 5000);
}

void tst_ServiceCall::oversizedRepliesRefused_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qint64>("size"); // of the body delivered; -1: refused
    const qint64 limit = ServiceCall::kMaxReplyBytes;
    const auto announced = [](qint64 length, qint64 sent) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n" +
               QByteArray(sent, 'x');
    };
    QTest::newRow("7 MiB") << announced(7 << 20, 7 << 20) << qint64(7 << 20);
    QTest::newRow("at the limit") << announced(limit, limit) << limit;
    QTest::newRow("one byte over") << announced(limit + 1, limit + 1) << qint64(-1);
    // Announced as huge, or sent without a length: refused as the bytes pass the limit.
    QTest::newRow("announced") << announced(1000000000, 1024) << qint64(-1);
    QTest::newRow("unannounced") << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                                        QByteArray(limit + 4096, 'x')
                                 << qint64(-1);
}

void tst_ServiceCall::oversizedRepliesRefused() {
    QFETCH(QByteArray, answer);
    QFETCH(qint64, size);
    RawServer server;
    server.answer = answer;
    LogSpy log;
    const auto r = get(server.url());
    QVERIFY(r);
    if (size >= 0) {
        QVERIFY2(!r->error, qPrintable(ServiceCall::describe(r->error)));
        QCOMPARE(r->body.size(), size);
        return;
    }
    QVERIFY(r->error);
    QCOMPARE(r->error->code, -1103);
    QVERIFY(r->body.isEmpty());
    QVERIFY(
        log.contains(Log::Error, QStringLiteral("Reply refused: more than 8388608 bytes"), true));
}

void tst_ServiceCall::httpAnswersAreReplies() {
    RawServer server;
    server.answer =
        "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\n"
        "Content-Length: 45\r\n\r\n{\"errorCode\":\"NOT_FOUND\",\"message\":\"No such\"}";
    const auto r = get(server.url());
    QVERIFY(r);
    QVERIFY2(!r->error, qPrintable(ServiceCall::describe(r->error)));
    QCOMPARE(r->httpStatus, 404);
    QCOMPARE(r->json().object().value("errorCode").toString(), QStringLiteral("NOT_FOUND"));
    const auto e = ServiceCall::httpError(*r);
    QVERIFY(e);
    QCOMPARE(e->domain, QStringLiteral("VeloraServiceErrorDomain"));
    QCOMPARE(e->code, 404);
    QCOMPARE(e->httpStatus, 404);
    QCOMPARE(e->description, QStringLiteral("No such"));
    QCOMPARE(e->body, r->body);
    QVERIFY(ServiceCall::describe(*e).contains(QStringLiteral("(HTTP 404)")));

    // The message, the OAuth description, or a fixed text for anything else.
    const auto errorOf = [](int status, const QByteArray& body) {
        return ServiceCall::httpError(ServiceReply{status, body, std::nullopt});
    };
    QVERIFY(!errorOf(200, R"({"message":"fine"})"));
    QVERIFY(!errorOf(399, {}));
    QCOMPARE(errorOf(400, R"({"error":"invalid_grant","error_description":"Bad credentials"})")
                 ->description,
             QStringLiteral("Bad credentials"));
    const QString fallback =
        QStringLiteral("The service could not complete the request (HTTP 502).");
    for (const char* body : {"<html>Bad gateway</html>", R"({"message":42})",
                             R"({"message":"   "})", R"(["message"])"})
        QCOMPARE(errorOf(502, body)->description, fallback);
}

void tst_ServiceCall::callbackOnMainThreadAfterSend() {
    RawServer server;
    server.answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
    QThread* callbackThread = nullptr;
    bool returned = false;
    bool calledBeforeReturn = false;
    QThread* worker = QThread::create([&] {
        ServiceCall::Request request;
        request.url = server.url();
        ServiceCall::send(request, [&](const ServiceReply&) {
            callbackThread = QThread::currentThread();
            calledBeforeReturn = !returned;
        });
        returned = true;
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QTRY_VERIFY(callbackThread);
    QCOMPARE(callbackThread, QCoreApplication::instance()->thread());
    QVERIFY(!calledBeforeReturn);

    // Even a failure known at once (an invalid address) answers after send() returned.
    bool answered = false;
    ServiceCall::Request bad;
    bad.url = QStringLiteral("::not a url::");
    ServiceCall::send(bad, [&](const ServiceReply& r) { answered = r.error.has_value(); });
    QVERIFY(!answered);
    QTRY_VERIFY(answered);
}

void tst_ServiceCall::sslCertFileHonoured() {
    VeloraSimulator sim;
    QVERIFY(sim.start());
    const QString url = sim.baseUrl() + QStringLiteral("/oauth2/tokenInfo");
    const auto before = get(url);
    QVERIFY(before && before->error);
    QCOMPARE(before->error->code, int(ServiceCall::ServerCertificateUntrusted));
    QCOMPARE(before->error->description,
             QStringLiteral("The certificate for this server is invalid."));

    QTemporaryDir dir;
    const auto installWith = [](const QString& path) {
        qputenv("SSL_CERT_FILE", QFile::encodeName(path));
        return ServiceCall::installExtraCaCertificates();
    };
    QFile garbage(dir.filePath(QStringLiteral("garbage.pem")));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("not a certificate") > 0);
    garbage.close();
    QCOMPARE(installWith(garbage.fileName()), 0);
    QCOMPARE(installWith(dir.filePath(QStringLiteral("missing.pem"))), 0);
    qunsetenv("SSL_CERT_FILE");
    QCOMPARE(ServiceCall::installExtraCaCertificates(), 0);
    QVERIFY(get(url)->error);

    // At start the file is read off the main thread; the first call adds its certificates.
    const QSslConfiguration platformTrust = QSslConfiguration::defaultConfiguration();
    qputenv("SSL_CERT_FILE", QFile::encodeName(VeloraSimulator::caCertificatePath()));
    ServiceCall::loadExtraCaCertificatesInBackground();
    const auto after = get(url);
    QVERIFY2(after && !after->error, qPrintable(ServiceCall::describe(after->error)));
    QCOMPARE(after->httpStatus, 401);
    QCOMPARE(ServiceCall::trustedCaCertificates(), VeloraSimulator::caCertificates());
    // The platform's own authorities stay as Qt looks them up (on demand, nothing parsed here).
    QVERIFY(QSslConfiguration::defaultConfiguration() == platformTrust);

    // A DER file works too.
    QFile der(dir.filePath(QStringLiteral("ca.der")));
    QVERIFY(der.open(QIODevice::WriteOnly));
    der.write(VeloraSimulator::caCertificates().first().toDer());
    der.close();
    QCOMPARE(installWith(der.fileName()), 1);
    qunsetenv("SSL_CERT_FILE");
}

TAMBER_TEST_MAIN_CORE(tst_ServiceCall)
#include "tst_ServiceCall.moc"
