#pragma once
#include "ui/CWinTraits.h"
#include "ui/CWindowImpl.h"
#include "ui/UniqueWinEventHook.h"

#include <windows.h>

#include <vector>

// The window text by which the fade window is known.
extern const char kFadeWindowText[];

// The fade window's opacity when it shows the cover's picture alone.
constexpr BYTE kFadeOpaque = 255;

// Layered so that the window manager blends it over other processes' windows, and
// transparent and never activated so that a saver keeps its input and its activation.
using CFadeWinTraits = CWinTraits<WS_POPUP,
                                  WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TRANSPARENT |
                                      WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW>;

// A window over the cover, or over a monitor's host, that shows that window's picture
// (black, or the desktop as the run found it) at an opacity run mode steps: it fades the
// desktop or a saver to that picture, and the next saver in from it. It owns its window:
// the destructor destroys it.
class SSFadeWnd : public CWindowImpl<SSFadeWnd, CWindowImplBase, CFadeWinTraits> {
public:
    SSFadeWnd() noexcept = default;
    SSFadeWnd(const SSFadeWnd&) = delete;
    SSFadeWnd& operator=(const SSFadeWnd&) = delete;
    ~SSFadeWnd() override;

    // Creates the window hidden over the given one, whose picture (WM_PRINTCLIENT) it
    // paints; true with a window.
    bool CreateFade(HWND hWndPicture) noexcept;
    // 0 hides the window; any other opacity shows it above every topmost window (a saver's
    // window lands above it), without activating it. Shown, it takes the cover's picture of
    // that moment, and keeps it while it stays up.
    void SetOpacity(BYTE nAlpha) noexcept;
    BYTE GetOpacity() const noexcept { return m_nAlpha; }
    // Shown, raised above the windows that lie above it, without activating it.
    void Raise() noexcept;

    BEGIN_MSG_MAP(SSFadeWnd)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_MOUSEACTIVATE, OnMouseActivate)
        MESSAGE_HANDLER(WM_NCHITTEST, OnNcHitTest)
    END_MSG_MAP()

private:
    LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnMouseActivate(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnNcHitTest(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    // A top-level window of another process was shown: it lands above a shown fade window.
    static void CALLBACK OnObjectShow(HWINEVENTHOOK, DWORD, HWND hWnd, LONG idObject, LONG idChild,
                                      DWORD, DWORD) noexcept;

    // The fade windows with a hook: a WinEvent callback carries no context but its hook.
    static std::vector<SSFadeWnd*> s_hooked;

    HWND m_hWndPicture = nullptr;
    UniqueWinEventHook m_showHook;
    BYTE m_nAlpha = 0;
};
