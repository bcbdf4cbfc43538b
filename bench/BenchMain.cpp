// Entry point of tamber_bench: a Qt application (for code that needs one) around the
// benchmark runner. With a display it is a widget application, so view benchmarks can run;
// without one, a core application (the view benchmarks then report that they need a display).
#include <QApplication>
#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <memory>

int main(int argc, char** argv) {
    const bool display = qEnvironmentVariableIsSet("DISPLAY") ||
                         qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    std::unique_ptr<QCoreApplication> app = display
                                                ? std::make_unique<QApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
