#pragma once

class SSOLoginWindowController;

// Closes the sign-on window (another process's) with its title bar's close button, asking again
// until it has gone: a request that comes before the window is mapped is not seen.
bool closeSignOnWindowByHand(const SSOLoginWindowController& controller);
