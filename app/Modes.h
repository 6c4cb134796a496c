#pragma once
#include "ui/AnsiString.h"

// The three modes, offered the lower-cased command line in this order by WinMain.

// Run mode for "/s" or "-s": runs to its end and returns true; false without the switch.
bool TryRunMode(const AnsiString& cmdLine);

// Preview mode for "/p", "-p", "/l" or "-l" with a non-zero host window.
bool TryPreviewMode(const AnsiString& cmdLine);

// Configuration mode, the default: the dialog, owned by the window after "/c" or "-c".
bool RunConfigureMode(const AnsiString& cmdLine);
