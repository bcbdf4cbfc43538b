#include "ScriptHost.h"

#include "MainQueue.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

#ifdef Q_OS_MACOS
// osascript prints the result in source form with -s s and reads the script from "-" (its
// standard input), so no value of the script appears on a command line.
QProcess* startOsascript(const QString& script, QObject* parent) {
    auto* process = new QProcess(parent);
    process->start(QStringLiteral("/usr/bin/osascript"),
                   {QStringLiteral("-s"), QStringLiteral("s"), QStringLiteral("-")});
    process->write(script.toUtf8());
    process->closeWriteChannel();
    return process;
}

// "execution error: ... (-1728)" carries the error number at its end.
ScriptResult resultOf(QProcess& process) {
    ScriptResult result;
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        result.output = out.endsWith(u'\n') ? out.chopped(1) : out;
        return result;
    }
    static const QRegularExpression number(QStringLiteral("\\((-?\\d+)\\)\\s*$"));
    const auto m = number.match(err);
    result.error =
        ScriptHost::errorDictionary(err.isEmpty() ? process.errorString() : err,
                                    m.hasMatch() ? m.captured(1).toInt() : process.exitCode());
    return result;
}
#endif

ScriptResult unavailable() {
    return {QString(), ScriptHost::errorDictionary(
                           QStringLiteral("AppleScript is not available on this system"),
                           ScriptHost::kUnavailableError)};
}

} // namespace

QObject* ScriptHost::context() {
    if (!m_context)
        m_context = std::make_unique<QObject>();
    return m_context.get();
}

bool ScriptHost::isAvailable() {
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

QVariantMap ScriptHost::errorDictionary(const QString& message, int number) {
    return {{QStringLiteral("NSAppleScriptErrorMessage"), message},
            {QStringLiteral("NSAppleScriptErrorNumber"), number}};
}

void ScriptHost::run(const QString& script, Completion done) {
#ifdef Q_OS_MACOS
    QProcess* process = startOsascript(script, context());
    auto finish = [process, done = std::move(done)](const ScriptResult& result) {
        process->disconnect(); // exactly one completion
        process->deleteLater();
        if (done)
            done(result);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, finish] { finish(resultOf(*process)); });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, finish](QProcess::ProcessError e) {
                         if (e == QProcess::FailedToStart)
                             finish({QString(), errorDictionary(process->errorString(), -1)});
                     });
#else
    Q_UNUSED(script);
    MainQueue::async(context(), [done = std::move(done)] {
        if (done)
            done(unavailable());
    });
#endif
}

ScriptResult ScriptHost::runSynchronously(const QString& script, int timeoutMs) {
#ifdef Q_OS_MACOS
    std::unique_ptr<QProcess> process(startOsascript(script, nullptr));
    if (!process->waitForFinished(timeoutMs)) {
        process->kill();
        process->waitForFinished(1000);
        return {QString(),
                errorDictionary(QStringLiteral("The script did not finish in %1 ms").arg(timeoutMs),
                                kTimeoutError)};
    }
    return resultOf(*process);
#else
    Q_UNUSED(script);
    Q_UNUSED(timeoutMs);
    return unavailable();
#endif
}
