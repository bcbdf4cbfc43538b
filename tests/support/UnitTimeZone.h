#pragma once

#include <QtGlobal>
#include <ctime>

// Local time follows TZ: the zone-dependent unit suites set it, before the application object
// exists and again per test.
inline void useZone(const char* zone) {
    qputenv("TZ", zone);
    tzset();
}
