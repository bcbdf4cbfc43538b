// velora-sim: the local meeting service for the demo and for tests that want a separate process.
#include "VeloraSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// SIGINT/SIGTERM end the event loop through a pipe: nothing else is safe inside a handler.
void quitOnSignals(QCoreApplication& app) {
    if (::pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velora-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local Velora meeting service over HTTPS on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0 picks a free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption fixtureOption(
        QStringLiteral("fixture"), QStringLiteral("JSON fixture with accounts and meetings."),
        QStringLiteral("F"));
    const QCommandLineOption caOption(QStringLiteral("print-ca"),
                                      QStringLiteral("Write the test CA certificate (PEM) here."),
                                      QStringLiteral("PATH"));
    parser.addOptions({portOption, fixtureOption, caOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "velora-sim: bad port \"%s\"\n", qPrintable(parser.value(portOption)));
        return 2;
    }

    VeloraSimulator sim;
    if (parser.isSet(fixtureOption) && !sim.loadFixture(parser.value(fixtureOption)))
        return 2;

    QString caPath = VeloraSimulator::caCertificatePath();
    if (parser.isSet(caOption)) {
        caPath = parser.value(caOption);
        QFile out(caPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "velora-sim: cannot write %s\n", qPrintable(caPath));
            return 2;
        }
        for (const auto& cert : VeloraSimulator::caCertificates())
            out.write(cert.toPem());
    }

    if (!sim.start(quint16(port))) {
        std::fprintf(stderr, "velora-sim: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    quitOnSignals(app);
    std::printf("velora-sim listening on %s\nca: %s\n", qPrintable(sim.baseUrl()),
                qPrintable(caPath));
    std::fflush(stdout);
    return app.exec();
}
