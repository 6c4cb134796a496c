#pragma once
#include "ui/CWinTraits.h"
#include "ui/CWindowImpl.h"

#include <windows.h>

// The window text by which a monitor's host window is known.
extern const char kMonitorHostWindowText[];

using CMonitorHostWinTraits = CWinTraits<WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST>;

// One monitor's window over run mode's cover: black, exactly the monitor's rectangle in
// device pixels, and the parent that a saver started with "/p" draws its preview into.
class SSMonitorHostWnd
    : public CWindowImpl<SSMonitorHostWnd, CWindowImplBase, CMonitorHostWinTraits> {
public:
    SSMonitorHostWnd() noexcept = default;

    // Creates the window owned by the cover and shows it; true with a window.
    bool CreateHost(HWND hWndCover, const RECT& rcMonitor) noexcept;

    BEGIN_MSG_MAP(SSMonitorHostWnd)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
    END_MSG_MAP()

private:
    LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept;
};
