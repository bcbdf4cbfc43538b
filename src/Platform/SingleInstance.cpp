#include "SingleInstance.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <unistd.h>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");
// Longer messages are not ours; the connection is dropped.
constexpr qint64 kMaxMessage = 64;
constexpr int kAnswerWaitMs = 3000;
// Unix socket paths are limited to 107 bytes.
constexpr int kMaxSocketPath = 100;

} // namespace

SingleInstance::SingleInstance(QString key, QString folder, QObject* parent)
    : QObject(parent)
    , m_key(std::move(key))
    , m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    // The socket goes before the lock: once the lock is free a new copy may create its own
    // socket at the same path, which closing ours afterwards would remove.
    if (m_server)
        m_server->close();
    m_lock.reset();
}

QString SingleInstance::defaultKey() {
    const QByteArray where =
        qgetenv("XDG_RUNTIME_DIR") + '\n' + QFile::encodeName(QDir::homePath());
    const QByteArray hash = QCryptographicHash::hash(where, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("%1-%2-%3")
        .arg(BundleInfo::bundleIdentifier())
        .arg(::getuid())
        .arg(QString::fromLatin1(hash.left(8)));
}

QString SingleInstance::defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() &&
        runtime.size() + defaultKey().size() + 6 <= kMaxSocketPath)
        return runtime;
    return QDir::tempPath();
}

QString SingleInstance::socketPath() const {
    return m_folder + QLatin1Char('/') + m_key + QStringLiteral(".sock");
}

QString SingleInstance::lockPath() const {
    return m_folder + QLatin1Char('/') + m_key + QStringLiteral(".lock");
}

SingleInstance::Role SingleInstance::start() {
    m_lock = std::make_unique<QLockFile>(lockPath());
    // The lock is stale only when its process is gone, never because of its age.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return becomePrimary();
    if (m_lock->error() != QLockFile::LockFailedError) {
        TLOG_ERROR(QStringLiteral("Single-instance lock %1 unusable (error %2); running without "
                                  "the guard")
                       .arg(lockPath())
                       .arg(int(m_lock->error())));
        return Role::Unguarded;
    }

    // Another copy holds the lock. It may still be on its way to listening, or may die while
    // we try: waiting on the lock covers both without spinning.
    const QDeadlineTimer deadline(kAnswerWaitMs);
    while (!deadline.hasExpired()) {
        if (notifyPrimary()) {
            TLOG_INFO(QStringLiteral("Another copy is running; asked it to show itself"));
            return Role::HandedOff;
        }
        if (m_lock->tryLock(100)) {
            TLOG_WARN(QStringLiteral("The other copy went away; taking over"));
            return becomePrimary();
        }
    }
    TLOG_ERROR(QStringLiteral("Another copy holds %1 but does not answer on %2")
                   .arg(lockPath(), socketPath()));
    return Role::Failed;
}

SingleInstance::Role SingleInstance::becomePrimary() {
    // Holding the lock, any socket file at the path was left by a copy that crashed.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath())) {
        TLOG_ERROR(QStringLiteral("Single-instance socket %1 not available (%2); a second start "
                                  "will not reach this copy")
                       .arg(socketPath(), m_server->errorString()));
        delete m_server;
        m_server = nullptr;
        return Role::Primary;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { readMessage(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            readMessage(socket); // bytes may have arrived with the connection
        }
    });
    return Role::Primary;
}

bool SingleInstance::notifyPrimary() {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(1000))
        return false;
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::setRequestHandler(const QByteArray& command, RequestHandler handler) {
    m_handlers[command] = std::move(handler);
}

std::optional<QByteArray> SingleInstance::request(const QByteArray& command) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000))
        return std::nullopt;
    socket.write(command + '\n');
    if (!socket.waitForBytesWritten(1000))
        return std::nullopt;
    const QDeadlineTimer deadline(kAnswerWaitMs);
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (!socket.canReadLine())
        return std::nullopt;
    return socket.readLine(kMaxMessage).trimmed();
}

void SingleInstance::readMessage(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxMessage) {
            TLOG_WARN(QStringLiteral("Single-instance socket: dropped an oversized message"));
            socket->abort();
        }
        return;
    }
    const QByteArray line = socket->readLine(kMaxMessage);
    const auto handler = m_handlers.find(line.trimmed());
    if (handler != m_handlers.end() && line.endsWith('\n')) {
        socket->write(handler->second() + '\n');
        socket->flush();
    } else if (line == kActivate) {
        TLOG_INFO(QStringLiteral("A second start asked this copy to show itself"));
        emit activationRequested();
    } else {
        TLOG_WARN(QStringLiteral("Single-instance socket: ignored an unknown message"));
    }
    socket->disconnectFromServer();
}
