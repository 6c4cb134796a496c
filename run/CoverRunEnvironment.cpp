#include "run/CoverRunEnvironment.h"

#include "run/SSCoverWnd.h"
#include "settings/SSSettings.h"

#include <vector>

CoverRunEnvironment::CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept
    : m_cover(cover)
    , m_settings(settings)
{
    m_input.Install();
    m_cover.ListenForDisplayState();
    if (m_settings.GetFadeMs() != 0)
        m_fade.CreateFade(m_cover);
}

DWORD CoverRunEnvironment::GetTicks() { return ::GetTickCount(); }

bool CoverRunEnvironment::GetShowDesktop() { return m_settings.GetShowDesktop(); }

void CoverRunEnvironment::UseHosts(const std::vector<RECT>& monitors)
{
    m_fade.SetOpacity(0);
    m_hosts.resize(monitors.size());
    for (size_t i = 0; i < monitors.size(); ++i)
        m_hosts[i].rc = monitors[i];
}

CoverRunEnvironment::Host* CoverRunEnvironment::HostOf(size_t nScreen) noexcept
{
    return nScreen < m_hosts.size() ? &m_hosts[nScreen] : nullptr;
}

void CoverRunEnvironment::SetPaintDesktop(size_t nScreen, bool bDesktop)
{
    Host* pHost = HostOf(nScreen);
    if (pHost == nullptr) {
        m_cover.SetPaintDesktop(bDesktop);
        return;
    }
    pHost->bPaintDesktop = bDesktop;
    if (pHost->window)
        pHost->window->SetPaintDesktop(bDesktop);
}

HWND CoverRunEnvironment::OpenHost(size_t nScreen)
{
    Host* pHost = HostOf(nScreen);
    if (pHost == nullptr)
        return nullptr;
    if (!pHost->window) {
        auto window = std::make_unique<SSMonitorHostWnd>();
        if (!window->CreateHost(m_cover, pHost->rc))
            return nullptr;
        window->SetPaintDesktop(pHost->bPaintDesktop);
        pHost->window = std::move(window);
    }
    return *pHost->window;
}

void CoverRunEnvironment::CloseHost(size_t nScreen)
{
    Host* pHost = HostOf(nScreen);
    if (pHost == nullptr)
        return;
    pHost->fade.reset();
    if (pHost->window && pHost->window->IsWindow())
        ::DestroyWindow(*pHost->window);
    pHost->window.reset();
}

namespace {

struct TopLevelSearch {
    DWORD dwProcessId;
    bool bFound;
};

BOOL CALLBACK FindVisibleTopLevel(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == search->dwProcessId && ::IsWindowVisible(hWnd)) {
        search->bFound = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool CoverRunEnvironment::ShowsOwnWindow(ChildSaver& child)
{
    TopLevelSearch search = {::GetProcessId(child.Process()), false};
    if (search.dwProcessId != 0)
        ::EnumWindows(FindVisibleTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.bFound;
}

ChildSaver CoverRunEnvironment::StartChild(const AnsiString& path, const AnsiString& commandLine)
{
    return ChildSaver::Start(path.c_str(), commandLine);
}

DWORD CoverRunEnvironment::WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount,
                                         DWORD dwTimeoutMs)
{
    if (nCount == 1)
        return ppSavers[0]->WaitPumping(dwTimeoutMs, m_input.GetInputEvent());
    std::vector<HANDLE> handles;
    for (DWORD i = 0; i < nCount; ++i)
        handles.push_back(ppSavers[i]->Process());
    // The input watch's thread tells of the user's input through its event.
    if (m_input.GetInputEvent() != nullptr)
        handles.push_back(m_input.GetInputEvent());
    const auto nHandles = static_cast<DWORD>(handles.size());
    const DWORD result =
        ::MsgWaitForMultipleObjects(nHandles, handles.data(), FALSE, dwTimeoutMs, QS_ALLINPUT);
    // Another process of the saver's job may go on: then that one is watched.
    if (result < WAIT_OBJECT_0 + nCount)
        return ppSavers[result - WAIT_OBJECT_0]->IsRunning() ? WAIT_OBJECT_0 + nCount : result;
    if (result == WAIT_OBJECT_0 + nHandles)
        DispatchWaitingMessages();
    else if (result != WAIT_OBJECT_0 + nCount)
        return result;
    return WAIT_OBJECT_0 + nCount;
}

bool CoverRunEnvironment::StopChild(ChildSaver& child)
{
    const bool bEnded = child.Stop();
    // The next saver may take the foreground only from the foreground's own process.
    if (m_cover.IsWindow())
        ::SetForegroundWindow(m_cover);
    return bEnded;
}

void CoverRunEnvironment::EndChild(ChildSaver& child) { child.Terminate(); }

bool CoverRunEnvironment::ForgetUserInput()
{
    m_input.Forget();
    return m_input.IsInstalled();
}

bool CoverRunEnvironment::HasUserInput() { return m_input.HasUserInput(); }

DWORD CoverRunEnvironment::GetUserInputTick() { return m_input.GetInputTick(); }

DisplayState CoverRunEnvironment::GetDisplayState() { return m_cover.GetDisplayState(); }

DWORD CoverRunEnvironment::WaitForMessages(DWORD dwTimeoutMs)
{
    // The input watch's thread tells of the user's input through its event.
    const HANDLE hInput = m_input.GetInputEvent();
    const DWORD nHandles = hInput != nullptr ? 1 : 0;
    const DWORD result =
        ::MsgWaitForMultipleObjects(nHandles, &hInput, FALSE, dwTimeoutMs, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 && result != WAIT_OBJECT_0 + nHandles)
        return result;
    DispatchWaitingMessages();
    return WAIT_OBJECT_0;
}

DWORD CoverRunEnvironment::GetFadeMs() { return m_fade.IsWindow() ? m_settings.GetFadeMs() : 0; }

void CoverRunEnvironment::SetFade(size_t nScreen, BYTE nAlpha)
{
    Host* pHost = HostOf(nScreen);
    if (pHost == nullptr) {
        m_fade.SetOpacity(nAlpha);
        return;
    }
    if (!pHost->fade && nAlpha != 0 && pHost->window && m_fade.IsWindow()) {
        pHost->fade = std::make_unique<SSFadeWnd>();
        pHost->fade->CreateFade(*pHost->window);
    }
    if (pHost->fade)
        pHost->fade->SetOpacity(nAlpha);
}
