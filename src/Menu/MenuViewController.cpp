#include "MenuViewController.h"

#include "AbstractTamberWindowController/MenuContainerView.h"
#include "AbstractTamberWindowController/MenuOverlayView.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "AttendMeeting/AttendMeetingViewController.h"
#include "InstantMeeting/InstantMeetingViewController.h"
#include "Logging/Log.h"
#include "MenuStyle.h"
#include "Platform/MainQueue.h"
#include "Platform/NotificationCenter.h"
#include "Preferences/PreferencesViewController.h"
#include "UpcomingMeetings/UpcomingMeetingsViewController.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kTagProperty = "tag";
const char* const kImageNameProperty = "imageName";

const char* const kTabStyle = R"(
QPushButton { border: none; background: transparent; padding: 0px; }
QPushButton:hover { background: rgba(255, 255, 255, 28); border-radius: 6px; }
QPushButton:focus { outline: none; }
)";

} // namespace

MenuViewController::MenuViewController(QWidget* parent)
    : AbstractTamberViewController(parent) {
    setObjectName(QStringLiteral("menuViewController"));
    m_menuView = new TamberMenuView(this);
    m_menuView->setObjectName(QStringLiteral("menuView"));
    // The first draw moves the view into the frame and adds the extra height.
    m_menuView->setGeometry(0, 0, kMenuWidth, kMenuHeight - TamberMenuView::kExtraHeight);
    auto* layout = new QVBoxLayout(m_menuView);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildHeader();
    m_containerView = new QWidget(m_menuView);
    m_containerView->setObjectName(QStringLiteral("containerView"));
    m_containerLayout = new QVBoxLayout(m_containerView);
    // The distance from the tab row is the container's top margin, so the page's own
    // background (set on the container when the page is placed) runs up to the tab row.
    m_containerLayout->setContentsMargins(0, m_menuContentsViewConstraint, 0, 0);
    m_containerView->setAutoFillBackground(true);
    m_containerLayout->setSpacing(0);
    layout->addWidget(m_menuOverlay);
    layout->addWidget(m_containerView, 1);

    // The dimming layer over the whole menu view, shown only while a view sits on top.
    m_menuContainerView = new MenuContainerView(m_menuView);
    m_menuContainerView->setObjectName(QStringLiteral("menuContainerView"));
    m_menuContainerView->setGeometry(m_menuView->rect());
    m_menuContainerView->hide();
    setFixedSize(sizeHint());
}

MenuViewController::~MenuViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    logDealloc(QStringLiteral("..Removing from notification center"));
}

QSize MenuViewController::sizeHint() const {
    return {kMenuWidth + 2 * TamberMenuView::kInset, kMenuHeight + 2 * TamberMenuView::kInset};
}

QString MenuViewController::iconName(int tag) {
    switch (tag) {
    case UpcomingMeetingsTab:
        return QStringLiteral("meetingsIcon");
    case AttendMeetingTab:
        return QStringLiteral("joinMeetingsIcon");
    case InstantMeetingTab:
        return QStringLiteral("personalMeetingIcon");
    case PreferencesTab:
        return QStringLiteral("settingsIcon");
    default:
        return {};
    }
}

UpcomingMeetingsViewController* MenuViewController::upcomingMeetingsViewController() const {
    return m_upcomingMeetingsViewController;
}

AttendMeetingViewController* MenuViewController::attendMeetingViewController() const {
    return m_attendMeetingViewController;
}

InstantMeetingViewController* MenuViewController::instantMeetingViewController() const {
    return m_instantMeetingViewController;
}

PreferencesViewController* MenuViewController::preferencesViewController() const {
    return m_preferencesViewController;
}

QPushButton* MenuViewController::tabButton(int tag) const {
    return tag >= 1 && tag <= 4 ? m_tabs[tag - 1] : nullptr;
}

void MenuViewController::buildHeader() {
    m_menuOverlay = new MenuOverlayView(m_menuView);
    m_menuOverlay->setObjectName(QStringLiteral("menuOverlay"));
    m_menuOverlay->setFixedHeight(kHeaderHeight);
    auto* row = new QHBoxLayout(m_menuOverlay);
    row->setContentsMargins(14, 4, 14, 4);
    row->setSpacing(0);
    m_tabs[0] = makeTabButton(UpcomingMeetingsTab, QStringLiteral("upcomingMeetingTab"),
                              tr("Upcoming meetings"));
    m_tabs[1] =
        makeTabButton(AttendMeetingTab, QStringLiteral("attendMeetingTab"), tr("Join a meeting"));
    m_tabs[2] = makeTabButton(InstantMeetingTab, QStringLiteral("startInstantMeetingTab"),
                              tr("Personal meeting"));
    m_tabs[3] = makeTabButton(PreferencesTab, QStringLiteral("preferencesTab"), tr("Preferences"));
    for (QPushButton* tab : m_tabs) {
        row->addStretch(1);
        row->addWidget(tab);
    }
    row->addStretch(1);
    connect(m_tabs[0], &QPushButton::clicked, this, &MenuViewController::showUpcomingMeetings);
    connect(m_tabs[1], &QPushButton::clicked, this, &MenuViewController::attendMeeting);
    connect(m_tabs[2], &QPushButton::clicked, this, &MenuViewController::startInstantMeeting);
    connect(m_tabs[3], &QPushButton::clicked, this, &MenuViewController::showPreferences);
}

QPushButton* MenuViewController::makeTabButton(int tag, const QString& name,
                                               const QString& toolTip) {
    auto* button = new QPushButton(m_menuOverlay);
    button->setObjectName(name);
    button->setProperty(kTagProperty, tag);
    button->setProperty(kImageNameProperty, iconName(tag));
    button->setIcon(MenuStyle::image(iconName(tag)));
    button->setIconSize(QSize(24, 24));
    button->setFixedSize(52, 40);
    button->setToolTip(toolTip);
    button->setStyleSheet(QString::fromLatin1(kTabStyle));
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void MenuViewController::resetAllControllers() {
    // The upcoming-meetings page is only taken off the screen; the others are released.
    if (m_upcomingMeetingsViewController) {
        m_containerLayout->removeWidget(m_upcomingMeetingsViewController);
        m_upcomingMeetingsViewController->hide();
    }
    delete m_attendMeetingViewController;
    delete m_instantMeetingViewController;
    delete m_preferencesViewController;
}

void MenuViewController::placeInContainer(QWidget* view) {
    QPalette pal = m_containerView->palette();
    pal.setColor(QPalette::Window, view->autoFillBackground()
                                       ? view->palette().color(QPalette::Window)
                                       : m_menuView->palette().color(QPalette::Window));
    m_containerView->setPalette(pal);
    m_containerLayout->addWidget(view);
    view->show();
}

void MenuViewController::showUpcomingMeetings() {
    updateUpcomingMeetings();
}

void MenuViewController::updateUpcomingMeetings() {
    resetAllControllers();
    if (!m_upcomingMeetingsViewController)
        m_upcomingMeetingsViewController = new UpcomingMeetingsViewController(m_containerView);
    placeInContainer(m_upcomingMeetingsViewController);
    updateSelectedButton(m_tabs[0]);
    m_containerView->update();
    m_upcomingMeetingsViewController->fetchUpcomingMeetings();
}

void MenuViewController::attendMeeting() {
    resetAllControllers();
    m_attendMeetingViewController = new AttendMeetingViewController(m_containerView);
    placeInContainer(m_attendMeetingViewController);
    updateSelectedButton(m_tabs[1]);
    m_attendMeetingViewController->focusMeetingID();
}

void MenuViewController::startInstantMeeting() {
    resetAllControllers();
    m_instantMeetingViewController = new InstantMeetingViewController(m_containerView);
    m_instantMeetingViewController->updateInstantMeetingDetails();
    placeInContainer(m_instantMeetingViewController);
    updateSelectedButton(m_tabs[2]);
}

void MenuViewController::showPreferences() {
    MainQueue::async(this, [this] { switchToPreferences(); });
}

void MenuViewController::switchToPreferences() {
    resetAllControllers();
    m_preferencesViewController = new PreferencesViewController(m_containerView);
    placeInContainer(m_preferencesViewController);
    updateSelectedButton(m_tabs[3]);
}

void MenuViewController::updateSelectedButton(QAbstractButton* button) {
    // The tab row never keeps the pressed look: the icon alone shows the choice.
    button->setDown(false);
    TLOG_DEBUG(QStringLiteral("Selected buttons name is %1")
                   .arg(button->property(kImageNameProperty).toString()));
    const int selected = button->property(kTagProperty).toInt();
    for (QPushButton* tab : m_tabs) {
        const int tag = tab->property(kTagProperty).toInt();
        const QString name =
            tag == selected ? QStringLiteral("%1%2").arg(iconName(tag), QStringLiteral("_Selected"))
                            : iconName(tag);
        tab->setProperty(kImageNameProperty, name);
        tab->setIcon(MenuStyle::image(name));
    }
    m_selectedTab = iconName(selected).isEmpty() ? 0 : selected;
    setMenuContentsViewConstraint(selected == PreferencesTab ? 10 : 20);
}

void MenuViewController::setMenuContentsViewConstraint(int distance) {
    m_menuContentsViewConstraint = distance;
    m_containerLayout->setContentsMargins(0, distance, 0, 0);
}

void MenuViewController::paintEvent(QPaintEvent*) {
    // The menu frame around the (inset) menu view.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xe9, 0xec, 0xf1));
}
