#include "run/UserInputWatch.h"

#include <cstdlib>

namespace {

// A pointer that moves no further than this is taken for a jitter, not for the user.
const LONG kMouseMoveThreshold = 4;

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
    s_pWatch = this;
    const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
    m_mouse.reset(::SetWindowsHookExA(WH_MOUSE_LL, OnMouse, hInstance, 0));
    m_keyboard.reset(::SetWindowsHookExA(WH_KEYBOARD_LL, OnKey, hInstance, 0));
    if (IsInstalled())
        return true;
    m_mouse.reset();
    m_keyboard.reset();
    s_pWatch = nullptr;
    return false;
}

void UserInputWatch::Forget() noexcept
{
    m_bUserInput = false;
    if (!::GetCursorPos(&m_ptOrigin))
        m_ptOrigin = POINT{0, 0};
    m_ptDeviceOrigin = m_ptDevice;
}

void UserInputWatch::ExpectOwnInput(unsigned nMouse, unsigned nKeys) noexcept
{
    m_nOwnMouse += nMouse;
    m_nOwnKeys += nKeys;
}

// Why run mode's own input never counts: the system marks every record given through
// SendInput as injected (LLMHF_INJECTED, LLKHF_INJECTED), and each record of run mode's
// own is counted off here; a device's input never carries the flag, so it is never
// counted off. (GetLastInputInfo cannot tell the two apart, and under Wine 8 its time
// moves when a window appears under a still pointer.) Other injected input, as from a
// remote control or an on-screen keyboard, is the user's.
// Under Wine 8 a window that appears or goes makes a move record without the injected
// flag, to where the X server has the pointer, which is not where injected moves put it:
// so a device's moves are measured from the device's own last position. On Windows only
// a device makes such records; the first one seen only tells where the device is.
void UserInputWatch::NoteMouseMove(bool bInjected, POINT pt) noexcept
{
    if (bInjected) {
        NoteMouse(true, IsBeyondJitter(pt, m_ptOrigin));
        return;
    }
    m_ptDevice = pt;
    if (!m_bDeviceSeen) {
        m_bDeviceSeen = true;
        m_ptDeviceOrigin = pt;
        return;
    }
    NoteMouse(false, IsBeyondJitter(pt, m_ptDeviceOrigin));
}

void UserInputWatch::NoteMouse(bool bInjected, bool bUserLike) noexcept
{
    if (bInjected && m_nOwnMouse > 0) {
        --m_nOwnMouse;
        return;
    }
    if (bUserLike)
        m_bUserInput = true;
}

void UserInputWatch::NoteKey(bool bInjected, bool bUserLike) noexcept
{
    if (bInjected && m_nOwnKeys > 0) {
        --m_nOwnKeys;
        return;
    }
    if (bUserLike)
        m_bUserInput = true;
}

LRESULT CALLBACK UserInputWatch::OnMouse(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        const bool bInjected = (info->flags & LLMHF_INJECTED) != 0;
        if (wParam == WM_MOUSEMOVE)
            s_pWatch->NoteMouseMove(bInjected, info->pt);
        else
            s_pWatch->NoteMouse(bInjected, IsUserMouseMessage(wParam));
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

LRESULT CALLBACK UserInputWatch::OnKey(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool bDown = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        s_pWatch->NoteKey((info->flags & LLKHF_INJECTED) != 0, bDown);
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
