#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What the application controller needs from the other subsystems, in one table so that tests
// can watch the launch sequence and sign-out without a desktop session or a service.
struct AppServices {
    using Callback = std::function<void()>;

    std::function<bool()> osSupported;
    std::function<bool()> addLoginItem;
    std::function<void()> startLogging;
    std::function<QStringList()> logFilePaths;
    std::function<std::optional<QString>()> serialNumber;
    std::function<void()> sendAppFirstLaunch;
    std::function<void(const QString&)> sendAppFocus;
    std::function<void(const QString&)> sendAppHide;
    std::function<void()> sendConfigComplete;
    std::function<void(Callback onSuccess, Callback onError)> fetchPersonalMeetingDescription;
    // Revokes the user token at the service without anyone waiting; onFailure on error.
    std::function<void(Callback onFailure)> revokeToken;

    // The real subsystems.
    static AppServices real();
};
