#include "run/RunLoop.h"

#include "run/CoverRunEnvironment.h"
#include "run/MonitorLayout.h"
#include "run/MonitorRunLoop.h"
#include "run/RunEnvironment.h"
#include "run/SSCoverWnd.h"
#include "run/SSFadeWnd.h"
#include "run/SaverRotation.h"
#include "saver/ChildSaver.h"
#include "saver/SaverCommandLine.h"
#include "settings/SSSettings.h"
#include "settings/SaverHealth.h"

#include <algorithm>

namespace {

// How a saver's time ended.
enum class SaverEnd {
    AfterUserInput,  // it ended after the user's input: the user's wish
    ByItself,  // it ended with no input from the user: a saver that died
    TimeUp,  // its time is up, or the wait failed: a switch
    InputUnheard,  // it still runs kChildStopGraceMs after the user's input
    DisplayOff,  // the display went off: it is to end without input, which would wake it
};

// A fade of the fade window's opacity over a length of time, stepped by the waits around
// it; one of no length changes nothing, and leaves the waits to their callers.
class Fade {
public:
    Fade() noexcept = default;
    Fade(DWORD dwStartTick, DWORD dwLengthMs, bool bToCover) noexcept
        : m_dwStartTick(dwStartTick)
        , m_dwLengthMs(dwLengthMs)
        , m_dwNextStepMs(kFadeStepMs)
        , m_bToCover(bToCover)
        , m_bRunning(dwLengthMs != 0)
    {
    }

    // The time-out of the next wait: the caller's, or the time to the next step when that
    // comes first.
    DWORD Timeout(DWORD dwTimeoutMs, DWORD dwNow) const noexcept
    {
        if (!m_bRunning)
            return dwTimeoutMs;
        return std::min(dwTimeoutMs, TimeLeftMs(m_dwStartTick, m_dwNextStepMs, dwNow));
    }
    // After any wait, whatever woke it: once a step is due it sets the opacity that the
    // clock gives, so that messages coming faster than the steps never hold a fade up; a
    // fade in ends with the window hidden. True when a step was made.
    bool Step(RunEnvironment& env) noexcept
    {
        if (!m_bRunning)
            return false;
        const DWORD dwElapsed = env.GetTicks() - m_dwStartTick;
        if (dwElapsed < m_dwNextStepMs)
            return false;
        env.SetFade(FadeOpacity(dwElapsed, m_dwLengthMs, m_bToCover));
        m_bRunning = dwElapsed < m_dwLengthMs;
        m_dwNextStepMs = dwElapsed + kFadeStepMs;
        return true;
    }
    // The user gets the screen back at once.
    void Stop(RunEnvironment& env) noexcept
    {
        if (!m_bRunning)
            return;
        m_bRunning = false;
        env.SetFade(0);
    }

private:
    DWORD m_dwStartTick = 0;
    DWORD m_dwLengthMs = 0;
    DWORD m_dwNextStepMs = 0;
    bool m_bToCover = false;
    bool m_bRunning = false;
};

// Waits for the saver until it ends, its time is up, the display goes off or the wait
// fails, stepping the fade meanwhile. The deadline is fixed at the start: dispatching
// messages never moves it. Once the user has given input the switch and the fade are off,
// and the saver has kChildStopGraceMs from that input to end.
SaverEnd WaitForSaver(RunEnvironment& env, ChildSaver& child, DWORD dwStartTick,
                      DWORD dwSwitchDelayMs, bool bWatched, Fade fade = Fade())
{
    DWORD dwTimeout = dwSwitchDelayMs == 0 ? INFINITE : dwSwitchDelayMs;
    bool bInput = false;
    DWORD dwInputTick = 0;
    for (;;) {
        const DWORD dwWaitMs = fade.Timeout(dwTimeout, env.GetTicks());
        const DWORD result = env.WaitForChild(child, dwWaitMs);
        const bool bNewInput = bWatched && !bInput && env.HasUserInput();
        if (bNewInput) {
            bInput = true;
            dwInputTick = env.GetUserInputTick();
            fade.Stop(env);
        }
        // Without a watch on the input every end is taken for the user's wish.
        if (result == WAIT_OBJECT_0)
            return bInput || !bWatched ? SaverEnd::AfterUserInput : SaverEnd::ByItself;
        if (!bInput && env.GetDisplayState() == DisplayState::Off)
            return SaverEnd::DisplayOff;
        fade.Step(env);
        // A time-out of the fade's own step is not the saver's time.
        const bool bStepWait = result == WAIT_TIMEOUT && dwWaitMs < dwTimeout;
        if (result != WAIT_OBJECT_0 + 1 && !bNewInput && !bStepWait)
            return bInput ? SaverEnd::InputUnheard : SaverEnd::TimeUp;
        if (bInput)
            dwTimeout = TimeLeftMs(dwInputTick, kChildStopGraceMs, env.GetTicks());
        else if (dwSwitchDelayMs != 0)
            dwTimeout = TimeLeftMs(dwStartTick, dwSwitchDelayMs, env.GetTicks());
    }
}

}  // namespace

bool WaitForDisplay(RunEnvironment& env)
{
    const bool bWatched = env.ForgetUserInput();
    while (env.GetDisplayState() == DisplayState::Off) {
        // A wait that fails would only spin: the savers go on instead.
        if (env.WaitForMessages(INFINITE) != WAIT_OBJECT_0)
            return true;
        if (bWatched && env.HasUserInput())
            return false;
    }
    return true;
}

namespace {

// What the end of a saver that failed says about it: a crash when its exit code is an
// exception's, else a quit.
SaverFault FaultOfEnd(const ChildSaver& child, bool* pbHasExitCode, DWORD* pdwExitCode)
{
    *pdwExitCode = 0;
    *pbHasExitCode =
        ::GetExitCodeProcess(child.Process(), pdwExitCode) != FALSE && *pdwExitCode != STILL_ACTIVE;
    if (!*pbHasExitCode)
        *pdwExitCode = 0;
    return *pbHasExitCode && IsExceptionExitCode(*pdwExitCode) ? SaverFault::Crashed
                                                               : SaverFault::QuitAtOnce;
}

void NoteSaverEnd(SaverHealth* pHealth, const AnsiString& path, const ChildSaver& child,
                  SaverEnd end, bool bFailed)
{
    if (pHealth == nullptr)
        return;
    if (!child) {
        pHealth->NoteFailure(path, SaverFault::CouldNotStart, false, 0);
    } else if (end == SaverEnd::InputUnheard) {
        pHealth->NoteFailure(path, SaverFault::IgnoredInput, false, 0);
    } else if (bFailed) {
        bool bHasExitCode = false;
        DWORD dwExitCode = 0;
        const SaverFault fault = FaultOfEnd(child, &bHasExitCode, &dwExitCode);
        pHealth->NoteFailure(path, fault, bHasExitCode, dwExitCode);
    } else {
        pHealth->NoteGoodRun(path);
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

DWORD FailedShowRetryMs(DWORD dwSwitchDelayMs) noexcept
{
    return dwSwitchDelayMs != 0 && dwSwitchDelayMs < kFailedShowRetryMs ? dwSwitchDelayMs
                                                                        : kFailedShowRetryMs;
}

bool HasSaverToRun(const SaverRotation& rotation, const SaverHealth& health)
{
    for (const AnsiString& path : rotation.GetEntries())
        if (!health.IsLeftOut(path))
            return true;
    return false;
}

BYTE FadeOpacity(DWORD dwElapsedMs, DWORD dwLengthMs, bool bToCover) noexcept
{
    if (dwElapsedMs >= dwLengthMs)
        return bToCover ? kFadeOpaque : 0;
    // 64 bits: no product of a length and an opacity wraps.
    const auto nDone =
        static_cast<BYTE>(static_cast<unsigned long long>(dwElapsedMs) * kFadeOpaque / dwLengthMs);
    return bToCover ? nDone : static_cast<BYTE>(kFadeOpaque - nDone);
}

bool FadeFromDesktop(RunEnvironment& env)
{
    const DWORD dwFadeMs = env.GetFadeMs();
    // With ShowDesktop the cover's picture is the desktop as it stands: nothing to fade.
    if (dwFadeMs == 0 || env.GetShowDesktop())
        return true;
    const bool bWatched = env.ForgetUserInput();
    const DWORD dwStartTick = env.GetTicks();
    for (;;) {
        const DWORD dwElapsed = env.GetTicks() - dwStartTick;
        env.SetFade(FadeOpacity(dwElapsed, dwFadeMs, true));
        if (dwElapsed >= dwFadeMs)
            return true;
        const DWORD result = env.WaitForMessages(std::min(kFadeStepMs, dwFadeMs - dwElapsed));
        if (bWatched && env.HasUserInput()) {
            env.SetFade(0);
            return false;
        }
        // A wait that fails would only spin: the show starts at once.
        if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) {
            env.SetFade(kFadeOpaque);
            return true;
        }
    }
}

DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept
{
    const DWORD dwElapsed = dwNow - dwStartTick;
    return dwElapsed >= dwDelayMs ? 0 : dwDelayMs - dwElapsed;
}

RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env, SaverHealth* pHealth)
{
    // Once every saver of the rotation has failed in a row, trying again would only spin.
    DWORD nFailedInRow = 0;
    const DWORD dwFadeMs = env.GetFadeMs();
    while (nFailedInRow < rotation.GetCount()) {
        if (env.GetDisplayState() == DisplayState::Off && !WaitForDisplay(env))
            return RunEnd::InputWhileDisplayOff;
        const AnsiString& path = rotation.CurrentPath();
        // Left out during this run: passed over with no start, so with no gap either.
        if (pHealth != nullptr && pHealth->IsLeftOut(path)) {
            ++nFailedInRow;
            rotation.Advance();
            continue;
        }
        env.SetPaintDesktop(env.GetShowDesktop());
        const bool bWatched = env.ForgetUserInput();
        ChildSaver child = env.StartChild(path, SaverCommandLine(path, " " + cmdLine));
        const DWORD dwStartTick = env.GetTicks();
        SaverEnd end = SaverEnd::TimeUp;
        if (child) {
            // The saver starts behind the cover's picture, and comes in from it.
            if (dwFadeMs != 0)
                env.SetFade(kFadeOpaque);
            end = WaitForSaver(env, child, dwStartTick, dwSwitchDelayMs, bWatched,
                               Fade(dwStartTick, dwFadeMs, false));
            // Its time is up: it goes out to the cover's picture, and the user's input still
            // ends the run meanwhile.
            if (end == SaverEnd::TimeUp && dwFadeMs != 0) {
                const DWORD dwFadeTick = env.GetTicks();
                end = WaitForSaver(env, child, dwFadeTick, dwFadeMs, bWatched,
                                   Fade(dwFadeTick, dwFadeMs, true));
                if (end == SaverEnd::TimeUp)
                    env.SetFade(kFadeOpaque);
            }
            if (end == SaverEnd::AfterUserInput) {
                // Without a watch on the input, an end tells nothing about the saver.
                if (bWatched)
                    NoteSaverEnd(pHealth, path, child, end, false);
                return RunEnd::ChildEnded;
            }
            if (end == SaverEnd::InputUnheard) {
                env.EndChild(child);
                NoteSaverEnd(pHealth, path, child, end, true);
                return RunEnd::InputUnheard;
            }
        }
        // A saver that ended by itself, with nobody at the machine, is passed over like
        // one that cannot start; one that ran for a while before had worked.
        const bool bFailed =
            !child || (end == SaverEnd::ByItself && env.GetTicks() - dwStartTick < kSaverWorkedMs);
        // A saver closed for the display has neither failed nor shown that it works.
        if (end != SaverEnd::DisplayOff)
            NoteSaverEnd(pHealth, path, child, end, bFailed);
        nFailedInRow = bFailed ? nFailedInRow + 1 : 0;
        env.SetPaintDesktop(false);
        if (end == SaverEnd::TimeUp)
            env.StopChild(child);
        if (end == SaverEnd::DisplayOff) {
            env.StopChild(child);
            if (bWatched && env.HasUserInput())
                return RunEnd::InputWhileDisplayOff;
        }
        rotation.Advance();
    }
    // The cover alone waits: no fade window stays over it.
    if (dwFadeMs != 0)
        env.SetFade(0);
    return RunEnd::NothingStarted;
}

bool WaitForUserInput(SSCoverWnd& cover, DWORD dwTimeoutMs)
{
    if (!cover.IsWindow())
        return true;
    cover.SetPaintDesktop(false);
    cover.SetEndOnInput(true);
    // Keys go to the foreground window; no saver holds that place any more.
    ::SetForegroundWindow(cover);
    const DWORD dwStart = ::GetTickCount();
    bool bTimeUp = false;
    while (!cover.HasUserInput() && cover.IsWindow()) {
        const DWORD dwLeft =
            dwTimeoutMs == INFINITE ? INFINITE : TimeLeftMs(dwStart, dwTimeoutMs, ::GetTickCount());
        const DWORD result = ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwLeft, QS_ALLINPUT);
        if (result == WAIT_TIMEOUT) {
            bTimeUp = true;
            break;
        }
        if (result != WAIT_OBJECT_0)
            break;
        DispatchWaitingMessages();
    }
    cover.SetEndOnInput(false);
    return !bTimeUp;
}

void RunSaverLoop(const AnsiString& cmdLine)
{
    SSSettings& settings = GetSettings();
    SaverHealth health(true);
    SaverRotation rotation;
    // A saver that failed too often in a row has no place in the round.
    rotation.Prepare(health.WithoutLeftOut(settings.GetSavers()), MakeShuffleSeed());
    const DWORD dwSwitchDelayMs =
        SwitchDelayMs(settings.GetShuffleSavers(), settings.GetShuffleDelay());

    SSCoverWnd cover;
    cover.CreateCover();
    CoverRunEnvironment env(cover, settings);
    // The user's input during the fade from the desktop ends the run before the cover is
    // ever shown.
    if (!FadeFromDesktop(env)) {
        ::DestroyWindow(cover);
        return;
    }
    cover.ShowCover(true);
    // A saver per monitor only where there are several monitors and something to show.
    const MonitorMode mode = settings.GetMonitorMode();
    const MonitorLayout layout = mode == MonitorMode::OneOverAll
        ? MonitorLayout(std::vector<RECT>())
        : MonitorLayout::FromSystem();
    if (layout.GetCount() > 1 && !rotation.IsEmpty()) {
        // The savers of several monitors switch one by one, with no fade between them.
        env.SetFade(0);
        if (RunMonitorCycles(rotation, mode, layout, dwSwitchDelayMs, cover, env) ==
            RunEnd::NothingStarted)
            WaitForUserInput(cover);
    } else {
        // Without a saver to show, the black cover is the screen saver, ended by the user;
        // while a saver of the round may still work, the round is tried again now and then.
        while (RunSaverCycles(rotation, cmdLine, dwSwitchDelayMs, env, &health) ==
               RunEnd::NothingStarted) {
            const DWORD dwWaitMs =
                HasSaverToRun(rotation, health) ? FailedShowRetryMs(dwSwitchDelayMs) : INFINITE;
            if (WaitForUserInput(cover, dwWaitMs))
                break;
        }
    }
    if (cover.IsWindow())
        ::DestroyWindow(cover);
    // Housekeeping after the user has the screen back.
    if (health.GetEntryCount() > kMaxSaverHealthEntries)
        health.Tidy(settings.GetSavers());
}
