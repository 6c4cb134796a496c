#pragma once
#include "ui/CWindowImpl.h"

#include <windows.h>

// The child window in the host's preview area: the logo centred on white, redrawn whole
// at every paint, until the host destroys its window.
class SSPreviewWnd : public CWindowImpl<SSPreviewWnd> {
public:
    BEGIN_MSG_MAP(SSPreviewWnd)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPrintClient)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    END_MSG_MAP()

    // Draws the picture for a client area of the given size into hdc: white, the logo at
    // its own size centred on it (cut evenly when the area is smaller), built in a buffer
    // compatible with hdc and copied with one BitBlt. False when a step failed and hdc
    // may not hold the picture; true with nothing drawn for an empty area.
    static bool DrawPicture(HDC hdc, SIZE size) noexcept;

private:
    LRESULT OnEraseBkgnd(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnPrintClient(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

    // The client size of the window.
    SIZE ClientSize() const noexcept;
};
