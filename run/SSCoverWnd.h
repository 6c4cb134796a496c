#pragma once
#include "run/DisplayState.h"
#include "ui/CWinTraits.h"
#include "ui/CWindowImpl.h"
#include "ui/GdiObject.h"
#include "ui/UniquePowerNotify.h"

#include <windows.h>

// The window text by which the cover is known.
extern const char kCoverWindowText[];

using CCoverWinTraits = CWinTraits<WS_POPUP, WS_EX_TOPMOST>;

// The full-screen window that run mode keeps over the virtual screen: black, or the
// desktop as it was when the run began, with the mouse pointer hidden while it is shown.
class SSCoverWnd : public CWindowImpl<SSCoverWnd, CWindowImplBase, CCoverWinTraits> {
public:
    SSCoverWnd() noexcept = default;

    // Takes the desktop snapshot, then creates the window hidden; true with a window.
    // Both cover the virtual screen, from its own top-left corner.
    bool CreateCover() noexcept;
    // The same over the given rectangle of the screen: the virtual screen of a desktop
    // whose monitors are not all right of and below the primary one, in the tests.
    bool CreateCover(const RECT& rcScreen) noexcept;
    // Shows the window and hides the pointer, or hides the window and shows the pointer.
    void ShowCover(bool bShow) noexcept;
    // Black (false) or the snapshot (true); a change repaints before the call returns.
    void SetPaintDesktop(bool bDesktop) noexcept;
    bool GetPaintDesktop() const noexcept { return m_bPaintDesktop; }

    // Paints the current state into a DC whose origin is the cover's top-left corner.
    void Paint(HDC hdc, const RECT& rcClient) const noexcept;
    // Paints black, or the part of the snapshot from ptFrom (cover coordinates) on, into a
    // DC whose client rectangle is rcClient.
    void PaintPart(HDC hdc, const RECT& rcClient, POINT ptFrom, bool bDesktop) const noexcept;

    // While no saver runs the cover itself ends the run on the user's input: a real
    // mouse move, a click or a key. Off by default, so that input during a switch and
    // the input sent to a closing saver never end the run. Turning it on forgets earlier
    // input; HasUserInput stays true after it is turned off.
    void SetEndOnInput(bool bEnd) noexcept;
    bool HasUserInput() const noexcept { return m_bUserInput; }

    // Asks the system to tell the cover the display's state (GUID_CONSOLE_DISPLAY_STATE, or
    // GUID_MONITOR_POWER_ON where that is not known); true when it listens. The state is on
    // until the system reports another.
    bool ListenForDisplayState() noexcept;
    DisplayState GetDisplayState() const noexcept { return m_eDisplayState; }

    BEGIN_MSG_MAP(SSCoverWnd)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPrintClient)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnButtonDown)
        MESSAGE_HANDLER(WM_RBUTTONDOWN, OnButtonDown)
        MESSAGE_HANDLER(WM_MBUTTONDOWN, OnButtonDown)
        MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
        MESSAGE_HANDLER(WM_SYSKEYDOWN, OnKeyDown)
        MESSAGE_HANDLER(WM_POWERBROADCAST, OnPowerBroadcast)
    END_MSG_MAP()

private:
    LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPrintClient(UINT, WPARAM wParam, LPARAM, BOOL&) noexcept;
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) noexcept;
    LRESULT OnButtonDown(UINT, WPARAM, LPARAM, BOOL& bHandled) noexcept;
    LRESULT OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) noexcept;
    LRESULT OnPowerBroadcast(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) noexcept;

    BitmapHandle m_hbmDesktop;
    bool m_bPaintDesktop = false;
    bool m_bEndOnInput = false;
    bool m_bUserInput = false;
    // Where the pointer stood when input began to count, in screen coordinates.
    POINT m_ptMouseOrigin = {0, 0};
    UniquePowerNotify m_hPowerNotify;
    DisplayState m_eDisplayState = DisplayState::On;
};
