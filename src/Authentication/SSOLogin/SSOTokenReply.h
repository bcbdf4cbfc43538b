#pragma once

#include <QByteArray>

// The service's answer to the assertion post: the user's OAuth token and identity.
class SSOTokenReply {
public:
    // Copies "access_token", "expires_in" and the "scope" identity ("user", "enterprise",
    // "partitionName", "partition" -> "id") into the shared account record. A reply without a
    // usable "access_token" is a failed sign-in: it changes nothing and returns false.
    static bool store(const QByteArray& body);
};
