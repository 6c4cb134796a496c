#include "run/RunLoop.h"

#include "run/CoverRunEnvironment.h"
#include "run/RunEnvironment.h"
#include "run/SSCoverWnd.h"
#include "run/SaverRotation.h"
#include "saver/ChildSaver.h"
#include "settings/SSSettings.h"

namespace {

// How a saver's time ended.
enum class SaverEnd {
    AfterUserInput,  // it ended after the user's input: the user's wish
    ByItself,  // it ended with no input from the user: a saver that died
    TimeUp,  // its time is up, or the wait failed: a switch
    InputUnheard,  // it still runs kChildStopGraceMs after the user's input
    DisplayOff,  // the display went off: it is to end without input, which would wake it
};

// Waits for the saver until it ends, its time is up, the display goes off or the wait
// fails. The deadline is fixed at the start: dispatching messages never moves it. Once the
// user has given input the switch is off, and the saver has kChildStopGraceMs from that
// input to end.
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
            dwInputTick = env.GetUserInputTick();
        }
        // Without a watch on the input every end is taken for the user's wish.
        if (result == WAIT_OBJECT_0)
            return bInput || !bWatched ? SaverEnd::AfterUserInput : SaverEnd::ByItself;
        if (!bInput && env.GetDisplayState() == DisplayState::Off)
            return SaverEnd::DisplayOff;
        if (result != WAIT_OBJECT_0 + 1 && !bNewInput)
            return bInput ? SaverEnd::InputUnheard : SaverEnd::TimeUp;
        if (bInput)
            dwTimeout = TimeLeftMs(dwInputTick, kChildStopGraceMs, env.GetTicks());
        else if (dwSwitchDelayMs != 0)
            dwTimeout = TimeLeftMs(dwStartTick, dwSwitchDelayMs, env.GetTicks());
    }
}

// While the display is off the black cover waits for it, with no saver and no switch
// due. False when the user's input ends the run meanwhile.
bool WaitForDisplay(RunEnvironment& env)
{
    const bool bWatched = env.ForgetUserInput();
    while (env.GetDisplayState() == DisplayState::Off) {
        // A wait that fails would only spin: the savers go on instead.
        if (env.WaitForMessages() != WAIT_OBJECT_0)
            return true;
        if (bWatched && env.HasUserInput())
            return false;
    }
    return true;
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
        if (env.GetDisplayState() == DisplayState::Off && !WaitForDisplay(env))
            return RunEnd::InputWhileDisplayOff;
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
        if (end == SaverEnd::DisplayOff) {
            env.CloseChild(child);
            if (bWatched && env.HasUserInput())
                return RunEnd::InputWhileDisplayOff;
        }
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
