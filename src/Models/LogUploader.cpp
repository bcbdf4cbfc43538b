#include "Models/LogUploader.h"

#include "Logging/Log.h"
#include "Logging/Logging.h"
#include "Models/ServerTrust.h"
#include "Models/ServiceCall.h"
#include "Models/TamberDataModel.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <utility>

namespace {

// The current file rolls at 1 MiB; anything far past that is not a log file of ours.
constexpr qint64 kMaximumUploadBytes = 16 * 1024 * 1024;

} // namespace

LogUploader::LogUploader(const QString& path, QObject* parent)
    : QObject(parent)
    , m_path(path) {}

LogUploader::~LogUploader() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

LogUploader* LogUploader::newestLogFile(QObject* parent) {
    return new LogUploader(Logging::newestLogFilePath(), parent);
}

QNetworkRequest LogUploader::postRequestWithURL(const QString& url) {
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/octet-stream"));
    request.setTransferTimeout(ServiceCall::transferTimeoutMs());
    return request;
}

void LogUploader::start() {
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        finishLater(true, tr("No log file to upload yet"));
        return;
    }
    if (file.size() > kMaximumUploadBytes) {
        finishLater(true, tr("The log file is too large to upload"));
        return;
    }
    const QByteArray content = file.readAll();
    TLOG_DEBUG(QStringLiteral("File Path is %1").arg(m_path));
    // The content itself stays out of the log: copying it in would double the file each time.
    TLOG_DEBUG(QStringLiteral("Content to be uploaded: %1 bytes").arg(content.size()));

    const QString url = TamberDataModel::logUploadURL(QFileInfo(m_path).fileName(),
                                                      quint32(QDateTime::currentSecsSinceEpoch()));
    TLOG_DEBUG(QStringLiteral("Creating request for %1").arg(url));
    QNetworkRequest request = postRequestWithURL(url);
    ServerTrust::configure(request);
    m_reply = ServerTrust::network().put(request, content);
    ServerTrust::attach(m_reply);
    connect(m_reply, &QNetworkReply::encrypted, this, &LogUploader::authenticationChallenge);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (!std::exchange(m_responseLogged, true))
            TLOG_DEBUG(QStringLiteral("Did receive some response"));
    });
    connect(m_reply, &QNetworkReply::finished, this, &LogUploader::onReplyFinished);
}

void LogUploader::finishLater(bool failed, const QString& reason) {
    QTimer::singleShot(0, this, [this, failed, reason] { emit finished(failed, reason); });
}

void LogUploader::onReplyFinished() {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    const ServiceReply result = ServiceCall::collect(reply);
    reply->deleteLater();
    if (result.error) {
        TLOG_DEBUG(QStringLiteral("Connection failed with error %1")
                       .arg(ServiceCall::describe(result.error)));
        emit finished(true, result.error->description);
        return;
    }
    // The server's refusal is a failure, whatever a completed exchange would suggest.
    if (result.httpStatus >= 400) {
        TLOG_DEBUG(QStringLiteral("Connection failed with HTTP status %1").arg(result.httpStatus));
        emit finished(true,
                      tr("The support server refused the upload (HTTP %1)").arg(result.httpStatus));
        return;
    }
    emit finished(false, QString());
    TLOG_DEBUG(QStringLiteral("Connection did finish loading"));
}
