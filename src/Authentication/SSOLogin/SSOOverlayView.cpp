#include "SSOOverlayView.h"

#include "SSOSpinnerView.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

SSOOverlayView::SSOOverlayView(QWidget* covered)
    : QWidget(covered)
    , m_covered(covered)
    , m_spinner(new SSOSpinnerView(this))
    , m_successLabel(new QLabel(tr("Signed in. Setting up your account\u2026"), this)) {
    setObjectName(QStringLiteral("overlayView"));
    m_spinner->setObjectName(QStringLiteral("loadingInProgress"));
    m_successLabel->setObjectName(QStringLiteral("loginSuccessfulLabel"));
    m_successLabel->setAlignment(Qt::AlignCenter);
    m_successLabel->setStyleSheet(QStringLiteral("color: white; font-size: 15px;"));

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_spinner, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(m_successLabel, 0, Qt::AlignHCenter);
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
