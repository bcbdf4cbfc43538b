#pragma once

#include <QString>
#include <QtGlobal>

// One log call as the loggers see it. file and function point at the call site's __FILE__ and
// __func__, which live for the whole process, so a queued message can keep the pointers.
struct LogMessage {
    qint64 timestampMsecs = 0; // milliseconds since 1970-01-01 UTC
    quint64 threadId = 0;      // kernel thread number of the caller
    int flag = 0;
    const char* file = "";
    const char* function = "";
    int line = 0;
    QString message;
};
