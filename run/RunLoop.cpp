#include "run/RunLoop.h"

#include "app/ChildSaver.h"
#include "run/CoverRunEnvironment.h"
#include "run/MonitorLayout.h"
#include "run/MonitorRunLoop.h"
#include "run/RunEnvironment.h"
#include "run/SSCoverWnd.h"
#include "run/SaverRotation.h"
#include "settings/SSSettings.h"

namespace {

// How a saver's time ended.
enum class SaverEnd {
    AfterUserInput,  // it ended after the user's input: the user's wish
    ByItself,  // it ended with no input from the user: a saver that died
    TimeUp,  // its time is up, or the wait failed: a switch
    InputUnheard,  // it still runs kChildStopGraceMs after the user's input
};

// Waits for the saver until it ends, its time is up or the wait fails. The deadline is
// fixed at the start: dispatching messages never moves it. Once the user has given input
// the switch is off, and the saver has kChildStopGraceMs from that input to end.
SaverEnd WaitForSaver(RunEnvironment& env, ChildSaver& child, DWORD dwStartTick,
                      DWORD dwSwitchDelayMs, bool bWatched)
{
    DWORD dwTimeout = dwSwitchDelayMs == 0 ? INFINITE : dwSwitchDelayMs;
    bool bInput = false;
    DWORD dwInputTick = 0;
    for (;;) {
        const DWORD result = env.WaitForChild(child, dwTimeout);
        const bool bNewInput = bWatched && !bInput && env.HasUserInput();
        if (bNewInput) {
            bInput = true;
            dwInputTick = env.GetTicks();
        }
        // Without a watch on the input every end is taken for the user's wish.
        if (result == WAIT_OBJECT_0)
            return bInput || !bWatched ? SaverEnd::AfterUserInput : SaverEnd::ByItself;
        if (result != WAIT_OBJECT_0 + 1 && !bNewInput)
            return bInput ? SaverEnd::InputUnheard : SaverEnd::TimeUp;
        if (bInput)
            dwTimeout = TimeLeftMs(dwInputTick, kChildStopGraceMs, env.GetTicks());
        else if (dwSwitchDelayMs != 0)
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
    // Once every saver of the rotation has failed in a row, trying again would only spin.
    DWORD nFailedInRow = 0;
    while (nFailedInRow < rotation.GetCount()) {
        env.SetPaintDesktop(env.GetShowDesktop());
        const AnsiString& path = rotation.CurrentPath();
        const bool bWatched = env.ForgetUserInput();
        ChildSaver child = env.StartChild(path, path + " " + cmdLine);
        const DWORD dwStartTick = env.GetTicks();
        SaverEnd end = SaverEnd::TimeUp;
        if (child) {
            end = WaitForSaver(env, child, dwStartTick, dwSwitchDelayMs, bWatched);
            if (end == SaverEnd::AfterUserInput)
                return RunEnd::ChildEnded;
            if (end == SaverEnd::InputUnheard) {
                env.EndChild(child);
                return RunEnd::InputUnheard;
            }
        }
        // A saver that ended by itself, with nobody at the machine, is passed over like
        // one that cannot start; one that ran for a while before had worked.
        const bool bFailed =
            !child || (end == SaverEnd::ByItself && env.GetTicks() - dwStartTick < kSaverWorkedMs);
        nFailedInRow = bFailed ? nFailedInRow + 1 : 0;
        env.SetPaintDesktop(false);
        if (end == SaverEnd::TimeUp)
            env.StopChild(child);
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
    // A saver per monitor only where there are several monitors and something to show.
    const MonitorMode mode = settings.GetMonitorMode();
    const MonitorLayout layout = mode == MonitorMode::OneOverAll
        ? MonitorLayout(std::vector<RECT>())
        : MonitorLayout::FromSystem();
    const RunEnd end = layout.GetCount() > 1 && !rotation.IsEmpty()
        ? RunMonitorCycles(rotation, mode, layout, dwSwitchDelayMs, cover, env)
        : RunSaverCycles(rotation, cmdLine, dwSwitchDelayMs, env);
    // Without a saver to show, the black cover is the screen saver, ended by the user.
    if (end == RunEnd::NothingStarted)
        WaitForUserInput(cover);
    if (cover.IsWindow())
        ::DestroyWindow(cover);
}
