#pragma once

#include <QObject>
#include <QPointer>

// Base of window controllers that want to reach the application controller. Nothing sets
// appController today; it is a non-owning reference.
class AbstractTamberWindowController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QObject* appController() const { return m_appController; }
    void setAppController(QObject* controller) { m_appController = controller; }

private:
    QPointer<QObject> m_appController;
};
