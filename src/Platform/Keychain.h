#pragma once

#include <QString>
#include <chrono>
#include <optional>

// Generic-password items of the platform's secret store: the freedesktop Secret Service on
// Linux (items as QtKeychain stores them, so earlier versions read them), QtKeychain on macOS.
// Calls are synchronous for the caller, with a bounded wait (5 s) on the secret service; they
// spin a local event loop meanwhile, so call them from a thread with a Qt event dispatcher.
// Failures are logged with their reason, never with the password.
namespace Keychain {

// The code of a call without service or account.
constexpr int kBadArgumentsCode = -1001;

// Failure codes: the numbers of QtKeychain's Error enum, which earlier versions reported.
enum Code : int {
    NoError = 0,
    EntryNotFound = 1,
    CouldNotDeleteEntry = 2,
    AccessDeniedByUser = 3,
    AccessDenied = 4,
    NoBackendAvailable = 5,
    NotImplemented = 6,
    OtherError = 7,
};

struct Result {
    bool ok = false;
    int code = 0;    // a Code, or kBadArgumentsCode
    QString message; // human description of the failure
};

// Stores the password, replacing any item of that service and account in one write; a failed
// write leaves the earlier item as it was.
Result setPassword(const QString& password, const QString& service, const QString& account);
// The password, or nothing when there is no item, it is empty, or the store is unreachable.
std::optional<QString> passwordFor(const QString& service, const QString& account);
Result deletePassword(const QString& service, const QString& account);

// The bounded wait, 5 s unless a test of the keyring's prompt changes it.
void setWaitForTests(std::chrono::milliseconds wait);

} // namespace Keychain
