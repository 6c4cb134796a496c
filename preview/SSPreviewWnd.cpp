#include "preview/SSPreviewWnd.h"

#include "res/resource.h"
#include "ui/BkColorGuard.h"
#include "ui/GdiObject.h"
#include "ui/MemoryDC.h"
#include "ui/PaintDC.h"
#include "ui/SelectObjectGuard.h"

namespace {
const COLORREF kBackground = RGB(255, 255, 255);

// Where the logo's left (or top) edge goes: half the difference rounded towards minus
// infinity, as an arithmetic shift right gives it, so an odd spare column lands on the
// right and an odd missing one is cut on the left. Written without shifting a negative
// value, whose result C++17 leaves to the compiler.
constexpr LONG LogoOffset(LONG area, LONG logo) noexcept
{
    const LONG d = area - logo;
    return d >= 0 ? d / 2 : -((-(d + 1)) / 2) - 1;
}
}  // namespace

bool SSPreviewWnd::DrawPicture(HDC hdc, SIZE size) noexcept
{
    if (hdc == nullptr)
        return false;
    const int cx = size.cx;
    const int cy = size.cy;
    if (cx <= 0 || cy <= 0)
        return true;

    MemoryDC buffer(hdc);
    BitmapHandle bufferBitmap(::CreateCompatibleBitmap(hdc, cx, cy));
    if (!buffer || !bufferBitmap)
        return false;
    SelectObjectGuard selectBuffer(buffer.get(), bufferBitmap.get());

    const RECT area = {0, 0, cx, cy};
    {
        BkColorGuard white(buffer.get(), kBackground);
        ::ExtTextOutA(buffer.get(), 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
    }

    // Loaded afresh at every paint and freed before the copy to the screen.
    bool logoDrawn = false;
    {
        BitmapHandle logo(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO)));
        BITMAP bm = {};
        MemoryDC logoDC(hdc);
        if (logo && logoDC && ::GetObjectA(logo.get(), sizeof(bm), &bm) == sizeof(bm)) {
            SelectObjectGuard selectLogo(logoDC.get(), logo.get());
            logoDrawn =
                ::BitBlt(buffer.get(), LogoOffset(cx, bm.bmWidth), LogoOffset(cy, bm.bmHeight),
                         bm.bmWidth, bm.bmHeight, logoDC.get(), 0, 0, SRCCOPY) != FALSE;
        }
    }

    const bool copied = ::BitBlt(hdc, 0, 0, cx, cy, buffer.get(), 0, 0, SRCCOPY) != FALSE;
    return logoDrawn && copied;
}

SIZE SSPreviewWnd::ClientSize() const noexcept
{
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

LRESULT SSPreviewWnd::OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&)
{
    // The paint covers every pixel; erasing first would flash the class brush.
    return 0;
}

LRESULT SSPreviewWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&)
{
    PaintDC dc(m_hWnd);
    DrawPicture(dc.get(), ClientSize());
    return 0;
}

LRESULT SSPreviewWnd::OnPrintClient(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    // WM_PRINTCLIENT hands its DC over in wParam.
    DrawPicture(reinterpret_cast<HDC>(wParam), ClientSize());
    return 0;
}

LRESULT SSPreviewWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL&)
{
    ::PostQuitMessage(0);
    return 0;
}
