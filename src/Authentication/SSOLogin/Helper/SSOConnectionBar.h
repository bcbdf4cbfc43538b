#pragma once

#include <QWidget>

class QLabel;

// The slim bar above the sign-on page: whose page is on screen (its host) and whether the
// connection to it is verified, so the user can see who asks for their password.
class SSOConnectionBar : public QWidget {
    Q_OBJECT
public:
    explicit SSOConnectionBar(QWidget* parent = nullptr);

    // An empty host: no page yet.
    void showPage(const QString& host, bool verified);
    QString host() const { return m_host; }
    bool verified() const { return m_verified; }

private:
    QString m_host;
    bool m_verified = false;
    QLabel* m_hostLabel;
    QLabel* m_statusLabel;
};
