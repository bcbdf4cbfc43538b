#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// Keeps one running copy of the application per user session. The first process takes a lock
// file and listens on a local socket next to it; a later start finds the lock taken, sends
// "activate" over the socket and is told to quit. A lock or socket left by a crashed process
// is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,   // this process is the one copy: run
        HandedOff, // another copy was told to show itself: exit with 0
        Unguarded, // the guard could not be set up (logged): run anyway
        Failed,    // another copy holds the lock but did not answer (logged): exit
    };

    // key names the lock and socket; folder holds them (the runtime folder by default).
    explicit SingleInstance(QString key = defaultKey(), QString folder = defaultFolder(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Decides the role; call once at start, before the main loop. A second process waits at
    // most a few seconds for the first to answer.
    Role start();

    // Bundle id, user id and a hash of the runtime folder and home: distinct per user and per
    // session setup, so test processes with their own homes do not meet.
    static QString defaultKey();
    // $XDG_RUNTIME_DIR when usable, else the temporary folder.
    static QString defaultFolder();

    QString socketPath() const;
    QString lockPath() const;

    // The first copy answers `command` (one line, without its line break) with what `handler`
    // returns (one line).
    using RequestHandler = std::function<QByteArray()>;
    void setRequestHandler(const QByteArray& command, RequestHandler handler);
    // From another process: sends `command` to the running copy and returns its answer; nothing
    // when no copy answers. Waits a few seconds at most (a command-line call, no event loop).
    std::optional<QByteArray> request(const QByteArray& command) const;

Q_SIGNALS:
    // Another start asked this copy to show itself (treat it as a click on the icon).
    void activationRequested();

private:
    Role becomePrimary();
    bool notifyPrimary();
    void readMessage(QLocalSocket* socket);

    QString m_key;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::map<QByteArray, RequestHandler> m_handlers;
};
