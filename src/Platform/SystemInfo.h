#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Facts about the machine and the operating system.
namespace SystemInfo {

// A stable identifier of this machine for this application: the first 12 upper-case hex digits
// of HMAC-SHA256(bundle id, machine id). The raw machine id never leaves this function. Absent
// when no machine id can be read.
std::optional<QString> serialNumber();
// The same, reading the first usable file of the list (tests point it elsewhere).
std::optional<QString> serialNumberFrom(const QStringList& machineIdFiles);

// Whether the running system is one the application supports (any Linux; macOS 10.9 or later).
bool osSupported();
// A readable name and version of the running system, for logs and mails.
QString osVersionText();

} // namespace SystemInfo
