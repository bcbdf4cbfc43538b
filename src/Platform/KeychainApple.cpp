#include "Keychain.h"
#include "Logging/Log.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <qt6keychain/keychain.h>

static_assert(Keychain::EntryNotFound == QKeychain::EntryNotFound &&
              Keychain::AccessDeniedByUser == QKeychain::AccessDeniedByUser &&
              Keychain::OtherError == QKeychain::OtherError);

namespace {

using namespace std::chrono_literals;

std::chrono::milliseconds g_wait = 5s;

Keychain::Result badArguments() {
    return {false, Keychain::kBadArgumentsCode, QStringLiteral("SSKeychainErrorBadArguments")};
}

// Why a secret-store call failed, in words for the log. The D-Bus backends report most
// failures as OtherError, so its message tells them apart.
QString reasonFor(int code, const QString& message) {
    switch (code) {
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return QStringLiteral("no secret service available");
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("refused by the user");
    case QKeychain::AccessDenied:
        return QStringLiteral("keyring locked or access refused");
    case QKeychain::EntryNotFound:
        return QStringLiteral("no such item");
    case QKeychain::CouldNotDeleteEntry:
        return QStringLiteral("item could not be deleted");
    default:
        break;
    }
    if (message.contains(QLatin1String("connect"), Qt::CaseInsensitive) ||
        message.contains(QLatin1String("ServiceUnknown")) ||
        message.contains(QLatin1String("not provided by any")))
        return QStringLiteral("no secret service running");
    if (message.contains(QLatin1String("collection"), Qt::CaseInsensitive) ||
        message.contains(QLatin1String("locked"), Qt::CaseInsensitive))
        return QStringLiteral("keyring locked or missing");
    if (message.contains(QLatin1String("No answer")))
        return QStringLiteral("secret service not answering");
    return QStringLiteral("secret service error");
}

// Runs a job to its end, or until the wait runs out. The secret service answers over D-Bus, so
// this spins a local event loop: the one nested loop the application allows, because callers
// of the keychain are synchronous. User input is held back meanwhile. On a timeout the job is
// left to finish (and delete itself) later; its signals no longer reach this frame, so
// onFinished only ever runs while the caller waits.
Keychain::Result run(QKeychain::Job* job, const char* what,
                     const std::function<void(QKeychain::Job*)>& onFinished = {}) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    Keychain::Result result;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        result.ok = done->error() == QKeychain::NoError;
        result.code = done->error();
        result.message = result.ok ? QString() : done->errorString();
        if (onFinished)
            onFinished(done);
        loop.quit();
    });
    // A timer of this call, stopped when it returns: a single shot would stay armed and wake
    // the idle application once the wait is over.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(g_wait);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) {
        result = {false, QKeychain::OtherError,
                  QStringLiteral("No answer from the secret service within %1 s")
                      .arg(std::chrono::duration_cast<std::chrono::seconds>(g_wait).count())};
        TLOG_ERROR(QStringLiteral("Keychain %1 timed out: no answer from the secret service")
                       .arg(QLatin1String(what)));
    }
    return result;
}

void logFailure(const char* what, const Keychain::Result& result) {
    if (result.code == QKeychain::EntryNotFound) {
        TLOG_DEBUG(QStringLiteral("Keychain %1: no such item").arg(QLatin1String(what)));
        return;
    }
    TLOG_ERROR(QStringLiteral("Keychain %1 failed: %2 (code %3: %4)")
                   .arg(QLatin1String(what), reasonFor(result.code, result.message))
                   .arg(result.code)
                   .arg(result.message));
}

Keychain::Result remove(const QString& service, const QString& account) {
    auto* job = new QKeychain::DeletePasswordJob(service);
    job->setKey(account);
    return run(job, "delete");
}

} // namespace

void Keychain::setWaitForTests(std::chrono::milliseconds wait) {
    g_wait = wait;
}

Keychain::Result Keychain::setPassword(const QString& password, const QString& service,
                                       const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return badArguments();
    // The write replaces an earlier item in one step: a delete first would leave nothing
    // stored if the write then failed or timed out.
    auto* job = new QKeychain::WritePasswordJob(service);
    job->setKey(account);
    job->setBinaryData(password.toUtf8());
    const Result written = run(job, "write");
    if (!written.ok)
        logFailure("write", written);
    return written;
}

std::optional<QString> Keychain::passwordFor(const QString& service, const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return std::nullopt;
    auto* job = new QKeychain::ReadPasswordJob(service);
    job->setKey(account);
    QByteArray data;
    const Result read = run(job, "read", [&data](QKeychain::Job* done) {
        data = static_cast<QKeychain::ReadPasswordJob*>(done)->binaryData();
    });
    if (!read.ok) {
        logFailure("read", read);
        return std::nullopt;
    }
    if (data.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(data);
}

Keychain::Result Keychain::deletePassword(const QString& service, const QString& account) {
    if (service.isEmpty() || account.isEmpty())
        return badArguments();
    // The secret service deletes a missing item without complaint; callers are told there was
    // none, as a lookup-then-delete would.
    auto* lookup = new QKeychain::ReadPasswordJob(service);
    lookup->setKey(account);
    const Result found = run(lookup, "lookup");
    if (!found.ok) {
        logFailure("delete", found);
        return found;
    }
    const Result removed = remove(service, account);
    if (!removed.ok)
        logFailure("delete", removed);
    return removed;
}
