#include "app/Modes.h"

#include "app/CommandLine.h"
#include "config/SSConfigureDlg.h"
#include "preview/RunPreview.h"
#include "run/RunLoop.h"

bool TryRunMode(const AnsiString& cmdLine)
{
    if (!HasRunSwitch(cmdLine))
        return false;
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
    SSConfigureDlg dlg;
    dlg.RunModal(HandleFromNumber(ReadConfigureOwner(cmdLine)), 0);
    return true;
}
