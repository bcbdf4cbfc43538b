#pragma once

#include <QUrl>

// Where addresses are finally handed over. The default one asks the desktop (browser, mail
// program); tests install a recording one.
class UrlOpenerBackend {
public:
    virtual ~UrlOpenerBackend() = default;
    virtual bool open(const QUrl& url) = 0;
};

// Opens web and mail addresses with the user's default handler. Anything else (file:, custom
// schemes, javascript:) is refused and logged, whatever a service reply or a calendar note says.
namespace UrlOpener {

// The address as log lines show it: no user part, query or fragment (tokens), and the passcode
// of a meeting address ("/<meeting id>/<passcode>") as "<passcode>".
QString loggable(const QUrl& url);

// http and https with a host, or mailto with an address (in the path or as "to").
bool isAllowed(const QUrl& url);

// False when refused or when the handler could not be started. Main thread only.
bool open(const QUrl& url);

// Replaces the backend (not owned; it must outlive its use). nullptr restores the desktop one.
// Returns the backend that was in place (nullptr for the desktop one).
UrlOpenerBackend* setBackend(UrlOpenerBackend* backend);

} // namespace UrlOpener
