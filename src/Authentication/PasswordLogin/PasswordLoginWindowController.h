#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// Placeholder of the sign-in window controller.
class PasswordLoginWindowController : public QObject {
    Q_OBJECT
public:
    explicit PasswordLoginWindowController(QObject* parent = nullptr) : QObject(parent) {}
    ~PasswordLoginWindowController() override { delete m_window; }

    void loadAuthenticationUI() {
        m_window = new QWidget;
        m_window->setWindowTitle(QStringLiteral("Sign in"));
        m_window->show();
    }
    QWidget* window() const { return m_window; }
    void closeApplicationServerOptions() {}

private:
    QPointer<QWidget> m_window;
};
