#pragma once
#include "run/DisplayState.h"
#include "saver/ChildSaver.h"
#include "ui/AnsiString.h"

#include <windows.h>

// What the run loop asks of the world: the tick counter, each screen's picture, host and
// fade, the ShowDesktop setting, the child savers, the user's input and the display's state.
// Screens are numbered from 0; the whole-screen run has screen 0 alone, on the cover. Run
// mode uses CoverRunEnvironment; tests put a clock and children of their own behind it,
// so that minutes pass in milliseconds.
class RunEnvironment {
public:
    // GetTickCount.
    virtual DWORD GetTicks() = 0;
    // The ShowDesktop setting, read at the start of every cycle.
    virtual bool GetShowDesktop() = 0;
    // What the screen shows between savers (SSCoverWnd::SetPaintDesktop, or its host's part
    // of the cover's picture): black, or the desktop as the run found it.
    virtual void SetPaintDesktop(size_t nScreen, bool bDesktop) = 0;
    // The screen's host window, made when it has none, for a saver started with "/p";
    // nullptr when none could be made.
    virtual HWND OpenHost(size_t nScreen) = 0;
    // Destroys the screen's host window; only once its saver has ended.
    virtual void CloseHost(size_t nScreen) = 0;
    // Whether a saver shows a visible top-level window of its own instead of drawing into
    // its host.
    virtual bool ShowsOwnWindow(ChildSaver& child) = 0;
    // ChildSaver::Start: the saver, or an empty one when the start failed.
    virtual ChildSaver StartChild(const AnsiString& path, const AnsiString& commandLine) = 0;
    // One wait for the running savers of every screen, dispatching messages: WAIT_OBJECT_0
    // + i once no process of saver i runs any more, WAIT_OBJECT_0 + nCount after dispatching
    // messages or when the user's input first counts, anything else for a time-out or a
    // failed wait.
    virtual DWORD WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount, DWORD dwTimeoutMs) = 0;
    // The same for one saver: WAIT_OBJECT_0 when it has ended, WAIT_OBJECT_0 + 1 after
    // messages or input.
    DWORD WaitForChild(ChildSaver& child, DWORD dwTimeoutMs)
    {
        ChildSaver* const pChild = &child;
        return WaitForSavers(&pChild, 1, dwTimeoutMs);
    }
    // ChildSaver::Stop: the saver is asked to close with no input, else ended after the
    // grace; true when it ended by itself. Then the cover takes the foreground.
    virtual bool StopChild(ChildSaver& child) = 0;
    // ChildSaver::Terminate: the saver's processes end at once, with no input.
    virtual void EndChild(ChildSaver& child) = 0;
    // The user's input from now on counts anew. False when it cannot be watched: then
    // every end of a saver is taken for the user's wish, and nothing waits for input.
    virtual bool ForgetUserInput() = 0;
    // Whether the user has given input since ForgetUserInput.
    virtual bool HasUserInput() = 0;
    // GetTicks when that input came, which may be before run mode looked; only while
    // HasUserInput.
    virtual DWORD GetUserInputTick() = 0;
    // The display's state as the system last reported it to the cover.
    virtual DisplayState GetDisplayState() = 0;
    // One wait while no saver runs, dispatching messages: WAIT_OBJECT_0 after messages or
    // the user's input, WAIT_TIMEOUT after the time-out, anything else for a failed wait.
    virtual DWORD WaitForMessages(DWORD dwTimeoutMs) = 0;
    // The FadeMs setting: the length of a fade, 0 for none (also when there is no fade window).
    virtual DWORD GetFadeMs() = 0;
    // The opacity of the screen's fade window (SSFadeWnd::SetOpacity): 0 hides it,
    // kFadeOpaque shows the screen's picture alone.
    virtual void SetFade(size_t nScreen, BYTE nAlpha) = 0;

protected:
    RunEnvironment() = default;
    RunEnvironment(const RunEnvironment&) = default;
    RunEnvironment& operator=(const RunEnvironment&) = default;
    ~RunEnvironment() = default;
};
