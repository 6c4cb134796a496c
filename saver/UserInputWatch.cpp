#include "saver/UserInputWatch.h"

#include "saver/ChildSaver.h"
#include "ui/SrwLockGuard.h"
#include "ui/UniqueHook.h"

#include <cstdlib>

namespace {

// A pointer that moves no further than this is taken for a jitter, not for the user.
const LONG kMouseMoveThreshold = 4;
// How often the thread looks at the time of the last input where it has no hooks: the
// user gets the screen back at most this much later than the grace.
const DWORD kLastInputPollMs = 500;

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

void UserInputWatch::RunThread() noexcept
{
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    UniqueHook mouse;
    UniqueHook keyboard;
    if (m_source == Source::Hooks) {
        // A low-level hook is called on the thread that set it.
        const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
        mouse.reset(::SetWindowsHookExA(WH_MOUSE_LL, OnMouse, hInstance, 0));
        keyboard.reset(::SetWindowsHookExA(WH_KEYBOARD_LL, OnKey, hInstance, 0));
        if (!mouse || !keyboard) {
            mouse.reset();
            keyboard.reset();
            m_source = Source::LastInputTime;
        }
    }
    const bool bPoll = m_source == Source::LastInputTime;
    ::SetEvent(m_readyEvent.get());
    for (;;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, bPoll ? kLastInputPollMs : INFINITE,
                                    QS_ALLINPUT);
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return;
            ::DispatchMessageA(&msg);
        }
        LASTINPUTINFO info = {sizeof(info), 0};
        if (bPoll && ::GetLastInputInfo(&info))
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
    ::ResetEvent(m_inputEvent.get());
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

ULONG UserInputWatch::GetOwnRecordCount() const noexcept
{
    SrwLockGuard lock(m_lock);
    return m_nOwnRecords;
}

void UserInputWatch::CountInput() noexcept
{
    if (m_bUserInput)
        return;
    m_bUserInput = true;
    m_dwInputTick = ::GetTickCount();
    ::SetEvent(m_inputEvent.get());
}

void UserInputWatch::Note(bool bUserLike) noexcept
{
    SrwLockGuard lock(m_lock);
    if (bUserLike)
        CountInput();
}

void UserInputWatch::NoteOwnRecord() noexcept
{
    SrwLockGuard lock(m_lock);
    ++m_nOwnRecords;
}

// Under Wine a window that appears or goes makes a move record without the injected flag,
// to where the X server has the pointer, which is not where injected moves put it; and on
// Windows a device reports where the pointer is, wherever injected input or a saver's
// SetCursorPos has put it since. So a device's moves are measured from the first record of
// it after Forget, which only tells where it is.
void UserInputWatch::NoteMouseMove(bool bInjected, POINT pt) noexcept
{
    SrwLockGuard lock(m_lock);
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

void UserInputWatch::NoteLastInputTime(DWORD dwTime) noexcept
{
    SrwLockGuard lock(m_lock);
    if (dwTime != m_dwLastInputOrigin)
        CountInput();
}

LRESULT CALLBACK UserInputWatch::OnMouse(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (info->dwExtraInfo == kStopInputMark)
            s_pWatch->NoteOwnRecord();
        else if (wParam == WM_MOUSEMOVE)
            s_pWatch->NoteMouseMove((info->flags & LLMHF_INJECTED) != 0, info->pt);
        else
            s_pWatch->Note(IsUserMouseMessage(wParam));
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

LRESULT CALLBACK UserInputWatch::OnKey(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && s_pWatch != nullptr) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (info->dwExtraInfo == kStopInputMark)
            s_pWatch->NoteOwnRecord();
        else
            s_pWatch->Note(wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN);
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
