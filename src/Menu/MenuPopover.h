#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"

class MenuViewController;

// The main menu. Transient: a click outside closes it. Its showing posts no notification (the
// controller has highlighted the icon already); its closing does.
class MenuPopover : public AbstractPopover {
    Q_OBJECT
public:
    explicit MenuPopover(QWidget* parent = nullptr);
    ~MenuPopover() override;

    MenuViewController* menuViewController() const;

protected:
    void popoverDidShow() override;
};
