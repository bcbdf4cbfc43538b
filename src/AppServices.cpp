#include "AppServices.h"

#include "Logging/Log.h"

AppServices AppServices::real() {
    AppServices s;
    s.osSupported = [] { return true; };
    s.addLoginItem = [] { return false; };
    s.startLogging = [] {};
    s.logFilePaths = [] { return QStringList(); };
    s.sendAppFirstLaunch = [] {};
    s.sendAppFocus = [](const QString&) {};
    s.sendAppHide = [](const QString&) {};
    s.sendConfigComplete = [] {};
    s.fetchPersonalMeetingDescription = [](Callback, Callback) {};
    s.fetchAggregatedUserDetails = [](Callback, Callback) {};
    s.revokeToken = [](Callback) {};
    return s;
}
