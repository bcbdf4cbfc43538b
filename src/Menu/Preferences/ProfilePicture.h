#pragma once

#include <QImage>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

// Downloads the user's picture and makes it round: the centred square of the image, cut to a
// circle. Deleting the object cancels the download; nothing is emitted afterwards.
class ProfilePicture : public QObject {
    Q_OBJECT
public:
    // Replies past this size are refused while they arrive, not after.
    static constexpr qint64 kMaximumBytes = 4 * 1024 * 1024;
    // Larger images are refused before they are decoded.
    static constexpr qint64 kMaximumPixels = 16 * 1024 * 1024;

    explicit ProfilePicture(QObject* parent = nullptr);
    ~ProfilePicture() override;

    void fetch(const QString& url);

    // The centred square whose side is the smaller dimension; the offset along the longer
    // dimension is half the difference, rounded towards zero.
    static QRect centredSquare(const QSize& size);
    // The centred square of `image`, outside its inscribed circle transparent.
    static QImage circle(const QImage& image);
    // The image in `data`, or a null image for anything that is not one or is too large.
    static QImage decode(const QByteArray& data);

signals:
    void loaded(const QImage& round);
    void failed();

private:
    void onFinished();

    QPointer<QNetworkReply> m_reply;
    bool m_tooLarge = false;
};
