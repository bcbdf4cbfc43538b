#include "CustomStatusItemView.h"

#include "Logging/Log.h"
#include "Platform/BundleInfo.h"
#include "Platform/NotificationCenter.h"
#include "TrayFallbackWindow.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
bool (*trayProbe)() = &QSystemTrayIcon::isSystemTrayAvailable;
constexpr int kTrayRetryMs = 5000;
} // namespace

CustomStatusItemView::CustomStatusItemView(QObject* parent)
    : QObject(parent) {}

CustomStatusItemView::~CustomStatusItemView() = default;

void CustomStatusItemView::setTrayAvailabilityProbe(bool (*probe)()) {
    trayProbe = probe ? probe : &QSystemTrayIcon::isSystemTrayAvailable;
}

void CustomStatusItemView::setHighlighted(bool highlighted) {
    m_highlighted = highlighted;
    updateShownIcon();
}

void CustomStatusItemView::setImage(const QIcon& image) {
    if (image.cacheKey() == m_image.cacheKey()) {
        return;
    }
    m_image = image;
    updateShownIcon();
}

void CustomStatusItemView::setAlternateImage(const QIcon& image) {
    if (image.cacheKey() == m_alternateImage.cacheKey()) {
        return;
    }
    m_alternateImage = image;
    updateShownIcon();
}

void CustomStatusItemView::setTitle(const QString& title) {
    if (title == m_title) {
        return;
    }
    m_title = title;
    updateShownIcon();
}

void CustomStatusItemView::setContextMenu(QMenu* menu) {
    m_contextMenu = menu;
    if (m_tray)
        m_tray->setContextMenu(menu);
    if (m_fallback)
        m_fallback->setContextMenu(menu);
}

void CustomStatusItemView::mouseDown() {
    TLOG_DEBUG(QStringLiteral("MOUSE DOW %1").arg(m_highlighted ? 1 : 0));
    m_highlighted = !m_highlighted;
    updateShownIcon();
    NotificationCenter::defaultCenter().post(m_highlighted ? QStringLiteral("SELECTING_ACTION")
                                                           : QStringLiteral("DESELECTING_ACTION"));
}

QRect CustomStatusItemView::anchorGeometry() const {
    if (m_tray) {
        return m_tray->geometry();
    }
    if (m_fallback) {
        return m_fallback->buttonGlobalGeometry();
    }
    return {};
}

bool CustomStatusItemView::usesTray() const {
    return m_tray != nullptr;
}

QWidget* CustomStatusItemView::fallbackWindow() const {
    return m_fallback.get();
}

void CustomStatusItemView::updateShownIcon() {
    ensurePresentation();
    const QIcon& shown = m_highlighted ? m_alternateImage : m_image;
    const QString tip = m_title.isEmpty() ? BundleInfo::appName() : m_title;
    if (m_tray) {
        m_tray->setIcon(shown);
        m_tray->setToolTip(tip);
    }
    if (m_fallback) {
        m_fallback->setIcon(shown);
        m_fallback->setToolTip(tip); // its button and icon show it too
    }
}

void CustomStatusItemView::ensurePresentation() {
    if (m_tray || m_fallback) {
        return;
    }
    if (trayProbe()) {
        showTray();
    } else {
        showFallback();
    }
}

void CustomStatusItemView::showTray() {
    m_tray = std::make_unique<QSystemTrayIcon>();
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    mouseDown();
                }
            });
    m_tray->setIcon(m_highlighted ? m_alternateImage : m_image);
    if (m_contextMenu)
        m_tray->setContextMenu(m_contextMenu);
    m_tray->show();
}

void CustomStatusItemView::showFallback() {
    if (!m_loggedNoTray) {
        TLOG_WARN(QStringLiteral("No system tray host on this desktop; showing the %1 window "
                                 "instead and checking again every %2 s")
                      .arg(BundleInfo::appName())
                      .arg(kTrayRetryMs / 1000));
        m_loggedNoTray = true;
    }
    m_fallback = std::make_unique<TrayFallbackWindow>();
    connect(m_fallback.get(), &TrayFallbackWindow::openRequested, this,
            &CustomStatusItemView::mouseDown);
    m_fallback->setContextMenu(m_contextMenu);
    m_fallback->show();

    if (!m_trayRetry) {
        m_trayRetry = new QTimer(this);
        m_trayRetry->setInterval(kTrayRetryMs);
        connect(m_trayRetry, &QTimer::timeout, this, [this] {
            if (!trayProbe()) {
                return;
            }
            TLOG_INFO(QStringLiteral("A system tray host appeared; moving the icon there"));
            m_trayRetry->stop();
            m_fallback.reset();
            showTray();
            updateShownIcon();
        });
    }
    m_trayRetry->start();
}
