#pragma once

#include <QString>

// Keeps credentials out of every log destination. A value given to one of the keys
// access_token (also app_access_token), refresh_token, client_secret or password, whether as a
// query value (access_token=...) or as JSON ("access_token":"..." or "access_token" : "..."),
// is written as "<key>=<redacted>".
class LogRedactor {
public:
    static QString redact(const QString& text);
};
