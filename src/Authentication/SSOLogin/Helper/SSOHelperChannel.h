#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <mutex>

class QSocketNotifier;

// The helper's end of the line protocol: commands arrive on standard input, events leave through
// what was standard output. Standard output itself is pointed at standard error first, so that
// nothing a library prints can ever be taken for an event.
class SSOHelperChannel : public QObject {
    Q_OBJECT
public:
    explicit SSOHelperChannel(QObject* parent = nullptr);
    ~SSOHelperChannel() override;

    // Thread-safe (the log forwarder sends from the logging thread).
    void send(const QJsonObject& event);

signals:
    void received(const QJsonObject& command);
    // The application closed its end or is gone.
    void closed();

private:
    void readAvailable();

    int m_out = -1;
    std::mutex m_writeLock;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};
