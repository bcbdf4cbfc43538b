#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// A small normal window that offers the tray icon's click where the desktop has no tray host.
class TrayFallbackWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrayFallbackWindow(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    QRect buttonGlobalGeometry() const;

Q_SIGNALS:
    void openRequested();

private:
    QLabel* m_iconLabel;
    QPushButton* m_openButton;
};
