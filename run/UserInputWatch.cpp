#include "run/UserInputWatch.h"

#include <cstdlib>

namespace {

// A pointer that moves no further than this is taken for a jitter, not for the user:
// Wine also reports a move to where the pointer already is when a window appears under it.
const LONG kMouseMoveThreshold = 4;

// The hooks carry no context of their own.
UserInputWatch* s_pWatch = nullptr;

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

bool UserInputWatch::IsMoveBeyondJitter(POINT pt) const noexcept
{
    return std::labs(pt.x - m_ptOrigin.x) > kMouseMoveThreshold ||
        std::labs(pt.y - m_ptOrigin.y) > kMouseMoveThreshold;
}

LRESULT CALLBACK UserInputWatch::OnMouse(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        const bool bUserLike = wParam == WM_MOUSEMOVE ? s_pWatch->IsMoveBeyondJitter(info->pt)
                                                      : IsUserMouseMessage(wParam);
        s_pWatch->NoteMouse((info->flags & LLMHF_INJECTED) != 0, bUserLike);
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
