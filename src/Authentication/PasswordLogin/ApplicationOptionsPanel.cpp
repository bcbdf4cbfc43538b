#include "ApplicationOptionsPanel.h"

#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "Logging/Log.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace {

// A sheet where the platform has them; elsewhere a window-modal dialog over the sign-in window.
#ifdef Q_OS_MACOS
constexpr Qt::WindowFlags kSheetFlags = Qt::Sheet;
#else
constexpr Qt::WindowFlags kSheetFlags = Qt::Dialog;
#endif

ApplicationOptionsPanel::LogUploadStarter& logUploadStarter() {
    static ApplicationOptionsPanel::LogUploadStarter starter;
    return starter;
}

} // namespace

void ApplicationOptionsPanel::setLogUploadStarter(LogUploadStarter starter) {
    logUploadStarter() = std::move(starter);
}

ApplicationOptionsPanel::ApplicationOptionsPanel(QWidget* content, QWidget* window)
    : QDialog(window, kSheetFlags) {
    setObjectName(QStringLiteral("applicationOptionsPanel"));
    setWindowTitle(tr("Application server"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    content->setParent(this);
    content->setVisible(true);
    layout->addWidget(content);
    setFixedWidth(380);

    m_uploadProgressIndicator =
        content->findChild<ProgressIndicator*>(QStringLiteral("uploadProgressIndicator"));
    m_uploadSuccessful = content->findChild<QLabel*>(QStringLiteral("uploadSuccessful"));
    Q_ASSERT(m_uploadProgressIndicator && m_uploadSuccessful);
    auto* opacity = new QGraphicsOpacityEffect(m_uploadSuccessful);
    m_uploadSuccessful->setGraphicsEffect(opacity);
    if (auto* link =
            content->findChild<NSTextFieldClickable*>(QStringLiteral("uploadLogsButton"))) {
        connect(link, &NSTextFieldClickable::clicked, this, &ApplicationOptionsPanel::uploadLogs);
    }
    // Initial state: no spinner, no result.
    m_uploadProgressIndicator->stopAnimation();
    m_uploadProgressIndicator->setVisible(false);
    m_uploadSuccessful->setVisible(false);
}

ApplicationOptionsPanel::~ApplicationOptionsPanel() {
    cancelConnectionIfRequired();
    TLOG_DEBUG(QStringLiteral("******** DEALLOC: %1").arg(objectDescription(this)));
}

void ApplicationOptionsPanel::paintEvent(QPaintEvent*) {
    // A white page with a hairline edge, so the sheet stands out over the window even where no
    // window manager draws a frame.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(0xc5, 0xca, 0xd3));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ApplicationOptionsPanel::uploadLogs() {
    cancelConnectionIfRequired();
    m_uploadSuccessful->setVisible(false);
    setResultImage(false);
    m_uploadProgressIndicator->setVisible(true);
    m_uploadProgressIndicator->startAnimation();
    TLOG_DEBUG(QStringLiteral("Upload logs from application panel"));
    const LogUploadStarter& starter = logUploadStarter();
    if (!starter) {
        TLOG_WARN(QStringLiteral("Log upload is not available in this build"));
        updateUploadSuccessButton(true);
        return;
    }
    QPointer<ApplicationOptionsPanel> self = this;
    auto* connection = starter([self](bool failed) {
        if (self) {
            self->m_uploadConnection = nullptr;
            self->updateUploadSuccessButton(failed);
        }
    });
    if (!connection) {
        updateUploadSuccessButton(true);
        return;
    }
    // The sheet owns its running upload: closing the window cancels it.
    connection->setParent(this);
    m_uploadConnection = connection;
    TLOG_DEBUG(QStringLiteral("Connection established %1").arg(objectDescription(connection)));
}

void ApplicationOptionsPanel::cancelConnectionIfRequired() {
    if (m_uploadConnection) {
        delete m_uploadConnection.data();
        m_uploadConnection = nullptr;
    }
}

void ApplicationOptionsPanel::updateUploadSuccessButton(bool failed) {
    m_uploadProgressIndicator->stopAnimation();
    m_uploadProgressIndicator->setVisible(false);
    setResultImage(failed);
    m_uploadSuccessful->setVisible(true);
    auto* opacity = static_cast<QGraphicsOpacityEffect*>(m_uploadSuccessful->graphicsEffect());
    if (m_fade) {
        m_fade->stop();
    }
    m_fade = new QPropertyAnimation(opacity, "opacity", this);
    m_fade->setDuration(1500);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    m_fade->setEasingCurve(QEasingCurve::InQuad);
    m_fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void ApplicationOptionsPanel::setResultImage(bool failed) {
    m_uploadSuccessful->setProperty("failed", failed);
    m_uploadSuccessful->setText(failed ? QStringLiteral("\u2715") : QStringLiteral("\u2713"));
    m_uploadSuccessful->setStyleSheet(failed ? QStringLiteral("color: #c91c1c; font-weight: 700;")
                                             : QStringLiteral("color: #1a8f3c; font-weight: 700;"));
    m_uploadSuccessful->setToolTip(failed ? tr("The logs could not be uploaded")
                                          : tr("Logs uploaded"));
}
