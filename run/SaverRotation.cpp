#include "run/SaverRotation.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"

#include <mbstring.h>

#include <utility>

const char kLastStartedValue[] = "LastStarted";

namespace {

const DWORD kRandomMultiplier = 214013;
const DWORD kRandomIncrement = 2531011;
const unsigned kRandomShift = 16;
const unsigned kRandomMask = 0x7FFF;

// The saver path buffer of the system, and what a read of LastStarted may fill of it.
const DWORD kPathBufferSize = MAX_PATH;
const DWORD kLastStartedReadSize = kPathBufferSize - 1;

AnsiString ReadLastStarted()
{
    char buffer[kPathBufferSize] = {};
    if (!RegReadValue(kSettingsKey, kLastStartedValue, buffer, kLastStartedReadSize))
        return AnsiString();
    return AnsiString(buffer);
}

// Case-insensitive in the ANSI code page, a double-byte character taken as one.
bool SamePathText(const AnsiString& a, const AnsiString& b)
{
    return ::_mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                      reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

}  // namespace

unsigned DrawShuffleValue(DWORD& state) noexcept
{
    // Unsigned 32-bit arithmetic wraps modulo 2^32, which is the generator's modulus.
    state = state * kRandomMultiplier + kRandomIncrement;
    return (state >> kRandomShift) & kRandomMask;
}

void ShuffleEntries(PathList& entries, DWORD& state)
{
    const size_t n = entries.GetCount();
    if (n < 2)
        return;
    for (size_t i = 0; i + 1 < n; ++i) {
        const size_t e = i + DrawShuffleValue(state) % (n - i);
        if (e != i)
            std::swap(entries[e], entries[i]);
    }
}

DWORD MakeShuffleSeed() noexcept
{
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    return ::GetTickCount() ^ ::GetCurrentProcessId() ^ counter.LowPart ^
        static_cast<DWORD>(counter.HighPart);
}

void SaverRotation::Prepare()
{
    // A fixed start state would give every run the same order; with switching off only
    // the first two entries would ever be shown.
    Prepare(GetSettings().GetSavers(), MakeShuffleSeed());
}

void SaverRotation::Prepare(const PathList& savers, DWORD shuffleState)
{
    m_entries = savers;
    m_nCount = static_cast<DWORD>(m_entries.GetCount());
    m_nIndex = 0;
    ShuffleEntries(m_entries, shuffleState);
    // With nothing to show there is nothing to remember; the previous choice stays.
    if (m_nCount == 0)
        return;
    const AnsiString lastStarted = ReadLastStarted();
    if (!lastStarted.empty() && m_nCount > 1) {
        for (DWORD i = 0; i < m_nCount; ++i) {
            if (!SamePathText(m_entries[i], lastStarted)) {
                m_nIndex = i;
                break;
            }
        }
    }
    RegWriteString(kSettingsKey, kLastStartedValue, CurrentPath());
}

void SaverRotation::Advance() noexcept
{
    if (m_nCount == 0)
        return;
    ++m_nIndex;
    if (m_nIndex == m_nCount)
        m_nIndex = 0;
}
