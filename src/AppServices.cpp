#include "AppServices.h"

#include "Analytics/AnalyticsController.h"
#include "Logging/Logging.h"
#include "Models/TamberDataModel.h"
#include "Platform/LoginItems.h"
#include "Platform/SystemInfo.h"

namespace {

// The account calls report a service error; the controller only needs to know it failed.
template <typename Call> auto ignoringError(Call call) {
    return [call](AppServices::Callback onSuccess, AppServices::Callback onError) {
        call(std::move(onSuccess), [onError](const std::optional<ServiceError>&) {
            if (onError) {
                onError();
            }
        });
    };
}

} // namespace

AppServices AppServices::real() {
    AppServices s;
    s.osSupported = &SystemInfo::osSupported;
    s.addLoginItem = [] { return LoginItems::addApplication(); };
    s.startLogging = &Logging::start;
    s.logFilePaths = &Logging::sortedLogFilePaths;
    s.serialNumber = &TamberDataModel::serialNumber;
    s.sendAppFirstLaunch = &AnalyticsController::sendAppFirstLaunch;
    s.sendAppFocus = &AnalyticsController::sendAppFocus;
    s.sendAppHide = &AnalyticsController::sendAppHide;
    s.sendConfigComplete = &AnalyticsController::sendConfigComplete;
    s.fetchPersonalMeetingDescription =
        ignoringError(&TamberDataModel::fetchPersonalMeetingDescription);
    s.revokeToken = &TamberDataModel::revokeAccessToken;
    return s;
}
