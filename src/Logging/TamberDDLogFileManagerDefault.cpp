#include "TamberDDLogFileManagerDefault.h"

QString TamberDDLogFileManagerDefault::newLogFileName() const {
    QString name = LogFileManagerDefault::newLogFileName();
    name.replace(u' ', u'_');
    return name;
}

std::optional<LogFileManagerDefault::FileName>
TamberDDLogFileManagerDefault::parseLogFileName(const QString& fileName) const {
    QString prefix = applicationName() + u'_';
    prefix.replace(u' ', u'_');
    return parseName(fileName, prefix, u'_');
}

QString TamberDDLogFileManagerDefault::applicationNameFor(const QString& bundleIdentifier,
                                                          const QString& processName) {
    if (!bundleIdentifier.isEmpty())
        return bundleIdentifier;
    return processName;
}
