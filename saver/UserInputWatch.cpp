#include "saver/UserInputWatch.h"

#include "ui/SrwLockGuard.h"

#include <cstdlib>

namespace {

// A pointer that moves no further than this is taken for a jitter, not for the user.
const LONG kMouseMoveThreshold = 4;
// How often the thread looks at the time of the last input: without working hooks the
// user gets the screen back at most twice this much later than the grace.
const DWORD kLastInputPollMs = 500;
// Posted to the watch's thread: set the hooks anew.
const UINT kMsgSetHooks = WM_APP;

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
    if (m_thread) {
        ::PostThreadMessageA(m_dwThreadId, WM_QUIT, 0, 0);
        ::WaitForSingleObject(m_thread.get(), INFINITE);
    }
    if (s_pWatch == this)
        s_pWatch = nullptr;
}

bool UserInputWatch::Install(Source source) noexcept
{
    if (s_pWatch != nullptr)
        return false;
    m_inputEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_readyEvent.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_inputEvent || !m_readyEvent)
        return false;
    m_source = source;
    s_pWatch = this;
    m_thread.reset(::CreateThread(nullptr, 0, ThreadProc, this, 0, &m_dwThreadId));
    if (!m_thread) {
        s_pWatch = nullptr;
        return false;
    }
    // The thread has its queue, for the quit message, and its source once it is ready.
    const HANDLE handles[] = {m_readyEvent.get(), m_thread.get()};
    if (::WaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        m_thread.reset();
        s_pWatch = nullptr;
        return false;
    }
    Forget();
    return true;
}

DWORD WINAPI UserInputWatch::ThreadProc(LPVOID pParam)
{
    static_cast<UserInputWatch*>(pParam)->RunThread();
    return 0;
}

bool UserInputWatch::SetHooks() noexcept
{
    // A low-level hook is called on the thread that set it.
    const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
    m_mouseHook.reset(::SetWindowsHookExA(WH_MOUSE_LL, OnMouse, hInstance, 0));
    m_keyHook.reset(::SetWindowsHookExA(WH_KEYBOARD_LL, OnKey, hInstance, 0));
    if (m_mouseHook && m_keyHook)
        return true;
    m_mouseHook.reset();
    m_keyHook.reset();
    return false;
}

void UserInputWatch::RunThread() noexcept
{
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    if (m_source == Source::Hooks && !SetHooks())
        m_source = Source::LastInputTime;
    const bool bHooked = m_source == Source::Hooks;
    ::SetEvent(m_readyEvent.get());
    for (;;) {
        // A poll that timed out has no message to look for: one call fewer twice a second.
        const bool bWoken = ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kLastInputPollMs,
                                                        QS_ALLINPUT) != WAIT_TIMEOUT;
        while (bWoken && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                m_mouseHook.reset();
                m_keyHook.reset();
                return;
            }
            // The system may have dropped a hook without a word: a switch sets them anew.
            if (msg.message == kMsgSetHooks && msg.hwnd == nullptr && bHooked)
                SetHooks();
            ::DispatchMessageA(&msg);
        }
        LASTINPUTINFO info = {sizeof(info), 0};
        if (::GetLastInputInfo(&info))
            NoteLastInputTime(info.dwTime);
    }
}

void UserInputWatch::Forget() noexcept
{
    POINT pt = {0, 0};
    if (!::GetCursorPos(&pt))
        pt = POINT{0, 0};
    LASTINPUTINFO info = {sizeof(info), 0};
    ::GetLastInputInfo(&info);
    SrwLockGuard lock(m_lock);
    m_bUserInput = false;
    m_ptOrigin = pt;
    m_bDeviceSeen = false;
    m_dwLastInputOrigin = info.dwTime;
    m_bUnmatchedMove = false;
    m_nHookCallsBefore = m_nHookCalls;
    ::ResetEvent(m_inputEvent.get());
    if (m_thread && m_source == Source::Hooks)
        ::PostThreadMessageA(m_dwThreadId, kMsgSetHooks, 0, 0);
}

bool UserInputWatch::HasUserInput() const noexcept
{
    SrwLockGuard lock(m_lock);
    return m_bUserInput;
}

DWORD UserInputWatch::GetInputTick() const noexcept
{
    SrwLockGuard lock(m_lock);
    return m_dwInputTick;
}

void UserInputWatch::CountInput() noexcept
{
    if (m_bUserInput)
        return;
    m_bUserInput = true;
    m_dwInputTick = ::GetTickCount();
    ::SetEvent(m_inputEvent.get());
}

void UserInputWatch::CountHookCall() noexcept { ++m_nHookCalls; }

void UserInputWatch::Note(bool bUserLike) noexcept
{
    SrwLockGuard lock(m_lock);
    CountHookCall();
    if (bUserLike)
        CountInput();
}

// Under Wine a window that appears or goes makes a move record without the injected flag,
// to where the X server has the pointer, which is not where injected moves put it; and on
// Windows a device reports where the pointer is, wherever injected input or a saver's
// SetCursorPos has put it since. So a device's moves are measured from the first record of
// it after Forget, which only tells where it is.
void UserInputWatch::NoteMouseMove(bool bInjected, POINT pt) noexcept
{
    SrwLockGuard lock(m_lock);
    CountHookCall();
    if (bInjected) {
        if (IsBeyondJitter(pt, m_ptOrigin))
            CountInput();
        return;
    }
    if (!m_bDeviceSeen) {
        m_bDeviceSeen = true;
        m_ptDeviceOrigin = pt;
        return;
    }
    if (IsBeyondJitter(pt, m_ptDeviceOrigin))
        CountInput();
}

bool UserInputWatch::IsUnmatchedMove(DWORD dwTime) const noexcept
{
    SrwLockGuard lock(m_lock);
    return dwTime != m_dwLastInputOrigin && m_source == Source::Hooks && m_bUnmatchedMove &&
        m_nHookCalls == m_nHookCallsBefore;
}

// With hooks, a move of the time is matched by the hook calls of the records behind it, which
// may come a little after the poll that sees it: a move that no hook call matched from the
// poll before it to the poll after it went past dropped hooks, and counts once the pointer
// has moved beyond the jitter. (Wine moves the time with no hook call when a window appears
// or goes under a still pointer, so a move of the time alone cannot count there.)
void UserInputWatch::NoteLastInputTime(DWORD dwTime) noexcept
{
    POINT pt = {0, 0};
    const bool bHasPoint = IsUnmatchedMove(dwTime) && ::GetCursorPos(&pt) != FALSE;
    SrwLockGuard lock(m_lock);
    const bool bPointerMoved = bHasPoint && IsBeyondJitter(pt, m_ptOrigin);
    if (dwTime != m_dwLastInputOrigin) {
        if (m_source != Source::Hooks) {
            CountInput();
        } else if (m_nHookCalls != m_nHookCallsBefore) {
            m_dwLastInputOrigin = dwTime;
            m_bUnmatchedMove = false;
        } else if (m_bUnmatchedMove) {
            if (bPointerMoved)
                CountInput();
        } else {
            m_bUnmatchedMove = true;
        }
    }
    if (!m_bUnmatchedMove)
        m_nHookCallsBefore = m_nHookCalls;
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
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        s_pWatch->Note(wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN);
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
