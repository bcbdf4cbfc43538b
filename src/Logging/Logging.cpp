#include "Logging.h"

#include "ConsoleLogger.h"
#include "FileLogger.h"
#include "LogDispatcher.h"
#include "Platform/BundleInfo.h"
#include "SysLogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct State {
    std::mutex mutex;
    bool started = false;
    QString logsDirectory;
    std::shared_ptr<TamberDDLogFileManagerDefault> manager;
};

State& state() {
    static State s;
    return s;
}

// Exists or was created, is a folder of this user, and takes a new file.
bool isUsableDirectory(const QString& path, bool rejectLinks) {
    if (path.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT || !QDir().mkpath(path))
            return false;
        ::chmod(name.constData(), 0700); // logs may name meetings and people
        if (::lstat(name.constData(), &st) != 0)
            return false;
    }
    if (S_ISLNK(st.st_mode)) {
        if (rejectLinks || ::stat(name.constData(), &st) != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    const QByteArray probe = name + "/.write-probe-" + QByteArray::number(qint64(::getpid()));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

} // namespace

QString Logging::processName() {
#if defined(__APPLE__)
    const char* name = getprogname();
#else
    const char* name = program_invocation_short_name;
#endif
    if (name && *name)
        return QString::fromLocal8Bit(name);
    return QCoreApplication::applicationName();
}

QString Logging::preferredLogsDirectory() {
#ifdef Q_OS_MACOS
    constexpr bool macOS = true;
#else
    constexpr bool macOS = false;
#endif
    return preferredLogsDirectoryFor(macOS, QDir::homePath(),
                                     qEnvironmentVariable("XDG_STATE_HOME"), processName());
}

QString Logging::preferredLogsDirectoryFor(bool macOS, const QString& home,
                                           const QString& stateHome, const QString& process) {
    if (macOS)
        return QDir::cleanPath(home + "/Library/Logs/"_L1 + process);
    const QString base = stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome)
                             ? home + "/.local/state"_L1
                             : stateHome;
    return QDir::cleanPath(base + u'/' + process);
}

QString Logging::fallbackLogsDirectory() {
    return QDir::cleanPath(QDir::tempPath() + u'/' + processName() + "-logs-"_L1 +
                           QString::number(::getuid()));
}

QString Logging::resolveLogsDirectory(const QString& preferred, const QString& fallback) {
    if (isUsableDirectory(preferred, false))
        return preferred;
    // The temporary folder is shared: never follow a link someone else may have planted.
    if (isUsableDirectory(fallback, true))
        return fallback;
    return QString();
}

void Logging::start() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.started)
        return;
    s.started = true;

    const QString preferred = preferredLogsDirectory();
    s.logsDirectory = resolveLogsDirectory(preferred, fallbackLogsDirectory());

    auto formatter = std::make_shared<DetailedLogFormatter>();
    s.manager = std::make_shared<TamberDDLogFileManagerDefault>(
        s.logsDirectory.isEmpty() ? preferred : s.logsDirectory,
        TamberDDLogFileManagerDefault::applicationNameFor(BundleInfo::bundleIdentifier(),
                                                          processName()));

    const std::shared_ptr<SysLogger> sysLogger = SysLogger::sharedInstance();
    const std::shared_ptr<ConsoleLogger> consoleLogger = ConsoleLogger::sharedInstance();
    sysLogger->setLogFormatter(formatter);
    consoleLogger->setLogFormatter(formatter);

    auto fileLogger = std::make_shared<FileLogger>(s.manager);
    fileLogger->setLogFormatter(formatter);
    fileLogger->setMaximumFileSize(1024 * 1024);
    fileLogger->setRollingFrequency(24 * 60 * 60);
    s.manager->setMaximumNumberOfLogFiles(2);

    // All three at once, so the lines logged before now reach every one of them.
    if (LogDispatcher* dispatcher = LogDispatcher::shared())
        dispatcher->addLoggers({sysLogger, consoleLogger, fileLogger});
}

void Logging::flush() {
    if (LogDispatcher* dispatcher = LogDispatcher::shared())
        dispatcher->flush();
}

void Logging::shutdown() {
    if (LogDispatcher* dispatcher = LogDispatcher::shared())
        dispatcher->shutdown();
}

std::shared_ptr<TamberDDLogFileManagerDefault> Logging::logFileManager() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.manager;
}

QStringList Logging::sortedLogFilePaths() {
    // The file logger creates its file with the first line: let the queued lines land first.
    flush();
    const auto manager = logFileManager();
    return manager ? manager->sortedLogFilePaths() : QStringList();
}

QString Logging::newestLogFilePath() {
    flush();
    const auto manager = logFileManager();
    return manager ? manager->newestLogFilePath() : QString();
}

QString Logging::logsDirectory() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.logsDirectory;
}
