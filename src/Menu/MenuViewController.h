#pragma once

#include "AbstractTamberWindowController/AbstractTamberViewController.h"

class MenuOverlayView;
class QLabel;
class QPushButton;
class QVBoxLayout;
class TamberMenuView;

// The menu popover's content: a rounded frame holding the menu view, whose header band shows
// the signed-in user and whose content area (containerView) holds one page at a time.
// For now the only page is the account page with Sign out and Quit; the tabbed pages plug into
// containerView().
class MenuViewController : public AbstractTamberViewController {
    Q_OBJECT
public:
    explicit MenuViewController(QWidget* parent = nullptr);
    ~MenuViewController() override;

    static constexpr int kMenuWidth = 340;
    static constexpr int kMenuHeight = 236;

    TamberMenuView* menuView() const { return m_menuView; }
    MenuOverlayView* menuOverlay() const { return m_menuOverlay; }
    QWidget* containerView() const { return m_containerView; }

    // Called each time the menu has shown: brings the page up to date with the account record.
    virtual void updateUpcomingMeetings();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildHeader();
    void buildAccountPage();

    TamberMenuView* m_menuView = nullptr;
    MenuOverlayView* m_menuOverlay = nullptr;
    QWidget* m_containerView = nullptr;
    QLabel* m_userNameLabel = nullptr;
    QLabel* m_userDetailLabel = nullptr;
};
