#pragma once
#include "ui/AnsiString.h"

#include <windows.h>

class RunEnvironment;
class SaverRotation;
class SSCoverWnd;

// The longest finite time between two savers; longer delays are cut to it.
constexpr DWORD kMaxSwitchDelayMs = INFINITE - 1;
constexpr DWORD kMsPerMinute = 60000;

// Milliseconds a saver runs before the next one: the delay in minutes with switching on,
// else 0, which means never.
DWORD SwitchDelayMs(bool bShuffleSavers, DWORD nShuffleDelayMinutes) noexcept;

// What is left of a saver's time at dwNow, 0 once it is up; right across the wrap of the
// tick counter.
DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept;

// How the cycles of the run ended.
enum class RunEnd {
    ChildEnded,  // a saver ended by itself: the user's wish to end the run
    NothingStarted,  // the rotation is empty, or no saver of it could be started
};

// Starts, times, stops and replaces the savers of the rotation until one ends by itself,
// or until every saver of it has failed to start in a row.
RunEnd RunSaverCycles(SaverRotation& rotation, const AnsiString& cmdLine, DWORD dwSwitchDelayMs,
                      RunEnvironment& env);

// Keeps the cover up until the user moves the mouse, clicks or presses a key; returns at
// once when there is no cover window to see that input.
void WaitForUserInput(SSCoverWnd& cover);

// Run mode: covers the screen and runs the selected savers until the user ends one.
void RunSaverLoop(const AnsiString& cmdLine);
