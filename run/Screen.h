#pragma once
#include "run/RunClock.h"
#include "saver/ChildSaver.h"
#include "ui/AnsiString.h"

#include <windows.h>

// One place where a saver shows: the whole screen, under a saver started with the run's
// own command line, or one monitor's host window, under a saver started with "/p" and
// the host's handle. Each has its own saver, times, fade and failures in a row; the run
// loop (RunLoop.cpp) moves it through its phases.
struct Screen {
    enum class Phase {
        Waiting,  // no saver: the next one is to start
        Showing,  // its saver runs its time, coming in from the screen's picture at first
        FadingOut,  // its time is up: the saver goes out to the screen's picture, still running
        Resting,  // every saver failed in a row: it tries again at its retry time, if ever
    };

    Screen(size_t nIndexIn, DWORD dwFirstDelayMs) noexcept
        : nIndex(nIndexIn)
        , dwDelayMs(dwFirstDelayMs)
    {
    }

    bool HasSaver() const noexcept { return phase == Phase::Showing || phase == Phase::FadingOut; }
    // What is left of the phase's time at dwNow: INFINITE for a time of 0 (never).
    DWORD PhaseLeftMs(DWORD dwNow) const noexcept
    {
        return dwPhaseMs == 0 ? INFINITE : TimeLeftMs(dwPhaseTick, dwPhaseMs, dwNow);
    }

    size_t nIndex;
    Phase phase = Phase::Waiting;
    AnsiString path;
    ChildSaver child;
    DWORD dwStartTick = 0;
    // The time of the next saver: staggered for the first one, then the switch delay.
    DWORD dwDelayMs;
    // When the phase began and how long it lasts (Showing: the saver's time; FadingOut: the
    // fade; Resting: the time to the retry).
    DWORD dwPhaseTick = 0;
    DWORD dwPhaseMs = 0;
    FadeClock fade;
    DWORD nFailedInRow = 0;
};
