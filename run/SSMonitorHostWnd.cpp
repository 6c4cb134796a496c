#include "run/SSMonitorHostWnd.h"

#include "run/SSCoverWnd.h"
#include "ui/PaintDC.h"

const char kMonitorHostWindowText[] = "Quillmix Monitor";

namespace {

// DPI_HOSTING_BEHAVIOR_MIXED and SetThreadDpiHostingBehavior, Windows 10 1803 and later:
// looked up at run time so that the program still starts on older systems.
using SetThreadDpiHostingBehaviorFn = int(WINAPI*)(int);
constexpr int kDpiHostingBehaviorMixed = 1;

SetThreadDpiHostingBehaviorFn FindSetThreadDpiHostingBehavior() noexcept
{
    const HMODULE hUser = ::GetModuleHandleA("user32.dll");
    if (hUser == nullptr)
        return nullptr;
    // Through void (*)(void), the one cast between function types that says "any".
    const auto pProc =
        reinterpret_cast<void (*)()>(::GetProcAddress(hUser, "SetThreadDpiHostingBehavior"));
    return reinterpret_cast<SetThreadDpiHostingBehaviorFn>(pProc);
}

}  // namespace

bool SSMonitorHostWnd::CreateHost(const SSCoverWnd& cover, const RECT& rcMonitor) noexcept
{
    RECT rcCover = {};
    ::GetWindowRect(cover, &rcCover);
    m_pCover = &cover;
    m_ptInCover = POINT{rcMonitor.left - rcCover.left, rcMonitor.top - rcCover.top};
    // A saver that is not DPI aware then gets its host's size in its own units, and fills
    // its monitor, rather than a scaled part of it.
    const SetThreadDpiHostingBehaviorFn setHosting = FindSetThreadDpiHostingBehavior();
    const int nEarlier = setHosting != nullptr ? setHosting(kDpiHostingBehaviorMixed) : 0;
    const HWND hWnd = CreateBoundWindow(cover, rcMonitor, kMonitorHostWindowText);
    if (setHosting != nullptr)
        setHosting(nEarlier);
    if (hWnd == nullptr)
        return false;
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    ::UpdateWindow(m_hWnd);
    return true;
}

void SSMonitorHostWnd::SetPaintDesktop(bool bDesktop) noexcept
{
    const bool bChanged = bDesktop != m_bPaintDesktop;
    m_bPaintDesktop = bDesktop;
    if (bChanged && m_hWnd != nullptr)
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void SSMonitorHostWnd::Paint(HDC hdc) const noexcept
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    if (m_pCover != nullptr)
        m_pCover->PaintPart(hdc, rc, m_ptInCover, m_bPaintDesktop);
}

LRESULT SSMonitorHostWnd::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // WM_PAINT covers every pixel; erasing with the class brush would only flash.
    return 0;
}

LRESULT SSMonitorHostWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    PaintDC dc(m_hWnd);
    Paint(dc.get());
    return 0;
}

LRESULT SSMonitorHostWnd::OnPrintClient(UINT, WPARAM wParam, LPARAM, BOOL&) noexcept
{
    Paint(reinterpret_cast<HDC>(wParam));
    return 0;
}
