#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the session's request to end (SIGTERM at logout or shutdown, SIGINT, SIGHUP) into a
// signal on the main thread, so the application quits as its own Quit does: the open form kept
// as a draft, the record saved, the log flushed. The handler only writes a byte to a pipe.
// One instance per process; the default actions come back when it is destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe or a handler could not be set up: the signals keep their defaults.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
};
