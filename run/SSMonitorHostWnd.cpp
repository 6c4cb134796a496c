#include "run/SSMonitorHostWnd.h"

#include "ui/BkColorGuard.h"
#include "ui/PaintDC.h"

const char kMonitorHostWindowText[] = "Quillmix Monitor";

namespace {

const COLORREF kBlack = RGB(0, 0, 0);

}  // namespace

bool SSMonitorHostWnd::CreateHost(HWND hWndCover, const RECT& rcMonitor) noexcept
{
    if (CreateBoundWindow(hWndCover, rcMonitor, kMonitorHostWindowText) == nullptr)
        return false;
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    ::UpdateWindow(m_hWnd);
    return true;
}

LRESULT SSMonitorHostWnd::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // WM_PAINT covers every pixel; erasing with the class brush would only flash.
    return 0;
}

LRESULT SSMonitorHostWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    PaintDC dc(m_hWnd);
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    BkColorGuard bk(dc.get(), kBlack);
    ::ExtTextOutA(dc.get(), 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    return 0;
}
