#include "run/SSFadeWnd.h"

#include "run/SSCoverWnd.h"
#include "ui/PaintDC.h"

const char kFadeWindowText[] = "QuillmixFade";

SSFadeWnd::~SSFadeWnd()
{
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

bool SSFadeWnd::CreateFade(const SSCoverWnd& cover) noexcept
{
    RECT rc = {};
    if (!::GetWindowRect(cover, &rc) || CreateBoundWindow(nullptr, rc, kFadeWindowText) == nullptr)
        return false;
    m_pCover = &cover;
    ::SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);
    return true;
}

void SSFadeWnd::SetOpacity(BYTE nAlpha) noexcept
{
    m_nAlpha = nAlpha;
    if (m_hWnd == nullptr)
        return;
    if (nAlpha == 0) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        return;
    }
    ::SetLayeredWindowAttributes(m_hWnd, 0, nAlpha, LWA_ALPHA);
    // Raised only when hidden or when a window has landed above it: every change of the
    // order under the pointer sends the windows there a mouse move.
    const bool bVisible = ::IsWindowVisible(m_hWnd) != FALSE;
    if (bVisible && ::GetWindow(m_hWnd, GW_HWNDPREV) == nullptr)
        return;
    if (!bVisible)
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (bVisible ? 0 : SWP_SHOWWINDOW));
    // The picture is there before the first step is seen, not at the next dispatch.
    ::UpdateWindow(m_hWnd);
}

LRESULT SSFadeWnd::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // WM_PAINT covers every pixel; erasing with the class brush would only flash.
    return 1;
}

LRESULT SSFadeWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    PaintDC dc(m_hWnd);
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    if (m_pCover != nullptr)
        m_pCover->Paint(dc.get(), rc);
    return 0;
}

LRESULT SSFadeWnd::OnMouseActivate(UINT, WPARAM, LPARAM, BOOL&) noexcept { return MA_NOACTIVATE; }

LRESULT SSFadeWnd::OnNcHitTest(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // Clicks go through to the saver beneath, which ends on them.
    return HTTRANSPARENT;
}
