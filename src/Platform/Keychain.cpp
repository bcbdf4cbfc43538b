#include "Keychain.h"

#include "Logging/Log.h"
#include "SecretService.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace {

using namespace std::chrono_literals;

std::chrono::milliseconds g_wait = 5s;

Keychain::Result badArguments() {
    return {false, Keychain::kBadArgumentsCode, QStringLiteral("SSKeychainErrorBadArguments")};
}

// Runs one request to its end, or until the wait runs out. The secret service answers over
// D-Bus, so this spins a local event loop: the one nested loop the application allows, because
// callers of the keychain are synchronous. User input is held back meanwhile. The request lives
// in this frame: on a timeout it is destroyed with it, and the answers still out go nowhere.
Keychain::Result run(const char* what, const std::function<void(SecretService&)>& start,
                     QByteArray* password = nullptr) {
    SecretService request(QDBusConnection::sessionBus());
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&request, &SecretService::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    // A timer of this call, stopped when it returns: a single shot would stay armed and wake
    // the idle application once the wait is over.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(g_wait);
    start(request);
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        TLOG_ERROR(QStringLiteral("Keychain %1 timed out: no answer from the secret service")
                       .arg(QLatin1String(what)));
        return {false, Keychain::OtherError,
                QStringLiteral("No answer from the secret service within %1 s")
                    .arg(std::chrono::duration_cast<std::chrono::seconds>(g_wait).count())};
    }
    const Keychain::Result result{request.code() == Keychain::NoError, request.code(),
                                  request.message()};
    if (result.code == Keychain::EntryNotFound) {
        TLOG_DEBUG(QStringLiteral("Keychain %1: no such item").arg(QLatin1String(what)));
    } else if (!result.ok) {
        TLOG_ERROR(QStringLiteral("Keychain %1 failed: %2 (code %3: %4)")
                       .arg(QLatin1String(what), request.reason())
                       .arg(result.code)
                       .arg(result.message));
    }
    if (password)
        *password = request.password();
    return result;
}

} // namespace

void Keychain::setWaitForTests(std::chrono::milliseconds wait) {
    g_wait = wait;
}

Keychain::Result Keychain::setPassword(const QString& password, const QString& service,
                                       const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return badArguments();
    return run("write",
               [&](SecretService& request) { request.write(service, account, password.toUtf8()); });
}

std::optional<QString> Keychain::passwordFor(const QString& service, const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return std::nullopt;
    QByteArray data;
    const Result read = run(
        "read", [&](SecretService& request) { request.read(service, account); }, &data);
    if (!read.ok || data.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(data);
}

Keychain::Result Keychain::deletePassword(const QString& service, const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return badArguments();
    // The service deletes a missing item without complaint; callers are told there was none.
    return run("delete", [&](SecretService& request) { request.remove(service, account); });
}
