#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// Checks whether a newer release exists. Linux builds read an update feed (appcast) when one is
// configured and otherwise leave updates to the system's package manager; a macOS build can
// plug the platform's updater in here.
class Updater {
public:
    struct Answer {
        enum class Kind { Available, UpToDate, PackageManager, Failed };
        Kind kind = Kind::Failed;
        QString version;   // the newer release (Available) or the running one (UpToDate)
        QUrl downloadPage; // Available only
        QString reason;    // Failed only: one line for the user
    };
    using Answered = std::function<void(const Answer&)>;

    virtual ~Updater() = default;
    // `answered` runs once on the main thread, never from within the call.
    virtual void checkForUpdates(Answered answered) = 0;

    // The updater of this build.
    static Updater& shared();
    // Replaces the shared updater (not owned); nullptr restores the build's own.
    static void setSharedForTesting(Updater* updater);
};
