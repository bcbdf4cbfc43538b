#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "AbstractTamberWindowController/TrayContextMenu.h"
#include "AppController.h"
#include "CommandLine.h"
#include "Logging/Logging.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/Notifier.h"
#include "Platform/SingleInstance.h"
#include "Platform/TerminationSignals.h"
#include "Reminders/ReminderClock.h"
#include "Reminders/ReminderController.h"
#include "TamberApplication.h"

#include <cstdio>

namespace {

// `tamber --join-next`: the running copy joins; this process only reports how it went.
int handJoinNextToRunningCopy(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::optional<QByteArray> answer =
        SingleInstance().request(QByteArrayLiteral("join-next"));
    if (!answer) {
        std::fprintf(stderr, "%s is not running\n", qPrintable(BundleInfo::appName()));
        return 1;
    }
    if (*answer == "ok")
        return 0;
    std::fprintf(stderr, "%s\n", answer->constData());
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    TamberApplication::setApplicationName(BundleInfo::appName());
    TamberApplication::setApplicationVersion(BundleInfo::version());
    const CommandLine::Outcome options = CommandLine::parse(CommandLine::fromArgv(argc, argv));
    std::fputs(qPrintable(options.standardOutput), stdout);
    std::fputs(qPrintable(options.standardError), stderr);
    if (options.exitCode)
        return *options.exitCode;

    if (options.joinNext)
        return handJoinNextToRunningCopy(argc, argv);

    // The patterns used here match short strings; PCRE's JIT compiler would add 0.4 MiB to the
    // resident memory of a program that idles most of the day.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
    TamberApplication app(argc, argv);
    TamberApplication::setOrganizationDomain(BundleInfo::bundleIdentifier());
    TamberApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    switch (instance.start()) {
    case SingleInstance::Role::HandedOff:
        return 0;
    case SingleInstance::Role::Failed:
        return 1;
    case SingleInstance::Role::Primary:
    case SingleInstance::Role::Unguarded:
        break;
    }

    // A private deployment (or the demo's simulator) names its CA in SSL_CERT_FILE; reading it
    // must not hold up the tray icon.
    ServiceCall::loadExtraCaCertificatesInBackground();

    AppController controller;
    controller.awakeFromNib();
    controller.applicationWillFinishLaunching();
    if (controller.closeRequested()) {
        return 0;
    }
    controller.applicationDidFinishLaunching();

    // Logout and shutdown (SIGTERM) end the application the way its Quit does.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &controller,
                     &AppController::terminateApp);

    // A second start asks this copy to show itself: open what a click on the icon opens.
    QObject::connect(&instance, &SingleInstance::activationRequested, &controller, [] {
        CustomStatusItemView* view = AppController::customStatusView();
        if (view && !view->highlighted()) {
            view->mouseDown();
        }
    });

    // Reminders, the tooltip and the icon's right-click menu follow the last fetched list.
    ReminderController reminders(Notifier::createDefault(), ReminderClock::system());
    TrayContextMenu trayMenu(reminders);
    const auto openMenu = [] {
        CustomStatusItemView* view = AppController::customStatusView();
        if (view && !view->highlighted())
            view->mouseDown();
    };
    QObject::connect(&trayMenu, &TrayContextMenu::openRequested, &controller, openMenu);
    QObject::connect(&reminders, &ReminderController::openRequested, &controller, openMenu);
    QObject::connect(&trayMenu, &TrayContextMenu::quitRequested, &controller,
                     &AppController::terminateApp);
    QObject::connect(&reminders, &ReminderController::toolTipChanged, &controller,
                     [](const QString& text) {
                         if (CustomStatusItemView* view = AppController::customStatusView())
                             view->setTitle(text);
                     });
    if (CustomStatusItemView* view = AppController::customStatusView())
        view->setContextMenu(&trayMenu);
    instance.setRequestHandler(QByteArrayLiteral("join-next"), [&reminders] {
        const ReminderController::JoinResult result = reminders.joinNext();
        return result == ReminderController::JoinResult::Joined
                   ? QByteArrayLiteral("ok")
                   : ReminderController::reason(result).toUtf8();
    });
    reminders.start();

    // Drafts and the rest of the record survive a normal quit.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&controller] {
        // An open scheduler keeps its form as a draft when it closes, before the record is saved.
        controller.closeActivePopover();
        TamberDataModel::saveDataToBundle();
        Logging::flush();
    });
    return app.exec();
}
