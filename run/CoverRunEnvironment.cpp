#include "run/CoverRunEnvironment.h"

#include "app/ChildSaver.h"
#include "run/SSCoverWnd.h"
#include "settings/SSSettings.h"

DWORD CoverRunEnvironment::GetTicks() { return ::GetTickCount(); }

bool CoverRunEnvironment::GetShowDesktop() { return m_settings.GetShowDesktop(); }

void CoverRunEnvironment::SetPaintDesktop(bool bDesktop) { m_cover.SetPaintDesktop(bDesktop); }

UniqueHandle CoverRunEnvironment::StartChild(const AnsiString& path, const AnsiString& commandLine)
{
    return StartChildSaver(path.c_str(), commandLine);
}

DWORD CoverRunEnvironment::WaitForChild(HANDLE hProcess, DWORD dwTimeoutMs)
{
    return WaitForChildPumping(hProcess, dwTimeoutMs);
}

bool CoverRunEnvironment::StopChild(HANDLE hProcess) { return StopChildSaver(hProcess); }
