#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

class RunEnvironment;
class SaverHealth;
class SaverRotation;
class SSCoverWnd;

// The longest finite time between two savers; longer delays are cut to it.
constexpr DWORD kMaxSwitchDelayMs = INFINITE - 1;
constexpr DWORD kMsPerMinute = 60000;
// A saver that ends by itself after running this long had worked: it is passed over, but
// does not count toward the savers that failed in a row.
constexpr DWORD kSaverWorkedMs = 10000;

// A show whose savers have all failed tries them again after this long: a saver that
// fails at once then costs one start a minute, and a passing fault (a share briefly away,
// a saver that tripped over stray input) costs at most a minute of black.
constexpr DWORD kFailedShowRetryMs = 60000;

// Milliseconds a saver runs before the next one: the delay in minutes with switching on,
// else 0, which means never.
DWORD SwitchDelayMs(bool bShuffleSavers, DWORD nShuffleDelayMinutes) noexcept;

// How long the black cover of a show whose savers have all failed waits before it tries
// them again: the shorter of the switch delay and kFailedShowRetryMs, with switching on or
// off.
DWORD FailedShowRetryMs(DWORD dwSwitchDelayMs) noexcept;

// The steps of a fade: about 60 a second.
constexpr DWORD kFadeStepMs = 16;

// The fade window's opacity dwElapsedMs into a fade of dwLengthMs: rising to kFadeOpaque
// (out to the cover's picture) or falling to 0 (in from it), each reached at the end.
BYTE FadeOpacity(DWORD dwElapsedMs, DWORD dwLengthMs, bool bToCover) noexcept;

// The fade from the desktop into the show, before the cover is shown: the fade window
// darkens the desktop to black over the fade's length, and stays up. Nothing to do with
// the fade off, or with ShowDesktop. False when the user's input ended it: the fade
// window is hidden at once, and the run is over.
bool FadeFromDesktop(RunEnvironment& env);

// What is left of a saver's time at dwNow, 0 once it is up; right across the wrap of the
// tick counter.
DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept;

// How the cycles of the run ended.
enum class RunEnd {
    ChildEnded,  // a saver ended after the user's input: the user's wish to end the run
    InputUnheard,  // the user's input did not end the saver in time: it was ended
    NothingStarted,  // the rotation is empty, or every saver of it failed in a row
    InputWhileDisplayOff,  // the user's input came while the display was off
};

// While the display is off the black cover waits for it, with no saver and no switch
// due. False when the user's input ends the run meanwhile.
bool WaitForDisplay(RunEnvironment& env);

// Whether some saver of the rotation may be started: one that is not left out.
bool HasSaverToRun(const SaverRotation& rotation, const SaverHealth& health);

// Starts, times, stops and replaces the savers of the rotation until the user's input
// ends one, or ends the run kChildStopGraceMs after it, or until every saver of it has
// failed in a row: not started, or ended by itself soon after its start with no input.
// While the display is off no saver runs and no switch is due; when it comes on again the
// next saver starts with a time of its own. With a fade, each saver that starts comes in
// from the cover's picture, and one whose time is up goes out to it before it is stopped.
// With pHealth, each end of a saver is noted there and savers left out are passed over
// without a start.
RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env, SaverHealth* pHealth = nullptr);

// Keeps the cover up until the user moves the mouse, clicks or presses a key, or the
// time-out has passed; returns at once when there is no cover window to see that input.
// False only when the time ran out.
bool WaitForUserInput(SSCoverWnd& cover, DWORD dwTimeoutMs = INFINITE);

// Run mode: covers the screen and runs the selected savers until the user ends one.
void RunSaverLoop(const AnsiString& cmdLine);
