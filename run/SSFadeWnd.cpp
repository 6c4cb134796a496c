#include "run/SSFadeWnd.h"

#include "ui/PaintDC.h"

#include <algorithm>

const char kFadeWindowText[] = "QuillmixFade";

std::vector<SSFadeWnd*> SSFadeWnd::s_hooked;

SSFadeWnd::~SSFadeWnd()
{
    m_showHook.reset();
    s_hooked.erase(std::remove(s_hooked.begin(), s_hooked.end(), this), s_hooked.end());
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

bool SSFadeWnd::CreateFade(HWND hWndPicture) noexcept
{
    RECT rc = {};
    if (!::GetWindowRect(hWndPicture, &rc) ||
        CreateBoundWindow(nullptr, rc, kFadeWindowText) == nullptr)
        return false;
    m_hWndPicture = hWndPicture;
    ::SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);
    // A new saver's window is covered again as it is shown, not at the next step of the
    // fade, so that its first frame is not seen where the system allows.
    m_showHook.reset(::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, OnObjectShow,
                                       0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (m_showHook)
        s_hooked.push_back(this);
    return true;
}

void SSFadeWnd::Raise() noexcept
{
    // Only when a window has landed above it: every change of the order under the pointer
    // sends the windows there a mouse move.
    if (m_hWnd == nullptr || !::IsWindowVisible(m_hWnd) ||
        ::GetWindow(m_hWnd, GW_HWNDPREV) == nullptr)
        return;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CALLBACK SSFadeWnd::OnObjectShow(HWINEVENTHOOK hHook, DWORD, HWND hWnd, LONG idObject,
                                      LONG idChild, DWORD, DWORD) noexcept
{
    if (idObject != OBJID_WINDOW || idChild != CHILDID_SELF || hWnd == nullptr ||
        ::GetAncestor(hWnd, GA_PARENT) != ::GetDesktopWindow())
        return;
    for (SSFadeWnd* pFade : s_hooked)
        if (pFade->m_showHook.get() == hHook)
            pFade->Raise();
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
    if (::IsWindowVisible(m_hWnd)) {
        Raise();
        return;
    }
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
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
    if (m_hWndPicture != nullptr)
        ::SendMessageA(m_hWndPicture, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()),
                       PRF_CLIENT);
    return 0;
}

LRESULT SSFadeWnd::OnMouseActivate(UINT, WPARAM, LPARAM, BOOL&) noexcept { return MA_NOACTIVATE; }

LRESULT SSFadeWnd::OnNcHitTest(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    // Clicks go through to the saver beneath, which ends on them.
    return HTTRANSPARENT;
}
