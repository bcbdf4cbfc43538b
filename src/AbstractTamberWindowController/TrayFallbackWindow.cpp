#include "TrayFallbackWindow.h"

#include "Platform/BundleInfo.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

TrayFallbackWindow::TrayFallbackWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_iconLabel(new QLabel(this))
    , m_openButton(new QPushButton(tr("Open"), this)) {
    setObjectName(QStringLiteral("trayFallbackWindow"));
    setWindowTitle(BundleInfo::appName());
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_openButton->setDefault(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(10);
    layout->addWidget(m_iconLabel);
    layout->addWidget(m_openButton);
    connect(m_openButton, &QPushButton::clicked, this, &TrayFallbackWindow::openRequested);
    setFixedSize(sizeHint());
}

void TrayFallbackWindow::setIcon(const QIcon& icon) {
    m_iconLabel->setPixmap(icon.pixmap(QSize(22, 22)));
    setWindowIcon(icon);
}

void TrayFallbackWindow::setContextMenu(QMenu* menu) {
    m_contextMenu = menu;
}

void TrayFallbackWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_contextMenu) {
        QWidget::contextMenuEvent(event);
        return;
    }
    m_contextMenu->popup(event->globalPos());
    event->accept();
}

QRect TrayFallbackWindow::buttonGlobalGeometry() const {
    return QRect(m_openButton->mapToGlobal(QPoint(0, 0)), m_openButton->size());
}
