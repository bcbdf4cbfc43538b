#pragma once

#include "TamberDDLogFileManagerDefault.h"

#include <QString>
#include <QStringList>
#include <memory>

// Set-up and housekeeping of the application's logging. Lines themselves go through Log.h.
namespace Logging {

// The launch set-up, called once by the application controller: one formatter shared by the
// system-log, console and file loggers; the file logger writes to the log folder, rolls at
// 1 MiB or 24 hours and keeps two files. Lines logged before this call are written now.
// Calling it again does nothing.
void start();

// Returns once every line logged so far has reached the loggers (used at quit and by tests).
void flush();
// Drains the queue and stops the logging thread; happens by itself when the process exits.
void shutdown();

// The manager of the running file logger; null before start().
std::shared_ptr<TamberDDLogFileManagerDefault> logFileManager();
// The log files, newest first (empty before start()). The first one is the one to upload; its
// name may end in " 2", " 3", ... (a space), so encode it when it goes into an address. Both
// wait until the lines queued so far are written, so the list includes the file they went to.
QStringList sortedLogFilePaths();
QString newestLogFilePath();
// The folder chosen by start() (empty before).
QString logsDirectory();

// The running program's name, as the system knows it.
QString processName();
// Where the platform keeps logs: ~/Library/Logs/<process name> on macOS, elsewhere
// $XDG_STATE_HOME (or ~/.local/state) / <process name>.
QString preferredLogsDirectory();
QString preferredLogsDirectoryFor(bool macOS, const QString& home, const QString& stateHome,
                                  const QString& process);
// <temporary folder>/<process name>-logs-<user id>: private to the user, used when the
// preferred folder cannot be created or written.
QString fallbackLogsDirectory();
// The first of the two folders that exists (or can be created) and takes a new file; empty
// when neither does (file lines are then dropped, the other loggers go on).
QString resolveLogsDirectory(const QString& preferred, const QString& fallback);

} // namespace Logging
