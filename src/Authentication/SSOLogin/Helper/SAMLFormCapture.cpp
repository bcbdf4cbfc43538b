#include "SAMLFormCapture.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const char* const kNoteName = "__tamberAssertionForm";

// Prototype getters are used instead of form.action / form.method because a field named
// "action" or "method" shadows those properties on the form element.
const char* const kScriptTemplate = R"JS(
(function () {
    'use strict';
    var consumer = %1[0];
    var noted = null;
    var actionOf = Object.getOwnPropertyDescriptor(HTMLFormElement.prototype, 'action').get;
    var methodOf = Object.getOwnPropertyDescriptor(HTMLFormElement.prototype, 'method').get;
    var hasAttribute = Element.prototype.hasAttribute;
    function note(form, submitter) {
        if (!(form instanceof HTMLFormElement))
            return;
        var action = actionOf.call(form);
        var method = methodOf.call(form);
        if (submitter && hasAttribute.call(submitter, 'formaction'))
            action = submitter.formAction;
        if (submitter && hasAttribute.call(submitter, 'formmethod'))
            method = submitter.formMethod;
        if (action !== consumer)
            return;
        var fields = [];
        new FormData(form).forEach(function (value, name) {
            if (typeof value === 'string')
                fields.push([name, value]);
        });
        if (submitter && submitter.name)
            fields.push([submitter.name, submitter.value]);
        noted = { action: action, method: String(method).toLowerCase(), fields: fields };
    }
    document.addEventListener('submit', function (event) {
        note(event.target, event.submitter);
    }, true);
    // form.submit() fires no submit event.
    var submit = HTMLFormElement.prototype.submit;
    HTMLFormElement.prototype.submit = function () {
        note(this, null);
        return submit.apply(this, arguments);
    };
    Object.defineProperty(window, '%2', { get: function () { return noted; } });
})();
)JS";

QString normalizedLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

void appendEncoded(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = normalizedLineBreaks(text).toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '*' || c == '-' || c == '.' || c == '_';
        if (kept) {
            out.append(char(c));
        } else if (c == ' ') {
            out.append('+');
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0x0F]);
        }
    }
}

} // namespace

QString SAMLFormCapture::documentScript(const QString& assertionConsumerUrl) {
    // A JSON array literal is a safe way to put any text into the script.
    const QString literal = QString::fromUtf8(
        QJsonDocument(QJsonArray{assertionConsumerUrl}).toJson(QJsonDocument::Compact));
    return QString::fromLatin1(kScriptTemplate).arg(literal, QLatin1String(kNoteName));
}

QString SAMLFormCapture::readScript() {
    return QStringLiteral("window.%1 || null").arg(QLatin1String(kNoteName));
}

std::optional<SAMLFormCapture::Form> SAMLFormCapture::formFromScriptResult(const QVariant& result) {
    if (result.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = result.toMap();
    const QVariant action = map.value(QStringLiteral("action"));
    const QVariant method = map.value(QStringLiteral("method"));
    const QVariant fields = map.value(QStringLiteral("fields"));
    if (action.typeId() != QMetaType::QString || method.typeId() != QMetaType::QString ||
        fields.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    Form form{action.toString(), method.toString(), {}};
    for (const QVariant& entry : fields.toList()) {
        const QVariantList pair = entry.toList();
        if (pair.size() != 2 || pair[0].typeId() != QMetaType::QString ||
            pair[1].typeId() != QMetaType::QString)
            return std::nullopt;
        form.fields.append({pair[0].toString(), pair[1].toString()});
    }
    return form;
}

QByteArray SAMLFormCapture::urlEncoded(const QList<QPair<QString, QString>>& fields) {
    QByteArray out;
    for (const auto& [name, value] : fields) {
        if (!out.isEmpty())
            out.append('&');
        appendEncoded(out, name);
        out.append('=');
        appendEncoded(out, value);
    }
    return out;
}
