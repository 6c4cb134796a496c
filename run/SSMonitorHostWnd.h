#pragma once
#include "ui/CWinTraits.h"
#include "ui/CWindowImpl.h"

#include <windows.h>

class SSCoverWnd;

// The window text by which a monitor's host window is known.
extern const char kMonitorHostWindowText[];

using CMonitorHostWinTraits = CWinTraits<WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST>;

// One monitor's window over run mode's cover: exactly the monitor's rectangle in device
// pixels, black or its part of the cover's desktop picture, and the parent that a saver
// started with "/p" draws its preview into.
class SSMonitorHostWnd
    : public CWindowImpl<SSMonitorHostWnd, CWindowImplBase, CMonitorHostWinTraits> {
public:
    SSMonitorHostWnd() noexcept = default;

    // Creates the window owned by the cover and shows it; true with a window. Where the
    // system allows, the window hosts savers of any DPI awareness.
    bool CreateHost(const SSCoverWnd& cover, const RECT& rcMonitor) noexcept;
    // Black (false) or its part of the cover's snapshot (true); a change repaints at once.
    void SetPaintDesktop(bool bDesktop) noexcept;

    BEGIN_MSG_MAP(SSMonitorHostWnd)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPrintClient)
    END_MSG_MAP()

private:
    LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&) noexcept;
    LRESULT OnPrintClient(UINT, WPARAM wParam, LPARAM, BOOL&) noexcept;
    void Paint(HDC hdc) const noexcept;

    const SSCoverWnd* m_pCover = nullptr;
    // Where the monitor lies in the cover's picture.
    POINT m_ptInCover = {0, 0};
    bool m_bPaintDesktop = false;
};
