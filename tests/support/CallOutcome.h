#pragma once

#include "Models/ServiceCall.h"

#include <QTest>
#include <functional>
#include <optional>

// What one service call reported through its success and error callbacks.
struct CallOutcome {
    int successes = 0;
    int errors = 0;
    std::optional<ServiceError> error;

    int calls() const { return successes + errors; }
    bool done() const { return calls() > 0; }
    std::function<void()> onSuccess() {
        return [this] { ++successes; };
    }
    std::function<void(const std::optional<ServiceError>&)> onError() {
        return [this](const std::optional<ServiceError>& e) {
            ++errors;
            error = e;
        };
    }
    // The error's code, 0 when the call failed without one or did not fail.
    int code() const { return error ? error->code : 0; }
    // Waits for the first callback; false on timeout.
    bool wait(int timeoutMs = 15000) const {
        return QTest::qWaitFor([this] { return done(); }, timeoutMs);
    }
    // Waits for the first callback; true when it was the success.
    bool succeeded(int timeoutMs = 15000) const { return wait(timeoutMs) && successes == calls(); }
};
