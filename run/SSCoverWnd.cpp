#include "run/SSCoverWnd.h"

#include "ui/BkColorGuard.h"
#include "ui/MemoryDC.h"
#include "ui/PaintDC.h"
#include "ui/SelectObjectGuard.h"
#include "ui/WindowDC.h"

#include <windowsx.h>

#include <cstdlib>

const char kCoverWindowText[] = "Quillmix";

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
// A pointer that moves no further than this is taken for a jitter, not for the user.
const LONG kMouseMoveThreshold = 4;

RECT VirtualScreenRect() noexcept
{
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

}  // namespace

bool SSCoverWnd::CreateCover() noexcept
{
    // Monitors left of or above the primary one lie at negative coordinates: the cover
    // and its snapshot start at the virtual screen's own corner.
    return CreateCover(VirtualScreenRect());
}

bool SSCoverWnd::CreateCover(const RECT& rc) noexcept
{
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    m_hbmDesktop.reset();
    {
        WindowDC screen(nullptr);
        MemoryDC memory(screen.get());
        m_hbmDesktop.reset(::CreateCompatibleBitmap(screen.get(), cx, cy));
        if (m_hbmDesktop && memory) {
            SelectObjectGuard select(memory.get(), m_hbmDesktop.get());
            ::BitBlt(memory.get(), 0, 0, cx, cy, screen.get(), rc.left, rc.top, SRCCOPY);
        }
    }
    return CreateBoundWindow(nullptr, rc, kCoverWindowText) != nullptr;
}

void SSCoverWnd::ShowCover(bool bShow) noexcept
{
    ::ShowWindow(m_hWnd, bShow ? SW_SHOW : SW_HIDE);
    ::ShowCursor(bShow ? FALSE : TRUE);
}

void SSCoverWnd::SetPaintDesktop(bool bDesktop) noexcept
{
    const bool bOld = m_bPaintDesktop;
    m_bPaintDesktop = bDesktop;
    if (bOld != bDesktop && m_hWnd != nullptr)
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void SSCoverWnd::Paint(HDC hdc, const RECT& rcClient) const noexcept
{
    // Without a snapshot the desktop state shows black as well.
    if (m_bPaintDesktop && m_hbmDesktop) {
        MemoryDC memory(hdc);
        SelectObjectGuard select(memory.get(), m_hbmDesktop.get());
        ::BitBlt(hdc, 0, 0, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top,
                 memory.get(), 0, 0, SRCCOPY);
        return;
    }
    BkColorGuard bk(hdc, kBlack);
    ::ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &rcClient, nullptr, 0, nullptr);
}

void SSCoverWnd::SetEndOnInput(bool bEnd) noexcept
{
    m_bEndOnInput = bEnd;
    if (!bEnd)
        return;
    m_bUserInput = false;
    // Moves are measured from here: the move Windows sends when a window appears under
    // the pointer, and jitter, stay below the threshold.
    if (!::GetCursorPos(&m_ptMouseOrigin))
        m_ptMouseOrigin = POINT{0, 0};
}

LRESULT SSCoverWnd::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // WM_PAINT covers every pixel; erasing with the class brush would only flash.
    return 0;
}

LRESULT SSCoverWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    PaintDC dc(m_hWnd);
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    Paint(dc.get(), rc);
    return 0;
}

LRESULT SSCoverWnd::OnPrintClient(UINT, WPARAM wParam, LPARAM, BOOL&) noexcept
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    Paint(reinterpret_cast<HDC>(wParam), rc);
    return 0;
}

LRESULT SSCoverWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    ::ShowCursor(TRUE);
    return 0;
}

LRESULT SSCoverWnd::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) noexcept
{
    bHandled = m_bEndOnInput;
    if (!m_bEndOnInput)
        return 0;
    POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &pt);
    if (std::labs(pt.x - m_ptMouseOrigin.x) > kMouseMoveThreshold ||
        std::labs(pt.y - m_ptMouseOrigin.y) > kMouseMoveThreshold)
        m_bUserInput = true;
    return 0;
}

LRESULT SSCoverWnd::OnButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled) noexcept
{
    bHandled = m_bEndOnInput;
    if (m_bEndOnInput)
        m_bUserInput = true;
    return 0;
}

LRESULT SSCoverWnd::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) noexcept
{
    bHandled = m_bEndOnInput;
    if (m_bEndOnInput)
        m_bUserInput = true;
    return 0;
}
