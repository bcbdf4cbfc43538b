#pragma once

#include <QPixmap>
#include <QWidget>

// The sign-in window itself: a fixed-size window whose content sits on the "dialogBkgd" image.
class PasswordLoginWindow : public QWidget {
    Q_OBJECT
public:
    explicit PasswordLoginWindow(QWidget* parent = nullptr);

Q_SIGNALS:
    // The user closed the window from its title bar.
    void closedByUser();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The image drawn at the window's size, rendered again only when that size changes.
    QPixmap m_background;
};
