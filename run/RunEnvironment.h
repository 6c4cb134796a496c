#pragma once
#include "ui/AnsiString.h"
#include "ui/UniqueHandle.h"

#include <windows.h>

// What the run loop asks of the world: the tick counter, the cover's picture, the
// ShowDesktop setting and the child savers. Run mode uses CoverRunEnvironment; tests put
// a clock and children of their own behind it, so that minutes pass in milliseconds.
class RunEnvironment {
public:
    // GetTickCount.
    virtual DWORD GetTicks() = 0;
    // The ShowDesktop setting, read at the start of every cycle.
    virtual bool GetShowDesktop() = 0;
    // The cover's SetPaintDesktop.
    virtual void SetPaintDesktop(bool bDesktop) = 0;
    // StartChildSaver: the process handle, or an empty one when the start failed.
    virtual UniqueHandle StartChild(const AnsiString& path, const AnsiString& commandLine) = 0;
    // WaitForChildPumping: WAIT_OBJECT_0 when the child ended, WAIT_OBJECT_0 + 1 after
    // dispatching messages, anything else for a time-out or a failed wait.
    virtual DWORD WaitForChild(HANDLE hProcess, DWORD dwTimeoutMs) = 0;
    // StopChildSaver: true when the child ended by itself after the input.
    virtual bool StopChild(HANDLE hProcess) = 0;

protected:
    RunEnvironment() = default;
    RunEnvironment(const RunEnvironment&) = default;
    RunEnvironment& operator=(const RunEnvironment&) = default;
    ~RunEnvironment() = default;
};
