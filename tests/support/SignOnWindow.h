#pragma once

#include "Authentication/SSOLogin/SSOHelperProcess.h"
#include "Authentication/SSOLogin/SSOLoginWindowController.h"
#include "WindowManager.h"

#include <QTest>

// Closes the sign-on window (another process's) with its title bar's close button, asking again
// until it has gone: a request that comes before the window is mapped is not seen.
inline bool closeSignOnWindowByHand(const SSOLoginWindowController& controller) {
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
