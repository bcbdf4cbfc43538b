#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <optional>

// The web view never hands out the body of a form post, so a script placed in every page of
// the sign-on view notes the fields of the one form that posts to the assertion-consumer
// address (both when the user submits it and when the identity provider's script calls
// form.submit()). The window controller reads that note back after it has stopped the
// navigation and sends the post itself.
class SAMLFormCapture {
public:
    struct Form {
        QString action; // absolute address the form posts to
        QString method; // lower case: "post", "get"
        QList<QPair<QString, QString>> fields;
    };

    // Script source for document creation, in the page's main world (the identity provider's
    // own script must see the wrapped HTMLFormElement.prototype.submit).
    static QString documentScript(const QString& assertionConsumerUrl);
    // Expression whose value is the noted form, or null when none was submitted.
    static QString readScript();
    // The form as the read script returned it; nothing when the value is not a noted form.
    static std::optional<Form> formFromScriptResult(const QVariant& result);
    // application/x-www-form-urlencoded, byte for byte as a browser encodes it.
    static QByteArray urlEncoded(const QList<QPair<QString, QString>>& fields);
};
