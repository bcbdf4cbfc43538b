// tamber-sso: the single sign-on window, in a process of its own so that the web engine is
// loaded only while a user signs on and its memory goes back when the window closes. Started by
// the application, which it talks to over its standard streams (SSOHelperProtocol).

#include "Logging/LogDispatcher.h"
#include "Models/ServiceCall.h"
#include "Platform/BundleInfo.h"
#include "SSOHelperChannel.h"
#include "SSOLogForwarder.h"
#include "SSOLoginWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <csignal>

namespace {

// "x,y,width,height": the available area of the screen the application's icon is on.
QRect parseArea(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return {};
    return {parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt()};
}

void place(QWidget& window, QRect area) {
    if (!area.isValid() && QGuiApplication::primaryScreen())
        area = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(), area);
    // Larger than the area: the top-left part stays on screen.
    frame.moveTopLeft({qMax(frame.left(), area.left()), qMax(frame.top(), area.top())});
    window.move(frame.topLeft());
}

} // namespace

int main(int argc, char* argv[]) {
    // A closed application's pipe must end this process through end-of-file, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(BundleInfo::appName());
    QApplication::setApplicationVersion(BundleInfo::version());

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("consumer"), QStringLiteral("Assertion-consumer address."),
                      QStringLiteral("url")});
    parser.addOption({QStringLiteral("area"), QStringLiteral("Screen area to open in."),
                      QStringLiteral("x,y,w,h")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("consumer"))) {
        std::fputs("tamber-sso is started by tamber when a user signs on.\n", stderr);
        return 2;
    }

    SSOHelperChannel channel;
    auto forwarder = std::make_shared<SSOLogForwarder>(channel);
    forwarder->setLogFormatter(std::make_shared<DetailedLogFormatter>());
    LogDispatcher::shared()->addLogger(forwarder);
    int exitCode = 0;
    {
        SSOLoginWindow window(parser.value(QStringLiteral("consumer")));
        QObject::connect(&channel, &SSOHelperChannel::received, &window, &SSOLoginWindow::execute);
        QObject::connect(&window, &SSOLoginWindow::sendEvent, &channel, &SSOHelperChannel::send);
        // The application went away without ending this process.
        QObject::connect(&channel, &SSOHelperChannel::closed, &app, &QCoreApplication::quit);
        place(window, parseArea(parser.value(QStringLiteral("area"))));
        window.show();
        window.raise();
        window.activateWindow();
        // The window and its spinner are on screen first; then the web engine starts.
        QTimer::singleShot(0, &window, [&window] {
            window.startWebEngine();
            // SSL_CERT_FILE, as the application honours it.
            ServiceCall::installExtraCaCertificates();
        });
        // Closing the window by hand ends the process with 0: the sign-on is abandoned.
        exitCode = app.exec();
    }
    LogDispatcher::shared()->removeAllLoggers();
    return exitCode;
}
