#include "TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>

QString TestEnvironment::isolate() {
    // Lives until the process ends; removed then.
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/tamber-test-XXXXXX"));
    const QString base = root.path();
    const auto set = [&](const char* name, const QString& sub) {
        const QString path = base + sub;
        QDir().mkpath(path);
        qputenv(name, QFile::encodeName(path));
    };
    set("HOME", QStringLiteral("/home"));
    set("XDG_CONFIG_HOME", QStringLiteral("/home/.config"));
    set("XDG_STATE_HOME", QStringLiteral("/home/.local/state"));
    set("XDG_DATA_HOME", QStringLiteral("/home/.local/share"));
    set("XDG_CACHE_HOME", QStringLiteral("/home/.cache"));
    // The sign-on window program of this build (the tests are not beside it).
    qputenv("TAMBER_SSO_HELPER", TAMBER_SSO_BIN);
    return base;
}
