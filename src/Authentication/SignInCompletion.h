#pragma once

#include "Models/ServiceCall.h"

#include <QString>
#include <optional>

// The last step of both sign-in windows: the user details after the token. Until they are in,
// the account record holds no token, so a failed step leaves the user signed out, not half in.
class SignInCompletion {
public:
    // "Signed in, but your account details could not be loaded: <error>. Try again."
    static QString detailsNotLoadedMessage(const std::optional<ServiceError>& error);

    // Clears the token and the identity that came with it, in memory and in the store.
    static void forgetUnconfirmedToken();
};
