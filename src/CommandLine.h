#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The command line, read before the application object exists so that `--version` and
// `--help` work without a display.
class CommandLine {
public:
    struct Outcome {
        // Set when the process should end at once with this status.
        std::optional<int> exitCode;
        QString standardOutput;
        QString standardError;
        // Hand "join the next meeting" to the running copy instead of starting.
        bool joinNext = false;
    };

    // `arguments` includes the program name, as argv does.
    static Outcome parse(const QStringList& arguments);
    static QStringList fromArgv(int argc, char* argv[]);
};
