#include "SignOnWindow.h"

#include "Authentication/SSOLogin/SSOHelperProcess.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "WindowManager.h"

#include <QTest>

bool closeSignOnWindowByHand(const SSOLoginWindowController& controller) {
    bool asked = false;
    return QTest::qWaitFor(
        [&] {
            const SSOWindowState& window = controller.helper()->state();
            if (asked && !window.visible)
                return true;
            if (window.windowId)
                asked = WindowManager::requestClose(quintptr(window.windowId));
            return false;
        },
        20000);
}
