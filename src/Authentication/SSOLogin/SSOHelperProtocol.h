#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QString>
#include <optional>

// What the application and its sign-on window process (tamber-sso) say to each other: one
// compact JSON object per line, commands on the helper's standard input, events on its standard
// output. Standard streams rather than a local socket: the pipes belong to these two processes
// only (no name another program could connect to), and end-of-file on the input tells the helper
// that its application is gone.
namespace SSOHelperProtocol {

// Commands: {"do": <name>, ...}.
inline constexpr char kLoad[] = "load";         // url, consumer, trusted: [{url, certificate}]
inline constexpr char kOverlay[] = "overlay";   // show, success
inline constexpr char kMessage[] = "message";   // text, retry
inline constexpr char kRaise[] = "raise";       //
inline constexpr char kEvaluate[] = "evaluate"; // id, script (only with kTestHooksVariable set)
inline constexpr char kSnapshot[] = "snapshot"; // name (saved under TAMBER_SCREENSHOT_DIR)
inline constexpr char kPress[] = "press";       // name of a button (only with the test hooks)

// Events: {"event": <name>, ...}.
inline constexpr char kView[] = "view"; // SSOWindowState
// url, verb ("POST", "GET", or empty when the form's fields could not be read), body
inline constexpr char kAssertion[] = "assertion";
inline constexpr char kRetry[] = "retry";         // "Try again" was clicked
inline constexpr char kLog[] = "log";             // level, message
inline constexpr char kEvaluated[] = "evaluated"; // id, result
inline constexpr char kSnapshotSaved[] = "snapshot";

// Scripts from the application run in the page only when this is "1" (the tests drive the
// identity provider's form this way).
inline constexpr char kTestHooksVariable[] = "TAMBER_SSO_TEST_HOOKS";

inline QByteArray encode(const QJsonObject& message) {
    // Compact JSON escapes line breaks inside strings: one message is one line.
    return QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
}

inline std::optional<QJsonObject> decode(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace SSOHelperProtocol

// What the sign-on window shows, as its process last reported it.
struct SSOWindowState {
    bool visible = false;
    bool overlay = false;
    bool successLabel = false;
    bool spinning = false;
    bool retry = false;
    QString message;
    QString host;
    bool verified = false;
    bool active = false;
    qint64 windowId = 0; // the native window, for the tests' window-manager requests
    QRect frame;

    QJsonObject toJson() const {
        return {{"event", SSOHelperProtocol::kView},
                {"visible", visible},
                {"overlay", overlay},
                {"successLabel", successLabel},
                {"spinning", spinning},
                {"retry", retry},
                {"message", message},
                {"host", host},
                {"verified", verified},
                {"active", active},
                {"windowId", windowId},
                {"frame", QJsonArray{frame.x(), frame.y(), frame.width(), frame.height()}}};
    }
    static SSOWindowState fromJson(const QJsonObject& json) {
        SSOWindowState state;
        state.visible = json.value("visible").toBool();
        state.overlay = json.value("overlay").toBool();
        state.successLabel = json.value("successLabel").toBool();
        state.spinning = json.value("spinning").toBool();
        state.retry = json.value("retry").toBool();
        state.message = json.value("message").toString();
        state.host = json.value("host").toString();
        state.verified = json.value("verified").toBool();
        state.active = json.value("active").toBool();
        state.windowId = json.value("windowId").toInteger();
        const QJsonArray frame = json.value("frame").toArray();
        state.frame = QRect(frame.at(0).toInt(), frame.at(1).toInt(), frame.at(2).toInt(),
                            frame.at(3).toInt());
        return state;
    }
    bool operator==(const SSOWindowState&) const = default;
};
