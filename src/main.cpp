#include "AbstractTamberWindowController/CustomStatusItemView.h"
#include "AppController.h"
#include "CommandLine.h"
#include "Logging/Logging.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/SingleInstance.h"
#include "TamberApplication.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    TamberApplication::setApplicationName(BundleInfo::appName());
    TamberApplication::setApplicationVersion(BundleInfo::version());
    const CommandLine::Outcome options = CommandLine::parse(CommandLine::fromArgv(argc, argv));
    std::fputs(qPrintable(options.standardOutput), stdout);
    std::fputs(qPrintable(options.standardError), stderr);
    if (options.exitCode)
        return *options.exitCode;

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
    // (and the platform's store beside it) must not hold up the tray icon.
    ServiceCall::loadExtraCaCertificatesInBackground();

    AppController controller;
    controller.awakeFromNib();
    controller.applicationWillFinishLaunching();
    if (controller.closeRequested()) {
        return 0;
    }
    controller.applicationDidFinishLaunching();

    // A second start asks this copy to show itself: open what a click on the icon opens.
    QObject::connect(&instance, &SingleInstance::activationRequested, &controller, [] {
        CustomStatusItemView* view = AppController::customStatusView();
        if (view && !view->highlighted()) {
            view->mouseDown();
        }
    });

    // Drafts and the rest of the record survive a normal quit.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&controller] {
        // An open scheduler keeps its form as a draft when it closes, before the record is saved.
        controller.closeActivePopover();
        TamberDataModel::saveDataToBundle();
        Logging::flush();
    });
    return app.exec();
}
