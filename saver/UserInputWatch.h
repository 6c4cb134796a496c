#pragma once
#include "ui/UniqueHandle.h"
#include "ui/UniqueHook.h"

#include <windows.h>

// The user's own input while run mode runs: a key, a button, the wheel, or a move of the
// pointer beyond a jitter. A thread of its own watches it through the system's low-level
// mouse and keyboard hooks and does nothing but retrieve messages, so that no hook call
// ever waits for run mode. Run mode learns of the input through an event it can wait on.
// One watch per process. Run mode itself injects nothing, so injected input from
// elsewhere, as from a remote control or an on-screen keyboard, is the user's.
//
// Beside the hooks the thread polls the system's time of the last input: the system drops
// a hook that does not answer in time (after a resume with the thread paged out, say)
// without a word, and a hook is set again at every Forget. A move of that time that no
// hook call accompanied is the user's input; one the hooks saw is theirs to judge (under
// Wine a window that appears under a still pointer moves that time too). Where the system
// refuses the hooks, every move of that time is the user's input.
class UserInputWatch {
public:
    // Where the thread takes the input from.
    enum class Source { Hooks, LastInputTime };

    UserInputWatch() noexcept = default;
    UserInputWatch(const UserInputWatch&) = delete;
    UserInputWatch& operator=(const UserInputWatch&) = delete;
    // Ends the thread, which removes its hooks.
    ~UserInputWatch();

    // Starts the thread: with the hooks when asked and the system allows them, else it
    // polls. False when there is no thread, or a watch of this process runs already.
    bool Install(Source source = Source::Hooks) noexcept;
    bool IsInstalled() const noexcept { return static_cast<bool>(m_thread); }
    Source GetSource() const noexcept { return m_source; }

    // Counting starts anew: earlier input is forgotten, and moves are measured afresh from
    // where the pointer stands and from where each device next reports it.
    void Forget() noexcept;
    bool HasUserInput() const noexcept;
    // GetTickCount when the first input since Forget came; only while HasUserInput.
    DWORD GetInputTick() const noexcept;
    // Signalled once when input first counts after a Forget.
    HANDLE GetInputEvent() const noexcept { return m_inputEvent.get(); }

    // What the hooks hand on: a move (with the system's injected flag) and where the
    // pointer went; whether a button, wheel or key record is one a user gives (a press).
    void NoteMouseMove(bool bInjected, POINT pt) noexcept;
    void Note(bool bUserLike) noexcept;
    // What the poll hands on: the system's time of the last input.
    void NoteLastInputTime(DWORD dwTime) noexcept;

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    static LRESULT CALLBACK OnMouse(int nCode, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OnKey(int nCode, WPARAM wParam, LPARAM lParam);
    void RunThread() noexcept;
    // Sets the hooks anew; false when the system refuses them.
    bool SetHooks() noexcept;
    // Whether the time has moved with no hook call to match it since the poll before: only
    // then does the poll look where the pointer is.
    bool IsUnmatchedMove(DWORD dwTime) const noexcept;
    // Under the lock.
    void CountInput() noexcept;
    void CountHookCall() noexcept;

    UniqueHandle m_inputEvent;
    UniqueHandle m_readyEvent;
    UniqueHandle m_thread;
    DWORD m_dwThreadId = 0;
    Source m_source = Source::Hooks;

    // The thread's hooks and run mode's thread share what follows.
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    bool m_bUserInput = false;
    DWORD m_dwInputTick = 0;
    // Hook calls so far, and how many there had been at the poll before the time of the
    // last input moved; whether the poll has seen it move with no hook call to match.
    ULONG m_nHookCalls = 0;
    ULONG m_nHookCallsBefore = 0;
    bool m_bUnmatchedMove = false;
    // Injected moves are measured from where the pointer stood at Forget; a device's
    // moves from where the device first put it after Forget.
    POINT m_ptOrigin = {0, 0};
    POINT m_ptDeviceOrigin = {0, 0};
    bool m_bDeviceSeen = false;
    DWORD m_dwLastInputOrigin = 0;
    // Only the thread touches its hooks.
    UniqueHook m_mouseHook;
    UniqueHook m_keyHook;
};
