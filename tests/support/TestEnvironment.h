#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// Gives one test process its own HOME and XDG folders, so tests never see each other's (or a
// person's) preferences, logs or autostart files, even when CTest runs them side by side.
namespace TestEnvironment {

// Call before the application object exists. Returns the private root folder.
inline QString isolate() {
    // Lives until the process ends; removed then.
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/tamber-test-XXXXXX"));
    const QString base = root.path();
    const auto set = [&](const char* name, const QString& sub) {
        QDir().mkpath(base + sub);
        qputenv(name, QFile::encodeName(base + sub));
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

} // namespace TestEnvironment

#define TAMBER_TEST_MAIN_IMPL(AppClass, TestObject)                                                \
    int main(int argc, char** argv) {                                                              \
        TestEnvironment::isolate();                                                                \
        AppClass app(argc, argv);                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

// Model and platform tests: no widgets.
#define TAMBER_TEST_MAIN_CORE(TestObject) TAMBER_TEST_MAIN_IMPL(QCoreApplication, TestObject)
// Tests with real windows (under the test environment's X server).
#define TAMBER_TEST_MAIN_GUI(TestObject) TAMBER_TEST_MAIN_IMPL(QApplication, TestObject)
