#include "SSOHelperProcess.h"

#include "Logging/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace P = SSOHelperProtocol;

namespace {

constexpr char kHelperName[] = "tamber-sso";
constexpr int kStopGraceMs = 1500;

bool isLogLevel(int level) {
    return level == Log::Error || level == Log::Warning || level == Log::Info ||
           level == Log::Debug || level == Log::Verbose;
}

QString areaArgument(const QRect& area) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(area.x())
        .arg(area.y())
        .arg(area.width())
        .arg(area.height());
}

} // namespace

SSOHelperProcess::SSOHelperProcess(QObject* parent)
    : QObject(parent) {}

SSOHelperProcess::~SSOHelperProcess() {
    stop();
    // Killed and reaped here (a matter of milliseconds): nothing of a window process outlives
    // its owner.
    for (QProcess* process : findChildren<QProcess*>()) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->kill();
        process->waitForFinished(2000);
    }
}

QString SSOHelperProcess::program() {
    const QString configured = qEnvironmentVariable("TAMBER_SSO_HELPER");
    if (!configured.isEmpty())
        return configured;
    const QDir here(QCoreApplication::applicationDirPath());
    const QString beside = here.filePath(QLatin1String(kHelperName));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(
        here.filePath(QStringLiteral(TAMBER_SSO_HELPER_DIR "/") + QLatin1String(kHelperName)));
}

void SSOHelperProcess::start(const QString& consumerUrl, const QRect& screenArea) {
    stop();
    m_state = SSOWindowState();
    m_reported = false;
    m_process = new QProcess(this);
    m_process->setProgram(program());
    QStringList arguments{QStringLiteral("--consumer"), consumerUrl};
    if (screenArea.isValid())
        arguments << QStringLiteral("--area") << areaArgument(screenArea);
    m_process->setArguments(arguments);
    // What the web engine prints goes where this program's own messages go; a pipe nobody
    // reads would fill up and stall the helper.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &SSOHelperProcess::readEvents);
    connect(m_process, &QProcess::finished, this, &SSOHelperProcess::processFinished);
    connect(m_process, &QProcess::errorOccurred, this, &SSOHelperProcess::processError);
    TLOG_INFO(QStringLiteral("Starting the sign-on window %1").arg(m_process->program()));
    m_process->start();
}

void SSOHelperProcess::stop() {
    QProcess* process = m_process;
    if (!process)
        return;
    m_process = nullptr;
    m_evaluations.clear();
    m_snapshots.clear();
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // End-of-file on its input closes its window and ends it in order (the web engine's profile
    // shut down, its files flushed); one that has not gone after a moment is killed.
    process->closeWriteChannel();
    QTimer::singleShot(kStopGraceMs, process, &QProcess::kill);
    // Reaped when it has gone; destroyed with this object at the latest.
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

void SSOHelperProcess::send(const QJsonObject& command) {
    if (m_process)
        m_process->write(P::encode(command));
}

void SSOHelperProcess::evaluate(const QString& script,
                                std::function<void(const QJsonValue&)> answer) {
    const int id = ++m_nextId;
    m_evaluations.insert(id, std::move(answer));
    send({{"do", P::kEvaluate}, {"id", id}, {"script", script}});
}

void SSOHelperProcess::snapshot(const QString& name, std::function<void()> done) {
    m_snapshots.insert(name, std::move(done));
    send({{"do", P::kSnapshot}, {"name", name}});
}

void SSOHelperProcess::readEvents() {
    // Events may come in after a stop: the process is then no longer ours to hear.
    QProcess* process = qobject_cast<QProcess*>(sender());
    while (process && process == m_process && process->canReadLine()) {
        if (const auto event = P::decode(process->readLine()))
            handleEvent(*event);
    }
}

void SSOHelperProcess::handleEvent(const QJsonObject& event) {
    const QString name = event.value("event").toString();
    if (name == QLatin1String(P::kView)) {
        m_state = SSOWindowState::fromJson(event);
        m_reported = true;
        emit stateChanged();
    } else if (name == QLatin1String(P::kAssertion)) {
        emit assertionCaptured(event.value("url").toString(), event.value("verb").toString(),
                               event.value("body").toString().toLatin1());
    } else if (name == QLatin1String(P::kRetry)) {
        emit retryRequested();
    } else if (name == QLatin1String(P::kLog)) {
        const int level = event.value("level").toInt();
        if (isLogLevel(level))
            TLOG_AT(level, event.value("message").toString());
    } else if (name == QLatin1String(P::kEvaluated)) {
        if (auto answer = m_evaluations.take(event.value("id").toInt()))
            answer(event.value("result"));
    } else if (name == QLatin1String(P::kSnapshotSaved)) {
        if (auto done = m_snapshots.take(event.value("name").toString()))
            done();
    }
}

void SSOHelperProcess::processFinished(int exitCode, QProcess::ExitStatus status) {
    QProcess* process = m_process;
    m_process = nullptr;
    m_state = SSOWindowState();
    if (process)
        process->deleteLater();
    emit stateChanged();
    if (status == QProcess::NormalExit && exitCode == 0) {
        TLOG_INFO(QStringLiteral("Sign-on window closed"));
        emit closedByUser();
        return;
    }
    const QString problem =
        status == QProcess::CrashExit
            ? tr("The sign-in window stopped unexpectedly.")
            : tr("The sign-in window stopped unexpectedly (exit status %1).").arg(exitCode);
    TLOG_ERROR(QStringLiteral("Sign-on window ended: %1").arg(problem));
    emit failed(problem);
}

void SSOHelperProcess::processError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || !m_process)
        return;
    const QString problem = tr("The sign-in window could not be started: %1 (%2).")
                                .arg(m_process->errorString(), m_process->program());
    m_process->deleteLater();
    m_process = nullptr;
    TLOG_ERROR(QStringLiteral("Sign-on window not started: %1").arg(problem));
    emit failed(problem);
}
