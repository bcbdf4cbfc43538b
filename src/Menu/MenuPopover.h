#pragma once

#include "AbstractTamberWindowController/AbstractPopover.h"

class MenuViewController;

// The main menu. Transient: a click outside closes it. Its showing posts no notification (the
// controller has highlighted the icon already); its closing does. Reusable: the application
// keeps one menu and shows it again; a close releases every page but the meetings list.
class MenuPopover : public AbstractPopover {
    Q_OBJECT
public:
    explicit MenuPopover(QWidget* parent = nullptr);
    ~MenuPopover() override;

    MenuViewController* menuViewController() const;
    bool isReusable() const override { return true; }

protected:
    void popoverDidShow() override;
    void popoverDidClose() override;
};
