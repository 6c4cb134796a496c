#include "run/SSCoverWnd.h"

#include "ui/BkColorGuard.h"
#include "ui/MemoryDC.h"
#include "ui/PaintDC.h"
#include "ui/SelectObjectGuard.h"
#include "ui/WindowDC.h"

#include <windowsx.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

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

// Whether n bytes from p lie in committed memory of this process that may be read.
bool IsReadable(const void* p, size_t n) noexcept
{
    const DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
        PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    MEMORY_BASIC_INFORMATION mbi = {};
    if (p == nullptr || ::VirtualQuery(p, &mbi, sizeof(mbi)) == 0 || mbi.State != MEM_COMMIT ||
        (mbi.Protect & kReadable) == 0 || (mbi.Protect & PAGE_GUARD) != 0)
        return false;
    const auto begin = reinterpret_cast<ULONG_PTR>(p);
    const ULONG_PTR end = reinterpret_cast<ULONG_PTR>(mbi.BaseAddress) + mbi.RegionSize;
    return n <= end - begin;
}

// The display state that a power-setting notification carries; false for another setting
// and for anything else. The system hands its notification over in this process's memory,
// but lParam of a message that another process posted points anywhere.
bool ReadDisplayState(LPARAM lParam, DisplayState* pState) noexcept
{
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
    if (!IsReadable(setting, offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD)) ||
        setting->DataLength != sizeof(DWORD))
        return false;
    DWORD value = 0;
    std::memcpy(&value, setting->Data, sizeof(value));
    // The monitor's power knows no dimmed state.
    const bool bConsole = ::IsEqualGUID(setting->PowerSetting, GUID_CONSOLE_DISPLAY_STATE) != 0;
    if (!bConsole && ::IsEqualGUID(setting->PowerSetting, GUID_MONITOR_POWER_ON) == 0)
        return false;
    const auto last = static_cast<DWORD>(bConsole ? DisplayState::Dimmed : DisplayState::On);
    if (value > last)
        return false;
    *pState = static_cast<DisplayState>(value);
    return true;
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
    PaintPart(hdc, rcClient, POINT{0, 0}, m_bPaintDesktop);
}

void SSCoverWnd::PaintPart(HDC hdc, const RECT& rcClient, POINT ptFrom,
                           bool bDesktop) const noexcept
{
    // Without a snapshot the desktop state shows black as well.
    if (bDesktop && m_hbmDesktop) {
        MemoryDC memory(hdc);
        SelectObjectGuard select(memory.get(), m_hbmDesktop.get());
        ::BitBlt(hdc, 0, 0, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top,
                 memory.get(), ptFrom.x, ptFrom.y, SRCCOPY);
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

bool SSCoverWnd::ListenForDisplayState() noexcept
{
    if (m_hWnd == nullptr)
        return false;
    m_hPowerNotify.reset(::RegisterPowerSettingNotification(m_hWnd, &GUID_CONSOLE_DISPLAY_STATE,
                                                            DEVICE_NOTIFY_WINDOW_HANDLE));
    // Windows before 8 reports only the monitor's power.
    if (!m_hPowerNotify)
        m_hPowerNotify.reset(::RegisterPowerSettingNotification(m_hWnd, &GUID_MONITOR_POWER_ON,
                                                                DEVICE_NOTIFY_WINDOW_HANDLE));
    return static_cast<bool>(m_hPowerNotify);
}

LRESULT SSCoverWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) noexcept
{
    ::ShowCursor(TRUE);
    m_hPowerNotify.reset();
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

LRESULT SSCoverWnd::OnPowerBroadcast(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) noexcept
{
    bHandled = wParam == PBT_POWERSETTINGCHANGE;
    DisplayState state = DisplayState::On;
    if (bHandled && ReadDisplayState(lParam, &state))
        m_eDisplayState = state;
    return TRUE;
}
