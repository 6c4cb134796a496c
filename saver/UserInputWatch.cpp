#include "saver/UserInputWatch.h"

#include <cstdlib>

namespace {

// A pointer that moves no further than this is taken for a jitter, not for the user.
const LONG kMouseMoveThreshold = 4;
// The system hands injected records on within milliseconds: those of a stop that come
// after the hooks are set again (the old saver ended on the first of them) come within
// this time, and so does Wine's move record for the new saver's window.
const DWORD kOwnInputSettleMs = 250;

// The hooks carry no context of their own.
UserInputWatch* s_pWatch = nullptr;

bool IsBeyondJitter(POINT pt, POINT origin)
{
    return std::labs(pt.x - origin.x) > kMouseMoveThreshold ||
        std::labs(pt.y - origin.y) > kMouseMoveThreshold;
}

bool IsUserMouseMessage(WPARAM wParam)
{
    switch (wParam) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        return true;
    default:
        return false;
    }
}

}  // namespace

UserInputWatch::~UserInputWatch()
{
    if (s_pWatch == this)
        s_pWatch = nullptr;
}

bool UserInputWatch::Install() noexcept
{
    if (s_pWatch != nullptr && s_pWatch != this)
        return false;
    m_bWanted = true;
    s_pWatch = this;
    const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
    m_mouse.reset(::SetWindowsHookExA(WH_MOUSE_LL, OnMouse, hInstance, 0));
    m_keyboard.reset(::SetWindowsHookExA(WH_KEYBOARD_LL, OnKey, hInstance, 0));
    if (IsInstalled())
        return true;
    m_mouse.reset();
    m_keyboard.reset();
    return false;
}

void UserInputWatch::Pause() noexcept
{
    m_mouse.reset();
    m_keyboard.reset();
}

void UserInputWatch::Forget() noexcept
{
    if (m_bWanted && !IsInstalled() && Install()) {
        m_bSettling = true;
        m_dwResumeTick = ::GetTickCount();
    }
    m_bUserInput = false;
    if (!::GetCursorPos(&m_ptOrigin))
        m_ptOrigin = POINT{0, 0};
    m_ptDeviceOrigin = m_ptDevice;
}

void UserInputWatch::Note(bool bUserLike) noexcept
{
    if (m_bSettling && ::GetTickCount() - m_dwResumeTick >= kOwnInputSettleMs)
        m_bSettling = false;
    if (bUserLike && !m_bSettling)
        m_bUserInput = true;
}

// Under Wine 8 a window that appears or goes makes a move record without the injected
// flag, to where the X server has the pointer, which is not where injected moves put it:
// so a device's moves are measured from the device's own last position. On Windows only
// a device makes such records; the first one seen only tells where the device is.
void UserInputWatch::NoteMouseMove(bool bInjected, POINT pt) noexcept
{
    if (bInjected) {
        Note(IsBeyondJitter(pt, m_ptOrigin));
        return;
    }
    m_ptDevice = pt;
    if (!m_bDeviceSeen) {
        m_bDeviceSeen = true;
        m_ptDeviceOrigin = pt;
        return;
    }
    Note(IsBeyondJitter(pt, m_ptDeviceOrigin));
}

LRESULT CALLBACK UserInputWatch::OnMouse(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (wParam == WM_MOUSEMOVE)
            s_pWatch->NoteMouseMove((info->flags & LLMHF_INJECTED) != 0, info->pt);
        else
            s_pWatch->Note(IsUserMouseMessage(wParam));
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

LRESULT CALLBACK UserInputWatch::OnKey(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr)
        s_pWatch->Note(wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN);
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
