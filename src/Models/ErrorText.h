#pragma once

#include <QString>

// Error descriptions placed inside the application's own sentences.
class ErrorText {
public:
    // The description as the middle of a sentence: trimmed, no final stop, and a capital that
    // only starts the sentence lowered ("The network…" but not "HTTP…").
    static QString clause(const QString& description);
};
