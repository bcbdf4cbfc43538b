#pragma once

#include "Platform/UrlOpener.h"

#include <QList>
#include <QUrl>

// Stands in for the browser and mail program while it lives: records every address the
// application opens (after UrlOpener's own checks) and restores the previous backend at the end.
class RecordingUrlOpener final : public UrlOpenerBackend {
public:
    RecordingUrlOpener()
        : m_previous(UrlOpener::setBackend(this)) {}
    ~RecordingUrlOpener() override { UrlOpener::setBackend(m_previous); }
    RecordingUrlOpener(const RecordingUrlOpener&) = delete;
    RecordingUrlOpener& operator=(const RecordingUrlOpener&) = delete;

    bool open(const QUrl& url) override {
        m_urls.append(url);
        return m_succeeds;
    }

    const QList<QUrl>& urls() const { return m_urls; }
    void clear() { m_urls.clear(); }
    // Whether the pretend handler starts (true by default).
    void setSucceeds(bool succeeds) { m_succeeds = succeeds; }

private:
    UrlOpenerBackend* m_previous;
    QList<QUrl> m_urls;
    bool m_succeeds = true;
};
