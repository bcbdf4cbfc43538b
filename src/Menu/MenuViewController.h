#pragma once

#include "AbstractTamberWindowController/AbstractTamberViewController.h"

#include <QPointer>

class AttendMeetingViewController;
class InstantMeetingViewController;
class MenuContainerView;
class MenuOverlayView;
class PreferencesViewController;
class QAbstractButton;
class QPushButton;
class QVBoxLayout;
class TamberMenuView;
class UpcomingMeetingsViewController;

// The menu popover's content: a rounded frame holding the menu view, whose blue header band
// carries the four tab buttons (upcoming meetings, join, personal meeting, preferences) over a
// content area (containerView) that shows one page at a time.
//
// The upcoming-meetings page lives as long as the menu (so the state of its schedule button
// follows the latest fetch); the other pages are built anew each time their tab is chosen.
class MenuViewController : public AbstractTamberViewController {
    Q_OBJECT
public:
    explicit MenuViewController(QWidget* parent = nullptr);
    ~MenuViewController() override;

    static constexpr int kMenuWidth = 340;
    static constexpr int kMenuHeight = 470;
    static constexpr int kHeaderHeight = 50;

    enum Tab {
        UpcomingMeetingsTab = 1,
        AttendMeetingTab = 2,
        InstantMeetingTab = 3,
        PreferencesTab = 4
    };

    TamberMenuView* menuView() const { return m_menuView; }
    MenuOverlayView* menuOverlay() const { return m_menuOverlay; }
    MenuContainerView* menuContainerView() const { return m_menuContainerView; }
    QWidget* containerView() const { return m_containerView; }

    QPushButton* tabButton(int tag) const;
    // The tag of the tab shown now (0 before any).
    int selectedTab() const { return m_selectedTab; }
    // Distance of the content area from the tab row.
    int menuContentsViewConstraint() const { return m_menuContentsViewConstraint; }

    UpcomingMeetingsViewController* upcomingMeetingsViewController() const;
    AttendMeetingViewController* attendMeetingViewController() const;
    InstantMeetingViewController* instantMeetingViewController() const;
    PreferencesViewController* preferencesViewController() const;

    // Tab actions.
    void showUpcomingMeetings();
    // Called each time the menu has shown, so the menu always opens on its meetings tab.
    virtual void updateUpcomingMeetings();
    void attendMeeting();
    void startInstantMeeting();
    // The switch itself runs one turn of the main queue later.
    void showPreferences();

    void updateSelectedButton(QAbstractButton* button);
    void resetAllControllers();

    // The icon of a tab: "meetingsIcon", "joinMeetingsIcon", "personalMeetingIcon",
    // "settingsIcon"; empty for an unknown tag.
    static QString iconName(int tag);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildHeader();
    QPushButton* makeTabButton(int tag, const QString& name, const QString& toolTip);
    void placeInContainer(QWidget* view);
    void setMenuContentsViewConstraint(int distance);
    void switchToPreferences();

    TamberMenuView* m_menuView = nullptr;
    MenuOverlayView* m_menuOverlay = nullptr;
    MenuContainerView* m_menuContainerView = nullptr;
    QWidget* m_containerView = nullptr;
    QVBoxLayout* m_containerLayout = nullptr;
    QPushButton* m_tabs[4] = {};
    int m_selectedTab = 0;
    int m_menuContentsViewConstraint = 20;

    QPointer<UpcomingMeetingsViewController> m_upcomingMeetingsViewController;
    QPointer<AttendMeetingViewController> m_attendMeetingViewController;
    QPointer<InstantMeetingViewController> m_instantMeetingViewController;
    QPointer<PreferencesViewController> m_preferencesViewController;
};
