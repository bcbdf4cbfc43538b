#include "MenuViewController.h"

#include "AbstractTamberWindowController/MenuOverlayView.h"
#include "AbstractTamberWindowController/TamberMenuView.h"
#include "AbstractTamberWindowController/Theme.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString textOf(const QVariant& value) {
    return TamberDataModel::isPresent(value) ? value.toString() : QString();
}

// The name the header shows: first and last name, else the account name, else the e-mail.
QString displayName() {
    const TamberDataModel* model = TamberDataModel::sharedData();
    const QString full =
        QStringLiteral("%1 %2").arg(textOf(model->firstName), textOf(model->lastName)).trimmed();
    if (!full.isEmpty()) {
        return full;
    }
    const QString username = textOf(model->username);
    return username.isEmpty() ? textOf(model->email) : username;
}

const char* const kButtonStyle = R"(
QPushButton {
    border: 1px solid #c5cad3; border-radius: 5px; padding: 6px 14px;
    background: #ffffff; color: #1d2330;
}
QPushButton:hover { background: #f2f5fa; }
QPushButton:pressed { background: #e4e9f2; }
QPushButton:focus { border-color: #0c61fe; }
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
    layout->addWidget(m_menuOverlay);
    layout->addWidget(m_containerView, 1);
    buildAccountPage();
    setFixedSize(sizeHint());
}

MenuViewController::~MenuViewController() {
    logDealloc(QStringLiteral("..Removing from notification center"));
}

QSize MenuViewController::sizeHint() const {
    return {kMenuWidth + 2 * TamberMenuView::kInset, kMenuHeight + 2 * TamberMenuView::kInset};
}

void MenuViewController::buildHeader() {
    m_menuOverlay = new MenuOverlayView(m_menuView);
    m_menuOverlay->setObjectName(QStringLiteral("menuOverlay"));
    m_menuOverlay->setFixedHeight(72);
    auto* band = new QVBoxLayout(m_menuOverlay);
    band->setContentsMargins(18, 12, 18, 12);
    band->setSpacing(2);
    auto* appName = new QLabel(BundleInfo::appName().toUpper(), m_menuOverlay);
    appName->setStyleSheet(QStringLiteral("color: rgba(255,255,255,200); font-size: 11px;"
                                          "font-weight: 600; letter-spacing: 1px;"));
    m_userNameLabel = new QLabel(m_menuOverlay);
    m_userNameLabel->setObjectName(QStringLiteral("userNameLabel"));
    m_userNameLabel->setStyleSheet(
        QStringLiteral("color: #ffffff; font-size: 18px; font-weight: 600;"));
    band->addWidget(appName);
    band->addWidget(m_userNameLabel);
}

void MenuViewController::buildAccountPage() {
    auto* page = new QVBoxLayout(m_containerView);
    page->setContentsMargins(18, 16, 18, 18);
    page->setSpacing(10);
    m_userDetailLabel = new QLabel(m_containerView);
    m_userDetailLabel->setObjectName(QStringLiteral("userDetailLabel"));
    m_userDetailLabel->setStyleSheet(
        QStringLiteral("color: %1; font-size: 13px;").arg(Theme::secondaryText().name()));
    m_userDetailLabel->setWordWrap(true);
    page->addWidget(m_userDetailLabel);
    page->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    auto* signOut = new QPushButton(tr("Sign out"), m_containerView);
    signOut->setObjectName(QStringLiteral("signOutButton"));
    auto* quit = new QPushButton(tr("Quit"), m_containerView);
    quit->setObjectName(QStringLiteral("quitButton"));
    for (QPushButton* b : {signOut, quit}) {
        b->setStyleSheet(QString::fromLatin1(kButtonStyle));
        b->setCursor(Qt::PointingHandCursor);
    }
    buttons->addWidget(signOut);
    buttons->addStretch(1);
    buttons->addWidget(quit);
    page->addLayout(buttons);

    connect(signOut, &QPushButton::clicked, this,
            [] { NotificationCenter::defaultCenter().post(QStringLiteral("SIGN_OUT_ACTION")); });
    connect(quit, &QPushButton::clicked, this, [] { QCoreApplication::quit(); });
}

void MenuViewController::updateUpcomingMeetings() {
    const QString name = displayName();
    m_userNameLabel->setText(name.isEmpty() ? tr("Signed in") : name);
    const TamberDataModel* model = TamberDataModel::sharedData();
    QStringList details;
    const QString email = textOf(model->email);
    if (!email.isEmpty() && email != name) {
        details << email;
    }
    const QString host = textOf(model->apiHost);
    if (!host.isEmpty() && host != BundleInfo::defaultApiHost()) {
        details << tr("Server: %1").arg(host);
    }
    m_userDetailLabel->setText(details.join(QLatin1Char('\n')));
}

void MenuViewController::paintEvent(QPaintEvent*) {
    // The menu frame around the (inset) menu view.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xe9, 0xec, 0xf1));
}
