#include "AbstractPopover.h"

AbstractPopover::AbstractPopover(QWidget* parent) : QWidget(parent, Qt::Popup) {}

AbstractPopover::~AbstractPopover() = default;

void AbstractPopover::showPopover(const QRect&) { show(); }

void AbstractPopover::hidePopover() { close(); }
