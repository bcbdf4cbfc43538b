#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class TrayFallbackWindow;

// The status icon: shows the plain or the alternate (highlighted) image and turns a click into
// "SELECTING_ACTION" / "DESELECTING_ACTION". Drawn by the desktop's tray host; where no tray
// host exists, a small normal window with an "Open" button stands in for it until one appears.
class CustomStatusItemView : public QObject {
    Q_OBJECT
public:
    explicit CustomStatusItemView(QObject* parent = nullptr);
    ~CustomStatusItemView() override;

    bool highlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    const QIcon& image() const { return m_image; }
    void setImage(const QIcon& image);
    const QIcon& alternateImage() const { return m_alternateImage; }
    void setAlternateImage(const QIcon& image);
    const QString& title() const { return m_title; }
    void setTitle(const QString& title);

    // The icon's right-click menu (not owned; it must outlive the icon or be cleared).
    void setContextMenu(QMenu* menu);

    // What a click on the icon does: toggle the highlight, then post the matching name.
    void mouseDown();

    // Where a popover is anchored: the tray icon, the fallback window's button, or empty
    // (the tray host gives no geometry: the popover goes to the cursor).
    QRect anchorGeometry() const;
    bool usesTray() const;
    // The window standing in for a missing tray, or null.
    QWidget* fallbackWindow() const;

    // Whether the desktop offers a tray right now; replaceable so tests can take it away.
    static void setTrayAvailabilityProbe(bool (*probe)());

private:
    void updateShownIcon();
    void ensurePresentation();
    void showTray();
    void showFallback();

    bool m_highlighted = false;
    QIcon m_image;
    QIcon m_alternateImage;
    QString m_title;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<TrayFallbackWindow> m_fallback;
    QTimer* m_trayRetry = nullptr;
    QPointer<QMenu> m_contextMenu;
    bool m_loggedNoTray = false;
};
