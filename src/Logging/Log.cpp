#include "Log.h"

#include <cstdio>

// Placeholder until the logging framework lands: straight to standard error.
void Log::write(int flag, const char* file, const char* function, int line,
                const QString& message) {
    std::fprintf(stderr, "%s %s:%d [%d] %s\n", file, function, line, flag,
                 qUtf8Printable(message));
}
