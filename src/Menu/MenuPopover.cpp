#include "MenuPopover.h"

#include "AbstractTamberWindowController/TamberMenuView.h"
#include "MenuViewController.h"
#include "Platform/MainQueue.h"

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

void MenuPopover::popoverDidClose() {
    AbstractPopover::popoverDidClose();
    // After the hide has run through the pages: what was typed in them goes with them.
    MainQueue::async(this, [this] {
        if (MenuViewController* content = menuViewController(); content && !isVisible())
            content->resetAllControllers();
    });
}
