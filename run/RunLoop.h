#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

class RunEnvironment;
class SaverRotation;
class SSCoverWnd;

// The longest finite time between two savers; longer delays are cut to it.
constexpr DWORD kMaxSwitchDelayMs = INFINITE - 1;
constexpr DWORD kMsPerMinute = 60000;
// A saver that ends by itself after running this long had worked: it is passed over, but
// does not count toward the savers that failed in a row.
constexpr DWORD kSaverWorkedMs = 10000;

// Milliseconds a saver runs before the next one: the delay in minutes with switching on,
// else 0, which means never.
DWORD SwitchDelayMs(bool bShuffleSavers, DWORD nShuffleDelayMinutes) noexcept;

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

// Starts, times, stops and replaces the savers of the rotation until the user's input
// ends one, or ends the run kChildStopGraceMs after it, or until every saver of it has
// failed in a row: not started, or ended by itself soon after its start with no input.
// While the display is off no saver runs and no switch is due; when it comes on again the
// next saver starts with a time of its own.
RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env);

// Keeps the cover up until the user moves the mouse, clicks or presses a key; returns at
// once when there is no cover window to see that input.
void WaitForUserInput(SSCoverWnd& cover);

// Run mode: covers the screen and runs the selected savers until the user ends one.
void RunSaverLoop(const AnsiString& cmdLine);
