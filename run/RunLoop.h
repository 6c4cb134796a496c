#pragma once
#include "run/RunClock.h"
#include "settings/SSSettings.h"
#include "ui/AnsiString.h"

#include <windows.h>

class RunEnvironment;
class SaverHealth;
class SaverRotation;

// How the cycles of the run ended.
enum class RunEnd {
    ChildEnded,  // a saver ended after the user's input, or the input ended the previews
    InputUnheard,  // the user's input did not end the saver in time: it was ended
    NothingStarted,  // the rotation is empty, or every screen's savers failed in a row
    InputWhileDisplayOff,  // the user's input came while the display was off
};

// Where the savers of a run show: the whole screen (one screen, savers started with the
// run's command line), or a host window per monitor (savers started with "/p").
struct ScreenPlan {
    size_t nScreens = 1;
    bool bHosted = false;
    MonitorMode mode = MonitorMode::OneOverAll;
    DWORD dwSwitchDelayMs = 0;
};

// The command line of a saver (SaverCommandLine): its path, then a blank and the run's
// command line, or, in a host, "/p" and the host's handle in decimal.
AnsiString ScreenCommandLine(const AnsiString& path, HWND hWndHost, const AnsiString& cmdLine);

// The fade from the desktop into the show, before the cover is shown: the fade window
// darkens the desktop to black over the fade's length, and stays up. Nothing to do with
// the fade off, or with ShowDesktop. False when the user's input ended it: the fade
// window is hidden at once, and the run is over.
bool FadeFromDesktop(RunEnvironment& env);

// While the display is off the black cover waits for it, with no saver and no switch
// due. False when the user's input ends the run meanwhile.
bool WaitForDisplay(RunEnvironment& env);

// Whether some saver of the rotation may be started: one that is not left out.
bool HasSaverToRun(const SaverRotation& rotation, const SaverHealth& health);

// Starts, times, stops and replaces the savers of every screen of the plan until the
// user's input ends the run, or until every screen's savers have failed in a row: not
// started, ended by themselves soon after their start with no input, or, in a host,
// showing a window of their own. The user's input ends a whole-screen saver, or the run
// kChildStopGraceMs after it; previews in hosts end at once. A screen whose savers all
// failed while other screens show savers tries again after FailedShowRetryMs. While the
// display is off no saver runs and no switch is due; when it comes on again each screen
// starts its next saver with a time of its own. With a fade, each saver that starts comes
// in from its screen's picture, and one whose time is up goes out to it before it is
// stopped. With pHealth, each end of a saver is noted there and savers left out are
// passed over without a start.
RunEnd RunScreenCycles(SaverRotation& rotation, const ScreenPlan& plan, const AnsiString& cmdLine,
                       RunEnvironment& env, SaverHealth* pHealth = nullptr);

// RunScreenCycles with one whole-screen saver at a time.
RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env, SaverHealth* pHealth = nullptr);
