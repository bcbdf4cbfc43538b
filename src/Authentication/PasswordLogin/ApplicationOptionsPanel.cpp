#include "ApplicationOptionsPanel.h"

#include "AbstractTamberWindowController/NSTextFieldClickable.h"
#include "AbstractTamberWindowController/ObjectDescription.h"
#include "AbstractTamberWindowController/ProgressIndicator.h"
#include "AbstractTamberWindowController/ResultIcon.h"
#include "Logging/Log.h"
#include "Models/LogUploader.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// A sheet where the platform has them; elsewhere a window-modal dialog over the sign-in window.
#ifdef Q_OS_MACOS
constexpr Qt::WindowFlags kSheetFlags = Qt::Sheet;
#else
constexpr Qt::WindowFlags kSheetFlags = Qt::Dialog;
#endif

QObject* uploadNewestLogFile(ApplicationOptionsPanel::LogUploadFinished finished) {
    LogUploader* upload = LogUploader::newestLogFile();
    QObject::connect(upload, &LogUploader::finished, upload,
                     [upload, finished = std::move(finished)](bool failed, const QString& reason) {
                         upload->deleteLater();
                         finished(failed, reason);
                     });
    upload->start();
    return upload;
}

ApplicationOptionsPanel::LogUploadStarter& logUploadStarter() {
    static ApplicationOptionsPanel::LogUploadStarter starter = uploadNewestLogFile;
    return starter;
}

} // namespace

void ApplicationOptionsPanel::setLogUploadStarter(LogUploadStarter starter) {
    logUploadStarter() = starter ? std::move(starter) : uploadNewestLogFile;
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
    ResultIcon::setImage(m_uploadSuccessful, false, QString());
    m_uploadProgressIndicator->setVisible(true);
    m_uploadProgressIndicator->startAnimation();
    TLOG_DEBUG(QStringLiteral("Upload logs from application panel"));
    QPointer<ApplicationOptionsPanel> self = this;
    auto* connection = logUploadStarter()([self](bool failed, const QString& reason) {
        if (self) {
            self->m_uploadConnection = nullptr;
            self->updateUploadSuccessButton(failed, reason);
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

void ApplicationOptionsPanel::updateUploadSuccessButton(bool failed, const QString& reason) {
    m_uploadProgressIndicator->stopAnimation();
    m_uploadProgressIndicator->setVisible(false);
    const QString toolTip = failed
                                ? (reason.isEmpty() ? tr("The logs could not be uploaded") : reason)
                                : tr("Logs uploaded");
    ResultIcon::showAndFade(m_uploadSuccessful, failed, toolTip);
}

void ApplicationOptionsPanel::done(int result) {
    cancelConnectionIfRequired();
    m_uploadProgressIndicator->stopAnimation();
    m_uploadProgressIndicator->setVisible(false);
    QDialog::done(result);
}
