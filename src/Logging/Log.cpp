#include "Log.h"

#include "DetailedLogFormatter.h"
#include "LogDispatcher.h"
#include "LogRedactor.h"

#include <QDateTime>
#include <cstdio>
#if defined(__APPLE__)
#include <pthread.h>
#else
#include <unistd.h>
#endif

quint64 Log::currentThreadId() {
    thread_local const quint64 id = [] {
#if defined(__APPLE__)
        uint64_t tid = 0;
        pthread_threadid_np(nullptr, &tid);
        return quint64(tid);
#else
        return quint64(::gettid());
#endif
    }();
    return id;
}

void Log::write(int flag, const char* file, const char* function, int line,
                const QString& message) {
    LogMessage entry;
    entry.timestampMsecs = QDateTime::currentMSecsSinceEpoch();
    entry.threadId = currentThreadId();
    entry.flag = flag;
    entry.file = file ? file : "";
    entry.function = function ? function : "";
    entry.line = line;
    entry.message = LogRedactor::redact(message);
    if (LogDispatcher* dispatcher = LogDispatcher::shared()) {
        dispatcher->log(std::move(entry));
        return;
    }
    // The very end of the process, after the loggers are gone.
    std::fprintf(stderr, "[%s] %s\n", DetailedLogFormatter::levelWord(flag).data(),
                 entry.message.toUtf8().constData());
}
