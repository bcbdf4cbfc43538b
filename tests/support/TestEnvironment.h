#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QString>
#include <QTest>

// Gives one test process its own HOME and XDG folders, so tests never see each other's (or a
// person's) preferences, logs or autostart files, even when CTest runs them side by side.
namespace TestEnvironment {

// Call before the application object exists. Returns the private root folder.
QString isolate();

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
