#pragma once

#include <QString>

// The application's information keys ("CFBundleIdentifier", "TMBAppName") and build settings.
namespace BundleInfo {

inline QString bundleIdentifier() {
    return QStringLiteral(TAMBER_BUNDLE_ID);
}
inline QString appName() {
    return QStringLiteral(TAMBER_APP_NAME);
}
// The build's version (the CMake project version).
inline QString version() {
    return QStringLiteral(TAMBER_VERSION);
}
inline QString defaultApiHost() {
    return QStringLiteral(TAMBER_DEFAULT_API_HOST);
}
inline QString statisticsHost() {
    return QStringLiteral(TAMBER_STATS_HOST);
}
inline QString staticAssetsHost() {
    return QStringLiteral(TAMBER_STATIC_HOST);
}
inline QString logUploadHost() {
    return QStringLiteral(TAMBER_LOG_UPLOAD_HOST);
}
// A display name followed by the address in angle brackets.
inline QString supportMailbox() {
    return QStringLiteral(TAMBER_SUPPORT_MAILBOX);
}
inline QString webHost() {
    return QStringLiteral(TAMBER_WEB_HOST);
}
// The appcast address; empty when updates come from the system's package manager.
inline QString updateFeed() {
    return QStringLiteral(TAMBER_UPDATE_FEED);
}
// Meeting links in calendar events end their host with this domain.
inline QString meetingLinkDomain() {
    return QStringLiteral(TAMBER_MEETING_LINK_DOMAIN);
}

} // namespace BundleInfo
