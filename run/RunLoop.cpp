#include "run/RunLoop.h"

#include "app/ChildSaver.h"
#include "run/CoverRunEnvironment.h"
#include "run/RunEnvironment.h"
#include "run/SSCoverWnd.h"
#include "run/SaverRotation.h"
#include "settings/SSSettings.h"

namespace {

// Waits for the child until it ends (true) or its time is up or the wait fails (false).
// The deadline is fixed at the start: dispatching messages never moves it.
bool WaitForChildOrDeadline(RunEnvironment& env, HANDLE hProcess, DWORD dwStartTick,
                            DWORD dwSwitchDelayMs)
{
    DWORD dwTimeout = dwSwitchDelayMs == 0 ? INFINITE : dwSwitchDelayMs;
    for (;;) {
        const DWORD result = env.WaitForChild(hProcess, dwTimeout);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_OBJECT_0 + 1)
            return false;
        if (dwSwitchDelayMs != 0)
            dwTimeout = TimeLeftMs(dwStartTick, dwSwitchDelayMs, env.GetTicks());
    }
}

}  // namespace

DWORD SwitchDelayMs(bool bShuffleSavers, DWORD nShuffleDelayMinutes) noexcept
{
    if (!bShuffleSavers)
        return 0;
    // A product beyond 32 bits would wrap to a short delay, or to 0 and never switch.
    if (nShuffleDelayMinutes > kMaxSwitchDelayMs / kMsPerMinute)
        return kMaxSwitchDelayMs;
    return nShuffleDelayMinutes * kMsPerMinute;
}

DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept
{
    const DWORD dwElapsed = dwNow - dwStartTick;
    return dwElapsed >= dwDelayMs ? 0 : dwDelayMs - dwElapsed;
}

RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env)
{
    // Once every saver of the rotation has failed to start in a row, trying again would
    // only spin.
    DWORD nFailedInRow = 0;
    while (nFailedInRow < rotation.GetCount()) {
        env.SetPaintDesktop(env.GetShowDesktop());
        const AnsiString& path = rotation.CurrentPath();
        UniqueHandle child = env.StartChild(path, path + " " + cmdLine);
        const DWORD dwStartTick = env.GetTicks();
        if (child) {
            nFailedInRow = 0;
            if (WaitForChildOrDeadline(env, child.get(), dwStartTick, dwSwitchDelayMs))
                return RunEnd::ChildEnded;
        } else {
            ++nFailedInRow;
        }
        env.SetPaintDesktop(false);
        env.StopChild(child.get());
        rotation.Advance();
    }
    return RunEnd::NothingStarted;
}

void WaitForUserInput(SSCoverWnd& cover)
{
    if (!cover.IsWindow())
        return;
    cover.SetPaintDesktop(false);
    cover.SetEndOnInput(true);
    // Keys go to the foreground window; no saver holds that place any more.
    ::SetForegroundWindow(cover);
    while (!cover.HasUserInput() && cover.IsWindow()) {
        if (!::WaitMessage())
            break;
        DispatchWaitingMessages();
    }
    cover.SetEndOnInput(false);
}

void RunSaverLoop(const AnsiString& cmdLine)
{
    SaverRotation rotation;
    rotation.Prepare();
    SSSettings& settings = GetSettings();
    const DWORD dwSwitchDelayMs =
        SwitchDelayMs(settings.GetShuffleSavers(), settings.GetShuffleDelay());

    SSCoverWnd cover;
    cover.CreateCover();
    cover.ShowCover(true);
    CoverRunEnvironment env(cover, settings);
    // Without a saver to show, the black cover is the screen saver, ended by the user.
    if (RunSaverCycles(rotation, cmdLine, dwSwitchDelayMs, env) == RunEnd::NothingStarted)
        WaitForUserInput(cover);
    if (cover.IsWindow())
        ::DestroyWindow(cover);
}
