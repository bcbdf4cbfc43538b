#pragma once

#include <QtGlobal>

class QWidget;

// What a window manager does to the test's windows, where the test's X server has none.
namespace WindowManager {

// Asks the window to close as a title bar's close button does (WM_DELETE_WINDOW), so that Qt
// delivers a spontaneous close event. False where that cannot be done (not on X11).
bool requestClose(QWidget* window);
// The same for a window of another process (its native id).
bool requestClose(quintptr nativeWindow);

} // namespace WindowManager
