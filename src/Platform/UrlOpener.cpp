#include "UrlOpener.h"

#include "Logging/Log.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrlQuery>
#include <utility>

namespace {

class DesktopUrlOpener final : public UrlOpenerBackend {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

UrlOpenerBackend*& installedBackend() {
    static UrlOpenerBackend* backend = nullptr;
    return backend;
}

} // namespace

QString UrlOpener::loggable(const QUrl& url) {
    QUrl shown = url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    // A meeting address: "/<meeting id>/<passcode>".
    static const QRegularExpression meeting(QStringLiteral("^(/[0-9]+/)[^/]+/?$"));
    const QRegularExpressionMatch m = meeting.match(shown.path());
    if (!m.hasMatch())
        return shown.toDisplayString();
    // Appended as text: QUrl would percent-encode the angle brackets.
    shown.setPath(m.captured(1));
    return shown.toDisplayString() + QStringLiteral("<passcode>");
}

bool UrlOpener::isAllowed(const QUrl& url) {
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    // A recipient in the path or, for a mail with subject and body, in the "to" value.
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty() ||
               !QUrlQuery(url).queryItemValue(QStringLiteral("to")).isEmpty();
    return false;
}

bool UrlOpener::open(const QUrl& url) {
    if (!isAllowed(url)) {
        TLOG_WARN(QStringLiteral("Refused to open \"%1\": only web and mail addresses are opened")
                      .arg(url.isValid() ? url.scheme() + QLatin1Char(':')
                                         : QStringLiteral("an invalid address")));
        return false;
    }
    static DesktopUrlOpener desktop;
    UrlOpenerBackend* backend = installedBackend() ? installedBackend() : &desktop;
    if (!backend->open(url)) {
        TLOG_ERROR(QStringLiteral("Could not open %1: no handler started").arg(loggable(url)));
        return false;
    }
    TLOG_DEBUG(QStringLiteral("Opened %1").arg(loggable(url)));
    return true;
}

UrlOpenerBackend* UrlOpener::setBackend(UrlOpenerBackend* backend) {
    return std::exchange(installedBackend(), backend);
}
