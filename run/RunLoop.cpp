#include "run/RunLoop.h"

#include "run/MonitorLayout.h"
#include "run/RunEnvironment.h"
#include "run/SSFadeWnd.h"
#include "run/SaverRotation.h"
#include "run/Screen.h"
#include "saver/ChildSaver.h"
#include "saver/SaverCommandLine.h"
#include "settings/SaverHealth.h"

#include <algorithm>
#include <vector>

namespace {

// Room for " /p ", a handle in decimal and its NUL.
constexpr size_t kHostSwitchBuffer = 32;

// How a saver's time ended.
enum class SaverEnd {
    ByItself,  // it ended with no input from the user: a saver that died
    TimeUp,  // its time is up, or the wait failed: a switch
    InputUnheard,  // it still runs kChildStopGraceMs after the user's input
    DisplayOff,  // the display went off: it is to end without input, which would wake it
    CannotPreview,  // in a host, it showed a window of its own
};

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

class ScreenLoop {
public:
    ScreenLoop(SaverRotation& rotation, const ScreenPlan& plan, const AnsiString& cmdLine,
               RunEnvironment& env, SaverHealth* pHealth)
        : m_rotation(rotation)
        , m_choice(rotation, plan.mode, plan.nScreens)
        , m_plan(plan)
        , m_cmdLine(cmdLine)
        , m_env(env)
        , m_pHealth(pHealth)
        , m_dwFadeMs(env.GetFadeMs())
    {
        for (size_t i = 0; i < plan.nScreens; ++i)
            m_screens.emplace_back(i, FirstDelayMs(i, plan.nScreens, plan.dwSwitchDelayMs));
    }

    RunEnd Run();

private:
    // Starts the screen's next saver, passing over those that cannot start, up to a whole
    // round of them; then the screen rests.
    void StartOn(Screen& screen);
    void GiveUp(Screen& screen);
    // Notes the end, stops what still runs and moves the screen's choice on.
    void EndSaver(Screen& screen, SaverEnd end);
    void NoteEnd(const Screen& screen, SaverEnd end, bool bFailed);
    // Its time is up: it fades out first, if there is a fade.
    void OnTimeUp(Screen& screen);
    DWORD NextTimeout() const;
    // No saver draws while the display is off. False when the user's input came meanwhile.
    bool RestWhileDisplayOff();
    // Ends what still runs, savers before their hosts.
    RunEnd EndRun(RunEnd end);

    SaverRotation& m_rotation;
    MonitorSaverChoice m_choice;
    ScreenPlan m_plan;
    const AnsiString& m_cmdLine;
    RunEnvironment& m_env;
    SaverHealth* m_pHealth;
    DWORD m_dwFadeMs;
    std::vector<Screen> m_screens;
    // Whether the user's input is watched, and when it came once it has.
    bool m_bWatched = true;
    bool m_bInput = false;
    DWORD m_dwInputTick = 0;
};

void ScreenLoop::StartOn(Screen& screen)
{
    const size_t i = screen.nIndex;
    while (screen.nFailedInRow < m_rotation.GetCount()) {
        screen.path = m_choice.Next(i);
        // Left out during this run: passed over with no start, so with no gap either.
        if (m_pHealth != nullptr && m_pHealth->IsLeftOut(screen.path)) {
            ++screen.nFailedInRow;
            m_choice.Passed(i);
            continue;
        }
        const HWND hWndHost = m_plan.bHosted ? m_env.OpenHost(i) : nullptr;
        // No window to show in: no saver is to blame, and the screen rests.
        if (m_plan.bHosted && hWndHost == nullptr) {
            m_choice.Passed(i);
            break;
        }
        m_env.SetPaintDesktop(i, m_env.GetShowDesktop());
        m_bWatched = m_env.ForgetUserInput();
        screen.child =
            m_env.StartChild(screen.path, ScreenCommandLine(screen.path, hWndHost, m_cmdLine));
        screen.dwStartTick = m_env.GetTicks();
        if (!screen.child) {
            EndSaver(screen, SaverEnd::TimeUp);
            continue;
        }
        // The saver starts behind the screen's picture, and comes in from it.
        if (m_dwFadeMs != 0)
            m_env.SetFade(i, kFadeOpaque);
        screen.fade = FadeClock(screen.dwStartTick, m_dwFadeMs, false);
        screen.phase = Screen::Phase::Showing;
        screen.dwPhaseTick = screen.dwStartTick;
        screen.dwPhaseMs = screen.dwDelayMs;
        return;
    }
    GiveUp(screen);
}

void ScreenLoop::GiveUp(Screen& screen)
{
    screen.phase = Screen::Phase::Resting;
    screen.dwPhaseTick = m_env.GetTicks();
    // While a saver of the round may still work, it is tried again now and then.
    const bool bRetry = m_pHealth == nullptr || HasSaverToRun(m_rotation, *m_pHealth);
    screen.dwPhaseMs = bRetry ? FailedShowRetryMs(m_plan.dwSwitchDelayMs) : 0;
    const bool bOthersShow = std::any_of(m_screens.begin(), m_screens.end(),
                                         [](const Screen& other) { return other.HasSaver(); });
    // Its picture alone waits: no fade window stays over it.
    if (bOthersShow && m_dwFadeMs != 0)
        m_env.SetFade(screen.nIndex, 0);
}

void ScreenLoop::NoteEnd(const Screen& screen, SaverEnd end, bool bFailed)
{
    if (m_pHealth == nullptr)
        return;
    if (!screen.child) {
        m_pHealth->NoteFailure(screen.path, SaverFault::CouldNotStart, false, 0);
    } else if (end == SaverEnd::InputUnheard) {
        m_pHealth->NoteFailure(screen.path, SaverFault::IgnoredInput, false, 0);
    } else if (end == SaverEnd::CannotPreview) {
        m_pHealth->NoteFailure(screen.path, SaverFault::CannotPreview, false, 0);
    } else if (bFailed) {
        bool bHasExitCode = false;
        DWORD dwExitCode = 0;
        SaverFault fault = FaultOfEnd(screen.child, &bHasExitCode, &dwExitCode);
        // A saver that quits at once in a host may well run on the whole screen.
        if (fault == SaverFault::QuitAtOnce && m_plan.bHosted)
            fault = SaverFault::CannotPreview;
        m_pHealth->NoteFailure(screen.path, fault, bHasExitCode, dwExitCode);
    } else {
        m_pHealth->NoteGoodRun(screen.path);
    }
}

void ScreenLoop::EndSaver(Screen& screen, SaverEnd end)
{
    // A saver that ended by itself, with nobody at the machine, is passed over like one
    // that cannot start; one that ran for a while before had worked.
    const bool bFailed = !screen.child || end == SaverEnd::CannotPreview ||
        (end == SaverEnd::ByItself && m_env.GetTicks() - screen.dwStartTick < kSaverWorkedMs);
    // A saver closed for the display has neither failed nor shown that it works.
    if (end != SaverEnd::DisplayOff)
        NoteEnd(screen, end, bFailed);
    screen.nFailedInRow = bFailed ? screen.nFailedInRow + 1 : 0;
    m_env.SetPaintDesktop(screen.nIndex, false);
    if (end == SaverEnd::TimeUp || end == SaverEnd::DisplayOff)
        m_env.StopChild(screen.child);
    else if (end == SaverEnd::CannotPreview)
        m_env.EndChild(screen.child);
    screen.child = ChildSaver();
    screen.fade = FadeClock();
    screen.phase = Screen::Phase::Waiting;
    screen.dwDelayMs = m_plan.dwSwitchDelayMs;
    m_choice.Passed(screen.nIndex);
}

void ScreenLoop::OnTimeUp(Screen& screen)
{
    // It goes out to the screen's picture, and the user's input still ends the run
    // meanwhile.
    if (screen.phase == Screen::Phase::Showing && m_dwFadeMs != 0) {
        screen.phase = Screen::Phase::FadingOut;
        screen.dwPhaseTick = m_env.GetTicks();
        screen.dwPhaseMs = m_dwFadeMs;
        screen.fade = FadeClock(screen.dwPhaseTick, m_dwFadeMs, true);
        return;
    }
    if (screen.phase == Screen::Phase::FadingOut)
        m_env.SetFade(screen.nIndex, kFadeOpaque);
    EndSaver(screen, SaverEnd::TimeUp);
}

DWORD ScreenLoop::NextTimeout() const
{
    const DWORD dwNow = m_env.GetTicks();
    DWORD dwTimeout = INFINITE;
    for (const Screen& screen : m_screens) {
        DWORD dwLeft = screen.PhaseLeftMs(dwNow);
        if (screen.HasSaver()) {
            // Once the user has given input the switch and the fade are off, and the saver
            // has kChildStopGraceMs from that input to end.
            if (m_bInput)
                dwLeft = TimeLeftMs(m_dwInputTick, kChildStopGraceMs, dwNow);
            dwLeft = screen.fade.Timeout(dwLeft, dwNow);
            if (m_plan.bHosted && dwNow - screen.dwStartTick < kPreviewSettleMs)
                dwLeft = std::min(dwLeft, kPreviewCheckMs);
        }
        dwTimeout = std::min(dwTimeout, dwLeft);
    }
    return dwTimeout;
}

bool ScreenLoop::RestWhileDisplayOff()
{
    for (Screen& screen : m_screens)
        if (screen.HasSaver())
            EndSaver(screen, SaverEnd::DisplayOff);
    for (size_t i = 0; m_plan.bHosted && i < m_screens.size(); ++i)
        m_env.CloseHost(i);
    if (m_bWatched && m_env.HasUserInput())
        return false;
    return WaitForDisplay(m_env);
}

RunEnd ScreenLoop::EndRun(RunEnd end)
{
    for (Screen& screen : m_screens) {
        if (screen.child)
            m_env.EndChild(screen.child);
        screen.child = ChildSaver();
    }
    for (size_t i = 0; m_plan.bHosted && i < m_screens.size(); ++i)
        m_env.CloseHost(i);
    // The cover alone waits: no fade window stays over it.
    for (size_t i = 0; end == RunEnd::NothingStarted && m_dwFadeMs != 0 && i < m_screens.size();
         ++i)
        m_env.SetFade(i, 0);
    return end;
}

RunEnd ScreenLoop::Run()
{
    for (;;) {
        if (!m_bInput && m_env.GetDisplayState() == DisplayState::Off && !RestWhileDisplayOff())
            return EndRun(RunEnd::InputWhileDisplayOff);
        for (Screen& screen : m_screens)
            if (screen.phase == Screen::Phase::Waiting)
                StartOn(screen);
        // Once every screen's savers have failed in a row, trying again at once would spin.
        if (std::all_of(m_screens.begin(), m_screens.end(), [](const Screen& screen) {
                return screen.phase == Screen::Phase::Resting;
            }))
            return EndRun(RunEnd::NothingStarted);

        std::vector<Screen*> showing;
        std::vector<ChildSaver*> savers;
        for (Screen& screen : m_screens) {
            if (screen.HasSaver()) {
                showing.push_back(&screen);
                savers.push_back(&screen.child);
            }
        }
        const auto nSavers = static_cast<DWORD>(savers.size());
        const DWORD result = m_env.WaitForSavers(savers.data(), nSavers, NextTimeout());
        const bool bNewInput = m_bWatched && !m_bInput && m_env.HasUserInput();
        if (bNewInput) {
            m_bInput = true;
            m_dwInputTick = m_env.GetUserInputTick();
            for (Screen& screen : m_screens)
                if (screen.fade.Stop())
                    m_env.SetFade(screen.nIndex, 0);
            // A preview takes no input: nothing else would end it.
            if (m_plan.bHosted)
                return EndRun(RunEnd::ChildEnded);
        }
        if (result < WAIT_OBJECT_0 + nSavers) {
            Screen& screen = *showing[result - WAIT_OBJECT_0];
            // Without a watch on the input every end is taken for the user's wish.
            if (m_bInput || !m_bWatched) {
                if (m_bWatched)
                    NoteEnd(screen, SaverEnd::ByItself, false);
                screen.child = ChildSaver();
                return EndRun(RunEnd::ChildEnded);
            }
            EndSaver(screen, SaverEnd::ByItself);
            continue;
        }
        if (!m_bInput && m_env.GetDisplayState() == DisplayState::Off)
            continue;
        const DWORD dwNow = m_env.GetTicks();
        for (Screen* pScreen : showing) {
            BYTE nAlpha = 0;
            if (pScreen->fade.Step(dwNow, &nAlpha))
                m_env.SetFade(pScreen->nIndex, nAlpha);
            if (m_plan.bHosted && dwNow - pScreen->dwStartTick < kPreviewSettleMs &&
                m_env.ShowsOwnWindow(pScreen->child))
                EndSaver(*pScreen, SaverEnd::CannotPreview);
        }
        // Messages and the input's first sight are no time of anybody's.
        if (result == WAIT_OBJECT_0 + nSavers || bNewInput)
            continue;
        // A time-out is due for the screens whose time it is; a failed wait for all.
        for (Screen& screen : m_screens) {
            if (result == WAIT_TIMEOUT && screen.PhaseLeftMs(dwNow) != 0 &&
                (!m_bInput || !screen.HasSaver()))
                continue;
            if (screen.phase == Screen::Phase::Resting && screen.PhaseLeftMs(dwNow) == 0) {
                screen.nFailedInRow = 0;
                screen.phase = Screen::Phase::Waiting;
            } else if (screen.HasSaver() && !m_bInput) {
                OnTimeUp(screen);
            } else if (screen.HasSaver() &&
                       (result != WAIT_TIMEOUT ||
                        TimeLeftMs(m_dwInputTick, kChildStopGraceMs, dwNow) == 0)) {
                m_env.EndChild(screen.child);
                NoteEnd(screen, SaverEnd::InputUnheard, true);
                screen.child = ChildSaver();
                return EndRun(RunEnd::InputUnheard);
            }
        }
    }
}

}  // namespace

AnsiString ScreenCommandLine(const AnsiString& path, HWND hWndHost, const AnsiString& cmdLine)
{
    if (hWndHost == nullptr)
        return SaverCommandLine(path, " " + cmdLine);
    char szSwitch[kHostSwitchBuffer];
    ::wsprintfA(szSwitch, " /p %lu",
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hWndHost)));
    return SaverCommandLine(path, szSwitch);
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
        env.SetFade(0, FadeOpacity(dwElapsed, dwFadeMs, true));
        if (dwElapsed >= dwFadeMs)
            return true;
        const DWORD result = env.WaitForMessages(std::min(kFadeStepMs, dwFadeMs - dwElapsed));
        if (bWatched && env.HasUserInput()) {
            env.SetFade(0, 0);
            return false;
        }
        // A wait that fails would only spin: the show starts at once.
        if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) {
            env.SetFade(0, kFadeOpaque);
            return true;
        }
    }
}

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

bool HasSaverToRun(const SaverRotation& rotation, const SaverHealth& health)
{
    for (const AnsiString& path : rotation.GetEntries())
        if (!health.IsLeftOut(path))
            return true;
    return false;
}

RunEnd RunScreenCycles(SaverRotation& rotation, const ScreenPlan& plan, const AnsiString& cmdLine,
                       RunEnvironment& env, SaverHealth* pHealth)
{
    if (rotation.IsEmpty() || plan.nScreens == 0)
        return RunEnd::NothingStarted;
    ScreenLoop loop(rotation, plan, cmdLine, env, pHealth);
    return loop.Run();
}

RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env, SaverHealth* pHealth)
{
    ScreenPlan plan;
    plan.dwSwitchDelayMs = dwSwitchDelayMs;
    return RunScreenCycles(rotation, plan, cmdLine, env, pHealth);
}
