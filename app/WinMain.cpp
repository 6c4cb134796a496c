#include "app/CRorAreveModule.h"
#include "app/CommandLine.h"
#include "app/Modes.h"

#include <windows.h>

#include <commctrl.h>

CRorAreveModule g_module;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    try {
        ::InitCommonControls();
        const AnsiString cmdLine = LowerCaseCommandLine(lpCmdLine);
        if (!TryRunMode(cmdLine) && !TryPreviewMode(cmdLine))
            RunConfigureMode(cmdLine);
    } catch (...) {
        // Out of memory in the string type: the host still gets the usual exit code.
    }
    return 0;
}
