#include "SSOConnectionBar.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

// Page texts never become markup: a host is shown as the characters it has.
QLabel* plainLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

SSOConnectionBar::SSOConnectionBar(QWidget* parent)
    : QWidget(parent)
    , m_hostLabel(plainLabel(QStringLiteral("pageHost"), this))
    , m_statusLabel(plainLabel(QStringLiteral("connectionStatus"), this)) {
    setObjectName(QStringLiteral("connectionBar"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#connectionBar { background: #f4f5f7; border-bottom: 1px solid "
                                 "#d9dce1; } QLabel { background: transparent; }"));
    QFont bold = m_hostLabel->font();
    bold.setBold(true);
    m_hostLabel->setFont(bold);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 4);
    layout->setSpacing(10);
    layout->addWidget(m_hostLabel);
    layout->addWidget(m_statusLabel);
    layout->addStretch();
    showPage(QString(), false);
}

void SSOConnectionBar::showPage(const QString& host, bool verified) {
    m_host = host;
    m_verified = verified && !host.isEmpty();
    m_hostLabel->setText(host.isEmpty() ? tr("Connecting\u2026") : host);
    m_statusLabel->setVisible(!host.isEmpty());
    m_statusLabel->setText(m_verified ? tr("\u2713 Verified connection")
                                      : tr("\u26a0 Connection not verified"));
    m_statusLabel->setStyleSheet(m_verified ? QStringLiteral("color: #1e7b34;")
                                            : QStringLiteral("color: #b3261e;"));
}
