#pragma once
#include "ui/AnsiString.h"
#include "ui/UniqueHandle.h"

#include <windows.h>

// How long a child saver has to end after the injected input before it is terminated.
constexpr DWORD kChildStopGraceMs = 2000;

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
// handle injects nothing and returns false.
bool StopChildSaver(HANDLE hProcess);

// Removes, translates and dispatches every message waiting in this thread's queue.
void DispatchWaitingMessages();
