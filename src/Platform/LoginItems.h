#pragma once

#include <QString>

// Starting the application at login. On Linux an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/<bundle id>.desktop) that runs the current executable.
namespace LoginItems {

// Puts the running executable into the session's login items. The entry is written only when it
// is missing or says something else, and atomically. False (with a log line) when it could not.
bool addApplication();

// The same for a given executable and autostart folder (tests use their own).
bool addApplication(const QString& executable, const QString& autostartFolder);

// The autostart folder of the session: <config home>/autostart.
QString autostartFolder();

// The desktop entry text that starts the executable; empty when the path cannot be expressed.
QString desktopEntryFor(const QString& executable);

} // namespace LoginItems
