#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

class SSCoverWnd;

// Keeps the cover up until the user moves the mouse, clicks or presses a key, or the
// time-out has passed; returns at once when there is no cover window to see that input.
// False only when the time ran out.
bool WaitForUserInput(SSCoverWnd& cover, DWORD dwTimeoutMs = INFINITE);

// Run mode: covers the screen and runs the selected savers, on the whole screen or one
// per monitor, until the user's input ends the run.
void RunSaverLoop(const AnsiString& cmdLine);
