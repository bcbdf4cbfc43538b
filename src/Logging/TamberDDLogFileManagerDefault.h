#pragma once

#include "LogFileManagerDefault.h"

// The application's log-file manager: the default name with every space replaced by "_"
// ("com.velora.tamber_2015-03-09_17-05.log"). A second file in the same minute still gets the
// default manager's " 2", " 3", ... with its space, so two files of one minute differ only by
// that suffix. Names with and without it are recognised as this manager's files.
class TamberDDLogFileManagerDefault : public LogFileManagerDefault {
public:
    using LogFileManagerDefault::LogFileManagerDefault;

    QString newLogFileName() const override;
    std::optional<FileName> parseLogFileName(const QString& fileName) const override;

    // The bundle identifier, else the process name, else empty.
    static QString applicationNameFor(const QString& bundleIdentifier, const QString& processName);
};
