#pragma once
#include <windows.h>

// Preview mode: draws the logo into the host's window until the host destroys it.
// False at once, with nothing left waiting, when no preview window could be made in
// hWndHost (a handle that names no window, for one); true once the preview
// window is gone, normally because the host destroyed its own.
bool RunPreview(HWND hWndHost);
