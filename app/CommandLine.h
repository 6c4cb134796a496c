#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

// Reading the screen-saver switches. Every function takes the lower-cased command line
// and searches it as plain text: a switch counts wherever it stands.

// The command line as received, lower-cased once, as every later use sees it.
AnsiString LowerCaseCommandLine(const char* pszCmdLine);

// "/s" or "-s" anywhere.
bool HasRunSwitch(const AnsiString& cmdLine);

// The host window after the first of "/p", "-p", "/l", "-l" that occurs; 0 when there is
// no such switch, only blanks follow it, or the number there is 0.
LONG ReadPreviewHandle(const AnsiString& cmdLine);

// The owner window after "/c" or "-c" (the character right after the switch is skipped);
// 0 when there is none.
LONG ReadConfigureOwner(const AnsiString& cmdLine);

// A window handle as the command line carries it: a signed 32-bit number.
inline HWND HandleFromNumber(LONG value) noexcept
{
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
}

// The mode a command line selects, as WinMain's order of TryRunMode, TryPreviewMode and
// RunConfigureMode decides it, with that mode's window: the preview host or the owner of
// the configuration dialog (0: none; always 0 for run mode).
enum class SaverMode { Run, Preview, Configure };
struct ModeChoice {
    SaverMode mode;
    LONG window;
};
ModeChoice ChooseMode(const AnsiString& cmdLine);
