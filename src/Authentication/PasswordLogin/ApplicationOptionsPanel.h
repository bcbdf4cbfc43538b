#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

class ProgressIndicator;
class QLabel;

// The hidden options sheet of the sign-in window: the API host and the log upload. The content
// (host field, upload link, spinner, result icon) comes from the sign-in window's layout and is
// moved into this sheet.
class ApplicationOptionsPanel : public QDialog {
    Q_OBJECT
public:
    // Starts uploading the newest log file; `finished` runs once on the main thread with whether
    // it failed and why. The returned object is the running upload: deleting it cancels the
    // transfer and `finished` is then never called. nullptr when nothing could be started.
    using LogUploadFinished = std::function<void(bool failed, const QString& reason)>;
    using LogUploadStarter = std::function<QObject*(LogUploadFinished finished)>;
    // Replaces the real upload (a test seam); an empty starter restores it.
    static void setLogUploadStarter(LogUploadStarter starter);

    ApplicationOptionsPanel(QWidget* content, QWidget* window);
    ~ApplicationOptionsPanel() override;

    void uploadLogs();
    void cancelConnectionIfRequired();
    void updateUploadSuccessButton(bool failed, const QString& reason = {});

    QObject* uploadConnection() const { return m_uploadConnection; }
    ProgressIndicator* uploadProgressIndicator() const { return m_uploadProgressIndicator; }
    QLabel* uploadSuccessful() const { return m_uploadSuccessful; }

    // Escape, the close button and closeApplicationServerOptions() all end here.
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QObject> m_uploadConnection;
    ProgressIndicator* m_uploadProgressIndicator = nullptr;
    QLabel* m_uploadSuccessful = nullptr;
};
