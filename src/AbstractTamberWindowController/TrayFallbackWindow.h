#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

// A small normal window that offers the tray icon's click, tooltip and right-click menu where
// the desktop has no tray host.
class TrayFallbackWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrayFallbackWindow(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    // Not owned, as with the tray icon's menu.
    void setContextMenu(QMenu* menu);
    QRect buttonGlobalGeometry() const;

Q_SIGNALS:
    void openRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QPointer<QMenu> m_contextMenu;
    QLabel* m_iconLabel;
    QPushButton* m_openButton;
};
