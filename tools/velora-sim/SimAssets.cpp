#include "SimAssets.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

SimReply SimAssets::profilePicture(const QString& path) {
    if (!path.endsWith(QLatin1String(".png")))
        return SimReply::error(404, "NOT_FOUND", QStringLiteral("No such asset: %1").arg(path));
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    image.fill(QColor(0xf2, 0x8c, 0x28));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = kPictureHeight;
    const QRectF square((kPictureWidth - side) / 2, 0, side, side);
    painter.fillRect(square, QColor(0x2d, 0x6c, 0xdf));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xe8, 0xee, 0xfa));
    const QPointF centre = square.center();
    painter.drawEllipse(QPointF(centre.x(), centre.y() - side * 0.12), side * 0.2, side * 0.2);
    painter.drawEllipse(QPointF(centre.x(), centre.y() + side * 0.5), side * 0.36, side * 0.32);
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {200, "image/png", buffer.data()};
}

SimReply SimAssets::updateFeed(const QString& latest, const QString& baseUrl) {
    const auto item = [&baseUrl](const QString& version) {
        return QStringLiteral(
                   "<item><title>Tamber %1</title>"
                   "<sparkle:shortVersionString>%1</sparkle:shortVersionString>"
                   "<link>%2/download/tamber?version=%1</link>"
                   "<enclosure url=\"%2/download/tamber-%1.tar.gz\" sparkle:version=\"%1\""
                   " length=\"0\" type=\"application/octet-stream\"/></item>")
            .arg(version, baseUrl);
    };
    const QString feed =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<rss version=\"2.0\" "
                       "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                       "<channel><title>Tamber</title>%1%2</channel></rss>\n")
            .arg(item(QStringLiteral("0.9.0")), item(latest));
    return {200, "application/rss+xml", feed.toUtf8()};
}

SimReply SimAssets::downloadPage() {
    return SimReply::html(QStringLiteral(
        "<!doctype html><title>Tamber downloads</title><h1>Tamber for Linux</h1>"
        "<p>Install the new release with your package manager or from this page.</p>"));
}
