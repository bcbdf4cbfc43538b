#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

// The outcome of one script run.
struct ScriptResult {
    QString output;    // the script's result in AppleScript source form (osascript -s s)
    QVariantMap error; // empty on success; else "NSAppleScriptErrorMessage" and
                       // "NSAppleScriptErrorNumber"
    bool succeeded() const { return error.isEmpty(); }
};

// Runs AppleScript source texts. macOS: osascript, the script on its standard input (so no
// value reaches a command line). Elsewhere there is no script host: every run fails with
// an error dictionary, through the same path a failing script takes. Tests substitute a
// subclass.
class ScriptHost {
public:
    using Completion = std::function<void(const ScriptResult&)>;

    virtual ~ScriptHost() = default;

    // Asynchronous; `done` runs once on the main thread, after run() has returned.
    virtual void run(const QString& script, Completion done);
    // Blocks for at most `timeoutMs` (the process is killed after that and the run fails).
    virtual ScriptResult runSynchronously(const QString& script, int timeoutMs);

    // Whether this platform has a script host at all.
    static bool isAvailable();
    static QVariantMap errorDictionary(const QString& message, int number);
    static constexpr int kUnavailableError = -1750; // "no script host on this platform"
    static constexpr int kTimeoutError = -1712;     // the run took too long

private:
    // Parent of the running processes and context of deferred completions: a host that is
    // destroyed ends its runs and calls no completion any more.
    std::unique_ptr<QObject> m_context;
    QObject* context();
};
