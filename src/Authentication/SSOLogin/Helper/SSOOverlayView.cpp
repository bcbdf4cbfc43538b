#include "SSOOverlayView.h"

#include "AbstractTamberWindowController/ProgressIndicator.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

SSOOverlayView::SSOOverlayView(QWidget* covered)
    : QWidget(covered)
    , m_covered(covered)
    , m_spinner(new ProgressIndicator(this))
    , m_successLabel(new QLabel(tr("Signed in. Setting up your account\u2026"), this)) {
    setObjectName(QStringLiteral("overlayView"));
    m_spinner->setObjectName(QStringLiteral("loadingInProgress"));
    m_spinner->setFixedSize(40, 40);
    QPalette light = m_spinner->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    m_spinner->setPalette(light);
    m_successLabel->setObjectName(QStringLiteral("loginSuccessfulLabel"));
    m_successLabel->setAlignment(Qt::AlignCenter);
    m_successLabel->setStyleSheet(
        QStringLiteral("color: white; font-size: 14px; background: transparent;"));

    // A dark card keeps spinner and label readable over any page.
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("overlayCard"));
    card->setStyleSheet(
        QStringLiteral("#overlayCard { background: rgba(20, 20, 20, 200); border-radius: 12px; }"));
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(28, 22, 28, 22);
    cardLayout->setSpacing(12);
    cardLayout->addWidget(m_spinner, 0, Qt::AlignHCenter);
    cardLayout->addWidget(m_successLabel, 0, Qt::AlignHCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(card, 0, Qt::AlignHCenter);
    layout->addStretch();

    m_covered->installEventFilter(this);
    setGeometry(m_covered->rect());
    hide();
    m_successLabel->hide();
}

void SSOOverlayView::showOverlay(bool showLoginSuccessfulLabel) {
    setGeometry(m_covered->rect());
    m_spinner->startAnimation();
    m_successLabel->setVisible(showLoginSuccessfulLabel);
    show();
    raise();
}

void SSOOverlayView::hideOverlay() {
    m_spinner->stopAnimation();
    m_successLabel->hide();
    hide();
}

bool SSOOverlayView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_covered && event->type() == QEvent::Resize)
        setGeometry(m_covered->rect());
    return QWidget::eventFilter(watched, event);
}

void SSOOverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 128));
}
