#pragma once

#include "SSOHelperProtocol.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QProcess>
#include <QRect>
#include <QString>
#include <functional>

// The application's side of the sign-on window process (tamber-sso): starts it, sends it
// commands, reads its events, and owns its life. Stopping it ends it (killed if it lingers);
// destroying this object kills it.
class SSOHelperProcess : public QObject {
    Q_OBJECT
public:
    explicit SSOHelperProcess(QObject* parent = nullptr);
    ~SSOHelperProcess() override;

    // TAMBER_SSO_HELPER when set, else tamber-sso next to this program (a build tree), else in
    // the installed helper folder beside it.
    static QString program();

    // Starts a new window process (stopping a running one).
    void start(const QString& consumerUrl, const QRect& screenArea);
    void stop();
    bool isRunning() const { return m_process != nullptr; }
    // Running, and its window on its way or on screen (not closed by the user).
    bool isWindowOpen() const { return m_process && (!m_reported || m_state.visible); }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    void send(const QJsonObject& command);

    const SSOWindowState& state() const { return m_state; }

    // For the tests: runs a script in the page (only when the helper allows it) and answers once.
    void evaluate(const QString& script, std::function<void(const QJsonValue&)> answer);
    // For the tests: asks for a screenshot under TAMBER_SCREENSHOT_DIR; answers when written.
    void snapshot(const QString& name, std::function<void()> done);

signals:
    void stateChanged();
    // The window handed over the assertion post: verb "POST" or "GET", or empty when the form
    // it submitted could not be read.
    void assertionCaptured(const QString& url, const QString& verb, const QByteArray& body);
    void retryRequested();
    // The process ended without being stopped: by the user closing the window (exit code 0), or
    // by a failure (`problem` says which).
    void closedByUser();
    void failed(const QString& problem);

private:
    void readEvents();
    void handleEvent(const QJsonObject& event);
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void processError(QProcess::ProcessError error);

    QProcess* m_process = nullptr;
    SSOWindowState m_state;
    bool m_reported = false;
    int m_nextId = 0;
    QHash<int, std::function<void(const QJsonValue&)>> m_evaluations;
    QHash<QString, std::function<void()>> m_snapshots;
};
