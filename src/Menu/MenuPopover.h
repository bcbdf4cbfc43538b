#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"

// Placeholder of the main menu popover.
class MenuPopover : public AbstractPopover {
    Q_OBJECT
public:
    using AbstractPopover::AbstractPopover;
};
