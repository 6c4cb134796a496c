#include "app/Modes.h"

#include "app/CommandLine.h"
#include "app/FatalErrors.h"
#include "config/SSConfigureDlg.h"
#include "preview/RunPreview.h"
#include "run/RunMode.h"

bool TryRunMode(const AnsiString& cmdLine)
{
    if (!HasRunSwitch(cmdLine))
        return false;
    EndAtOnceOnFatalErrors();
    RunSaverLoop(cmdLine);
    return true;
}

bool TryPreviewMode(const AnsiString& cmdLine)
{
    const LONG host = ReadPreviewHandle(cmdLine);
    if (host == 0)
        return false;
    RunPreview(HandleFromNumber(host));
    return true;
}

bool RunConfigureMode(const AnsiString& cmdLine)
{
    // An owner handle that names no window would keep the dialog from being made at all.
    HWND hWndOwner = HandleFromNumber(ReadConfigureOwner(cmdLine));
    if (hWndOwner != nullptr && !::IsWindow(hWndOwner))
        hWndOwner = nullptr;
    SSConfigureDlg dlg;
    dlg.RunModal(hWndOwner, 0);
    return true;
}
