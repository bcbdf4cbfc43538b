#pragma once

#include <QString>

// Keeps credentials out of every log destination. A value given to one of the keys
// access_token (also app_access_token), refresh_token, client_secret, password or passcode (also
// attendeePasscode, "Passcode: 1357"), whether as a query value (access_token=...), as JSON
// ("access_token":"..." or "access_token" : "...") or as text, is written as
// "<key>=<redacted>". The callers keep secrets out in the first place; this is the second line.
class LogRedactor {
public:
    static QString redact(const QString& text);
};
