#include "AbstractTamberViewController.h"

#include "AbstractPopover.h"
#include "Logging/Log.h"
#include "ObjectDescription.h"

AbstractTamberViewController::AbstractTamberViewController(QWidget* parent)
    : QWidget(parent) {}

AbstractTamberViewController::~AbstractTamberViewController() {
    logDealloc();
}

AbstractPopover* AbstractTamberViewController::popover() const {
    return m_popover;
}

void AbstractTamberViewController::setPopover(AbstractPopover* popover) {
    m_popover = popover;
}

void AbstractTamberViewController::logDealloc(const QString& suffix) {
    if (m_deallocLogged) {
        return;
    }
    m_deallocLogged = true;
    TLOG_VERBOSE(QStringLiteral("******** DEALLOC: %1%2").arg(objectDescription(this), suffix));
}
