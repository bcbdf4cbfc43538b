#pragma once

#include <QString>

// The one log call of the application. Every line passes through Log::write with its level,
// source file, function and line; use the macros below at call sites.
namespace Log {

enum Flag : int { Error = 1, Warning = 2, Info = 4, Debug = 8, Verbose = 16 };

// Error lines return only after every logger has taken them; all others are queued.
// file and function must live for the whole process (__FILE__ and __func__ do). Values of
// access_token, refresh_token, client_secret, password and passcode are redacted before any
// logger sees the message. Lines logged before Logging::start() are kept and written once it has
// run.
void write(int flag, const char* file, const char* function, int line, const QString& message);

// The calling thread's kernel thread number (gettid on Linux).
quint64 currentThreadId();

} // namespace Log

#define TLOG_AT(flag, message) ::Log::write((flag), __FILE__, __func__, __LINE__, (message))
#define TLOG_ERROR(message) TLOG_AT(::Log::Error, message)
#define TLOG_WARN(message) TLOG_AT(::Log::Warning, message)
#define TLOG_INFO(message) TLOG_AT(::Log::Info, message)
#define TLOG_DEBUG(message) TLOG_AT(::Log::Debug, message)
#define TLOG_VERBOSE(message) TLOG_AT(::Log::Verbose, message)
