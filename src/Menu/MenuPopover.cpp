#include "MenuPopover.h"

#include "AbstractTamberWindowController/TamberMenuView.h"
#include "MenuViewController.h"

MenuPopover::MenuPopover(QWidget* parent)
    : AbstractPopover(parent) {
    setObjectName(QStringLiteral("menuPopover"));
    setViewController(new MenuViewController);
}

MenuPopover::~MenuPopover() {
    logDealloc();
}

MenuViewController* MenuPopover::menuViewController() const {
    return qobject_cast<MenuViewController*>(viewController());
}

void MenuPopover::popoverDidShow() {
    // Deliberately not the base: the menu posts no "SHOW_TAMBER_POPOVER".
    if (MenuViewController* content = menuViewController()) {
        content->menuView()->updateActualRectInSuperViewIfRequired();
        content->updateUpcomingMeetings();
    }
}
