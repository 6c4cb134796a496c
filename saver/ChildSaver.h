#pragma once
#include "ui/AnsiString.h"
#include "ui/UniqueHandle.h"
#include "ui/UniqueWinEventHook.h"

#include <windows.h>

#include <utility>

// How long a child saver has to end after it was asked to close before it is terminated.
constexpr DWORD kChildStopGraceMs = 2000;

// The exit code given to a saver that a crash handler held after its crash:
// STATUS_UNHANDLED_EXCEPTION, an exception's code as the crash itself would have left.
constexpr DWORD kHeldCrashExitCode = 0xC0000144;

// Starts a saver file as a child process: the application name on its own, the command
// line unquoted. Returns the process handle, or an empty handle when the start failed.
UniqueHandle StartChildSaver(const char* pszApplicationName, const AnsiString& commandLine);

// One wait for the child, dispatching this thread's messages. Returns WAIT_OBJECT_0 when
// the child has ended, WAIT_OBJECT_0 + 1 after the waiting messages were dispatched, and
// any other result (WAIT_TIMEOUT, WAIT_FAILED for a null handle) as it came.
DWORD WaitForChildPumping(HANDLE hProcess, DWORD dwTimeoutMs);

// Waits, dispatching messages, until the child has ended or the wait fails.
DWORD WaitForChildPumpingUntilEnd(HANDLE hProcess);

// Asks the child to end without any input, which the system would count as the user's
// activity: WM_CLOSE to its visible top-level windows, then kChildStopGraceMs for it to end
// before it is terminated (at once when it has no such window). Returns true when it ended
// by itself; false for a null handle; true for a child that had ended.
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
    // StopChildSaver for the whole saver: WM_CLOSE to the visible top-level windows of
    // every process of it, then up to kChildStopGraceMs for them all to end before they
    // are terminated. True when they ended by themselves, or had ended before.
    bool Stop();
    // Terminates every process of the saver at once (with the exit code, 0 unless given)
    // and waits until they are gone.
    void Terminate(UINT uExitCode = 0);

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
};
