#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
class QNetworkRequest;

// One upload of a log file to the support endpoint: a PUT of the file's raw bytes. Results
// arrive later on the main thread, never from within start(). Deleting the uploader cancels the
// transfer, and `finished` is then never emitted.
class LogUploader : public QObject {
    Q_OBJECT
public:
    // `path` is the file to send; an empty path means there is no log file yet.
    explicit LogUploader(const QString& path, QObject* parent = nullptr);
    ~LogUploader() override;

    // Uploads the newest log file of the running logger.
    static LogUploader* newestLogFile(QObject* parent = nullptr);

    // The PUT request for an endpoint address (the body is sent separately).
    static QNetworkRequest postRequestWithURL(const QString& url);

    void start();
    bool isRunning() const { return !m_reply.isNull(); }

signals:
    // Each TLS handshake answered by the server-trust rule.
    void authenticationChallenge();
    // `reason` says why a failed upload failed, in one line for the user.
    void finished(bool failed, const QString& reason);

private:
    void finishLater(bool failed, const QString& reason);
    void onReplyFinished();

    QString m_path;
    QPointer<QNetworkReply> m_reply;
    bool m_responseLogged = false;
};
