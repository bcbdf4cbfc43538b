#include "ProfilePicture.h"

#include "Logging/Log.h"
#include "Models/ServiceCall.h"

#include <QBuffer>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>

ProfilePicture::ProfilePicture(QObject* parent)
    : QObject(parent) {}

ProfilePicture::~ProfilePicture() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void ProfilePicture::fetch(const QString& url) {
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(ServiceCall::transferTimeoutMs());
    request.setMaximumRedirectsAllowed(3);
    m_tooLarge = false;
    m_reply = ServiceCall::network().get(request);
    ServiceCall::watchCertificateErrors(m_reply);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (received > kMaximumBytes || total > kMaximumBytes) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &ProfilePicture::onFinished);
}

void ProfilePicture::onFinished() {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    const ServiceReply result = ServiceCall::collect(reply);
    reply->deleteLater();
    if (m_tooLarge || result.error || result.httpStatus >= 400) {
        TLOG_DEBUG(QStringLiteral("Profile picture not loaded: %1")
                       .arg(m_tooLarge ? QStringLiteral("larger than %1 bytes").arg(kMaximumBytes)
                                       : QStringLiteral("HTTP %1 %2")
                                             .arg(result.httpStatus)
                                             .arg(ServiceCall::describe(result.error))));
        emit failed();
        return;
    }
    const QImage image = decode(result.body);
    if (image.isNull()) {
        TLOG_DEBUG(QStringLiteral("Profile picture not loaded: not an image we can show"));
        emit failed();
        return;
    }
    emit loaded(circle(image));
}

QRect ProfilePicture::centredSquare(const QSize& size) {
    const int side = qMin(size.width(), size.height());
    return {(size.width() - side) / 2, (size.height() - side) / 2, side, side};
}

QImage ProfilePicture::circle(const QImage& image) {
    const QImage square = image.copy(centredSquare(image.size()));
    QImage round(square.size(), QImage::Format_ARGB32_Premultiplied);
    round.fill(Qt::transparent);
    QPainter painter(&round);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addEllipse(QRectF(round.rect()));
    painter.setClipPath(path);
    painter.drawImage(0, 0, square);
    return round;
}

QImage ProfilePicture::decode(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaximumPixels)
        return {};
    return reader.read();
}
