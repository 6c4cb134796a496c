#pragma once
#include <windows.h>

// The times of run mode: how long savers run, when a show tries again, how a fade steps.
// Every time is counted on the tick counter, right across its wrap.

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
// The steps of a fade: about 60 a second.
constexpr DWORD kFadeStepMs = 16;
// A saver in a host that shows a visible top-level window of its own within this time of
// its start (a settings dialog instead of a preview) cannot preview.
constexpr DWORD kPreviewSettleMs = 5000;
// How often that is looked at while a saver is settling.
constexpr DWORD kPreviewCheckMs = 250;

// Milliseconds a saver runs before the next one: the delay in minutes with switching on,
// else 0, which means never.
DWORD SwitchDelayMs(bool bShuffleSavers, DWORD nShuffleDelayMinutes) noexcept;

// How long a show whose savers have all failed waits before it tries them again: the
// shorter of the switch delay and kFailedShowRetryMs, with switching on or off.
DWORD FailedShowRetryMs(DWORD dwSwitchDelayMs) noexcept;

// The first saver of screen nIndex of nCount runs this long, so that the screens switch
// one after another, dwDelayMs / nCount apart, and never all at once; later savers run
// dwDelayMs. 0 (never switch) stays 0.
DWORD FirstDelayMs(size_t nIndex, size_t nCount, DWORD dwDelayMs) noexcept;

// What is left of a time of dwDelayMs from dwStartTick at dwNow, 0 once it is up.
DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept;

// The fade window's opacity dwElapsedMs into a fade of dwLengthMs: rising to kFadeOpaque
// (out to the cover's picture) or falling to 0 (in from it), each reached at the end.
BYTE FadeOpacity(DWORD dwElapsedMs, DWORD dwLengthMs, bool bToCover) noexcept;

// A fade of a fade window's opacity over a length of time, stepped by the waits around
// it; one of no length changes nothing.
class FadeClock {
public:
    FadeClock() noexcept = default;
    FadeClock(DWORD dwStartTick, DWORD dwLengthMs, bool bToCover) noexcept;

    bool IsRunning() const noexcept { return m_bRunning; }
    // The time-out of the next wait: the caller's, or the time to the next step when that
    // comes first.
    DWORD Timeout(DWORD dwTimeoutMs, DWORD dwNow) const noexcept;
    // After any wait, whatever woke it: the opacity the clock gives at dwNow, once a step
    // is due, so that messages coming faster than the steps never hold a fade up; false
    // when no step is due. A fade in ends at 0, with the window hidden.
    bool Step(DWORD dwNow, BYTE* pnAlpha) noexcept;
    // The user gets the screen back at once: true when the fade was running.
    bool Stop() noexcept;

private:
    DWORD m_dwStartTick = 0;
    DWORD m_dwLengthMs = 0;
    DWORD m_dwNextStepMs = 0;
    bool m_bToCover = false;
    bool m_bRunning = false;
};
