#pragma once
#include "ui/AnsiString.h"
#include "ui/UniqueHandle.h"
#include "ui/UniqueWinEventHook.h"

#include <windows.h>

#include <utility>

// How long a child saver has to end after the injected input before it is terminated.
constexpr DWORD kChildStopGraceMs = 2000;
// The dwExtraInfo of every record of the stop's input, by which the input watch tells run
// mode's own input from the user's.
constexpr ULONG_PTR kStopInputMark = 0x51584D51;

// The exit code given to a saver that a crash handler held after its crash:
// STATUS_UNHANDLED_EXCEPTION, an exception's code as the crash itself would have left.
constexpr DWORD kHeldCrashExitCode = 0xC0000144;

// Injects the stop's input (a mouse move, a click, Escape), each record marked; returns the
// number of records the system took.
UINT SendStopInput();

// Starts a saver file as a child process: the application name on its own, the command
// line unquoted. Returns the process handle, or an empty handle when the start failed.
UniqueHandle StartChildSaver(const char* pszApplicationName, const AnsiString& commandLine);

// One wait for the child, dispatching this thread's messages. Returns WAIT_OBJECT_0 when
// the child has ended, WAIT_OBJECT_0 + 1 after the waiting messages were dispatched, and
// any other result (WAIT_TIMEOUT, WAIT_FAILED for a null handle) as it came.
DWORD WaitForChildPumping(HANDLE hProcess, DWORD dwTimeoutMs);

// Waits, dispatching messages, until the child has ended or the wait fails.
DWORD WaitForChildPumpingUntilEnd(HANDLE hProcess);

// Asks the child to end as a user would (a mouse move, a click, Escape), gives it
// kChildStopGraceMs, then terminates it. Returns true when it ended by itself; a null
// handle injects nothing and returns false, an ended child injects nothing and returns true.
bool StopChildSaver(HANDLE hProcess);

// Removes, translates and dispatches every message waiting in this thread's queue.
void DispatchWaitingMessages();

// A saver of run mode with every process it starts: they share a job object of their
// own, so that a switch, the user's input or the end of this process ends all of them.
// Where the system allows no job (nested jobs forbidden), it is the first process alone.
class ChildSaver {
public:
    ChildSaver() noexcept = default;
    // A process outside any job of ours: the saver is that process alone.
    explicit ChildSaver(UniqueHandle process) noexcept
        : m_process(std::move(process))
    {
    }

    // Starts the saver suspended, puts it into a new job and only then lets it run, so
    // that nothing it starts escapes the job. Empty when the start failed.
    static ChildSaver Start(const char* pszApplicationName, const AnsiString& commandLine);

    explicit operator bool() const noexcept { return static_cast<bool>(m_process); }
    bool HasJob() const noexcept { return static_cast<bool>(m_job); }
    // The process the waits watch: the first one, then, once that has ended, another
    // process of the job.
    HANDLE Process() const noexcept { return m_process.get(); }

    // WaitForChildPumping for the whole saver: WAIT_OBJECT_0 once no process of it runs.
    // When the watched process ended and another one of the job runs, it watches that one
    // and returns WAIT_OBJECT_0 + 1, so that the caller's deadline stays where it was.
    // With a wake handle it also returns WAIT_OBJECT_0 + 1 once that handle is signalled.
    // A saver that a debugger holds once a window is shown (the crash dialog of a crash
    // handler the system started for it, such as Wine's, which heeds no error mode) is
    // ended with kHeldCrashExitCode, and the wait returns WAIT_OBJECT_0.
    DWORD WaitPumping(DWORD dwTimeoutMs, HANDLE hWake = nullptr);
    // Whether a process of the saver still runs.
    bool IsRunning();
    // StopChildSaver for the whole saver: true when every process of it ended within the
    // grace, or had ended before (then it gets no input); else they are all terminated.
    bool Stop();
    // Asks the saver to end without input, which would wake a display that is off:
    // WM_CLOSE to the visible top-level windows of its processes, then, as Stop, up to
    // kChildStopGraceMs for them to end before they are terminated. True when they ended
    // by themselves.
    bool Close();
    // The records of input the last Stop injected; 0 when it injected none.
    UINT GetStopRecordsSent() const noexcept { return m_nStopRecordsSent; }
    // Terminates every process of the saver at once (exit code 0) and waits until they
    // are gone.
    void Terminate();

private:
    // Watches a running process of the job instead of the ended one; false when none is.
    bool WatchNextProcess();
    // Gives the saver kChildStopGraceMs to end, then terminates it; true when it ended.
    bool EndWithinGrace();

    // Whether a debugger holds the watched process: a crash handler, after a crash.
    bool IsHeldByDebugger() const;

    UniqueJob m_job;
    UniqueHandle m_process;
    // Wakes the waits when a window is shown, such as a crash handler's dialog.
    UniqueWinEventHook m_showHook;
    UINT m_nStopRecordsSent = 0;
};
