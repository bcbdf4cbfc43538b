#include "AppController.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "TamberApplication.h"

int main(int argc, char* argv[]) {
    TamberApplication app(argc, argv);
    TamberApplication::setApplicationName(BundleInfo::appName());
    TamberApplication::setOrganizationDomain(BundleInfo::bundleIdentifier());
    TamberApplication::setQuitOnLastWindowClosed(false);

    AppController controller;
    controller.awakeFromNib();
    controller.applicationWillFinishLaunching();
    if (controller.closeRequested()) {
        return 0;
    }
    controller.applicationDidFinishLaunching();

    // Drafts and the rest of the record survive a normal quit.
    QObject::connect(&app, &QCoreApplication::aboutToQuit,
                     [] { TamberDataModel::saveDataToBundle(); });
    return app.exec();
}
