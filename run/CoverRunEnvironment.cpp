#include "run/CoverRunEnvironment.h"

#include "run/SSCoverWnd.h"
#include "settings/SSSettings.h"

CoverRunEnvironment::CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept
    : m_cover(cover)
    , m_settings(settings)
{
    m_input.Install();
    m_cover.ListenForDisplayState();
}

DWORD CoverRunEnvironment::GetTicks() { return ::GetTickCount(); }

bool CoverRunEnvironment::GetShowDesktop() { return m_settings.GetShowDesktop(); }

void CoverRunEnvironment::SetPaintDesktop(bool bDesktop) { m_cover.SetPaintDesktop(bDesktop); }

ChildSaver CoverRunEnvironment::StartChild(const AnsiString& path, const AnsiString& commandLine)
{
    return ChildSaver::Start(path.c_str(), commandLine);
}

DWORD CoverRunEnvironment::WaitForChild(ChildSaver& child, DWORD dwTimeoutMs)
{
    return child.WaitPumping(dwTimeoutMs);
}

bool CoverRunEnvironment::StopChild(ChildSaver& child)
{
    if (child)
        m_input.Pause();
    return child.Stop();
}

void CoverRunEnvironment::EndChild(ChildSaver& child) { child.Terminate(); }

bool CoverRunEnvironment::ForgetUserInput()
{
    m_input.Forget();
    return m_input.IsInstalled();
}

bool CoverRunEnvironment::HasUserInput() { return m_input.HasUserInput(); }

DisplayState CoverRunEnvironment::GetDisplayState() { return m_cover.GetDisplayState(); }

bool CoverRunEnvironment::CloseChild(ChildSaver& child) { return child.Close(); }

DWORD CoverRunEnvironment::WaitForMessages()
{
    const DWORD result = ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0)
        DispatchWaitingMessages();
    return result;
}
