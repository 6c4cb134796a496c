#include "run/RunMode.h"

#include "run/CoverRunEnvironment.h"
#include "run/MonitorLayout.h"
#include "run/RunLoop.h"
#include "run/SSCoverWnd.h"
#include "run/SaverRotation.h"
#include "settings/SSSettings.h"
#include "settings/SaverHealth.h"

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
    ScreenPlan plan;
    plan.dwSwitchDelayMs = SwitchDelayMs(settings.GetShuffleSavers(), settings.GetShuffleDelay());

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
    // A saver per monitor only where there are several monitors.
    plan.mode = settings.GetMonitorMode();
    const MonitorLayout layout = plan.mode == MonitorMode::OneOverAll
        ? MonitorLayout(std::vector<RECT>())
        : MonitorLayout::FromSystem();
    if (layout.GetCount() > 1) {
        plan.nScreens = layout.GetCount();
        plan.bHosted = true;
        env.UseHosts(layout.HostRects());
    } else {
        plan.mode = MonitorMode::OneOverAll;
    }
    // Without a saver to show, the black cover is the screen saver, ended by the user;
    // while a saver of the round may still work, the round is tried again now and then.
    while (RunScreenCycles(rotation, plan, cmdLine, env, &health) == RunEnd::NothingStarted) {
        const DWORD dwWaitMs =
            HasSaverToRun(rotation, health) ? FailedShowRetryMs(plan.dwSwitchDelayMs) : INFINITE;
        if (WaitForUserInput(cover, dwWaitMs))
            break;
    }
    if (cover.IsWindow())
        ::DestroyWindow(cover);
    // Housekeeping after the user has the screen back.
    if (health.GetEntryCount() > kMaxSaverHealthEntries)
        health.Tidy(settings.GetSavers());
}
