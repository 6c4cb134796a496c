#include "preview/RunPreview.h"

#include "preview/SSPreviewWnd.h"

namespace {
const char kPreviewText[] = "QuillmixPreview";
}

bool RunPreview(HWND hWndHost)
{
    RECT rc = {};
    ::GetClientRect(hWndHost, &rc);

    SSPreviewWnd wnd;
    // Without a window nobody would post WM_QUIT: waiting for it would never end.
    if (wnd.CreateBoundWindow(hWndHost, rc, kPreviewText, WS_CHILD | WS_VISIBLE) == nullptr)
        return false;

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    // GetMessageA failed: the window must go before the object it is bound to.
    if (wnd.IsWindow())
        ::DestroyWindow(wnd);
    return true;
}
