#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// Placeholder of the single sign-on window controller.
class SSOLoginWindowController : public QObject {
    Q_OBJECT
public:
    explicit SSOLoginWindowController(QObject* parent = nullptr) : QObject(parent) {}
    ~SSOLoginWindowController() override { delete m_window; }

    void loadIDPURL() {
        m_window = new QWidget;
        m_window->show();
    }
    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
};
