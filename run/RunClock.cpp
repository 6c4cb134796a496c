#include "run/RunClock.h"

#include "run/SSFadeWnd.h"

#include <algorithm>

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

DWORD FirstDelayMs(size_t nIndex, size_t nCount, DWORD dwDelayMs) noexcept
{
    if (dwDelayMs == 0 || nCount == 0)
        return dwDelayMs;
    // 64 bits: the product of a long delay and a screen number passes 32 bits.
    const unsigned long long nStep = static_cast<unsigned long long>(dwDelayMs) * (nIndex + 1);
    const auto dwFirst = static_cast<DWORD>(nStep / nCount);
    return dwFirst == 0 ? 1 : dwFirst;
}

DWORD TimeLeftMs(DWORD dwStartTick, DWORD dwDelayMs, DWORD dwNow) noexcept
{
    const DWORD dwElapsed = dwNow - dwStartTick;
    return dwElapsed >= dwDelayMs ? 0 : dwDelayMs - dwElapsed;
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

FadeClock::FadeClock(DWORD dwStartTick, DWORD dwLengthMs, bool bToCover) noexcept
    : m_dwStartTick(dwStartTick)
    , m_dwLengthMs(dwLengthMs)
    , m_dwNextStepMs(kFadeStepMs)
    , m_bToCover(bToCover)
    , m_bRunning(dwLengthMs != 0)
{
}

DWORD FadeClock::Timeout(DWORD dwTimeoutMs, DWORD dwNow) const noexcept
{
    if (!m_bRunning)
        return dwTimeoutMs;
    return std::min(dwTimeoutMs, TimeLeftMs(m_dwStartTick, m_dwNextStepMs, dwNow));
}

bool FadeClock::Step(DWORD dwNow, BYTE* pnAlpha) noexcept
{
    if (!m_bRunning)
        return false;
    const DWORD dwElapsed = dwNow - m_dwStartTick;
    if (dwElapsed < m_dwNextStepMs)
        return false;
    *pnAlpha = FadeOpacity(dwElapsed, m_dwLengthMs, m_bToCover);
    m_bRunning = dwElapsed < m_dwLengthMs;
    m_dwNextStepMs = dwElapsed + kFadeStepMs;
    return true;
}

bool FadeClock::Stop() noexcept
{
    const bool bWasRunning = m_bRunning;
    m_bRunning = false;
    return bWasRunning;
}
