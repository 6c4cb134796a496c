#pragma once
#include <windows.h>

// Preview mode: draws the logo into the host's window until the host destroys it.
void RunPreview(HWND hWndHost);
