#include "PreferencesViewController.h"

#include "AbstractTamberWindowController/ObjectDescription.h"
#include "Analytics/AnalyticsController.h"
#include "Logging/Log.h"
#include "Menu/MenuStyle.h"
#include "Models/TamberDataModel.h"
#include "Platform/BundleInfo.h"
#include "Platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kScreen = QStringLiteral("PreferencesViewController");

QString textOf(const QVariant& value) {
    return TamberDataModel::isPresent(value) ? value.toString() : QString();
}

// First and last name, else the account name, else the e-mail.
QString displayName() {
    const TamberDataModel* model = TamberDataModel::sharedData();
    const QString full =
        QStringLiteral("%1 %2").arg(textOf(model->firstName), textOf(model->lastName)).trimmed();
    if (!full.isEmpty())
        return full;
    const QString username = textOf(model->username);
    return username.isEmpty() ? textOf(model->email) : username;
}

} // namespace

PreferencesViewController::PreferencesViewController(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("preferencesViewController"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 0, 20, 18);
    page->setSpacing(6);

    page->addWidget(MenuStyle::titleLabel(tr("Account"), this));
    page->addSpacing(6);
    m_userName = new QLabel(this);
    m_userName->setObjectName(QStringLiteral("userNameLabel"));
    m_userName->setStyleSheet(QStringLiteral("color: #1d2330; font-size: 14px; font-weight: 600;"));
    m_userDetail = new QLabel(this);
    m_userDetail->setObjectName(QStringLiteral("userDetailLabel"));
    m_userDetail->setStyleSheet(MenuStyle::fieldCaption());
    m_userDetail->setWordWrap(true);
    for (QLabel* label : {m_userName, m_userDetail}) {
        label->setTextFormat(Qt::PlainText);
        page->addWidget(label);
    }
    page->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_signOut = MenuStyle::button(tr("Sign out"), QStringLiteral("signOutButton"),
                                  MenuStyle::secondaryButton(), this);
    m_quit = MenuStyle::button(tr("Quit"), QStringLiteral("quitButton"),
                               MenuStyle::secondaryButton(), this);
    buttons->addWidget(m_signOut);
    buttons->addStretch(1);
    buttons->addWidget(m_quit);
    page->addLayout(buttons);

    connect(m_signOut, &QPushButton::clicked, this, [] {
        AnalyticsController::sendSignOutAction(kScreen);
        NotificationCenter::defaultCenter().post(QStringLiteral("SIGN_OUT_ACTION"));
    });
    connect(m_quit, &QPushButton::clicked, this, [] {
        AnalyticsController::sendQuitAction(kScreen);
        AnalyticsController::afterPendingEvents(AnalyticsController::kQuitWaitMs,
                                                [] { QCoreApplication::quit(); });
    });
    updateAccountDetails();
}

PreferencesViewController::~PreferencesViewController() {
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void PreferencesViewController::updateAccountDetails() {
    const QString name = displayName();
    m_userName->setText(name.isEmpty() ? tr("Signed in") : name);
    const TamberDataModel* model = TamberDataModel::sharedData();
    QStringList details;
    const QString email = textOf(model->email);
    if (!email.isEmpty() && email != name)
        details << email;
    const QString host = textOf(model->apiHost);
    if (!host.isEmpty() && host != BundleInfo::defaultApiHost())
        details << tr("Server: %1").arg(host);
    m_userDetail->setText(details.join(QLatin1Char('\n')));
}
