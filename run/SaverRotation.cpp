#include "run/SaverRotation.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"
#include "settings/ShuffleRound.h"

#include <set>
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

bool SamePathText(const AnsiString& a, const AnsiString& b) { return ComparePathText(a, b) == 0; }

// A round shows each saver once, however often the selection lists it.
void DropRepeats(PathList& entries)
{
    std::set<AnsiString, PathTextLess> seen;
    PathList unique;
    for (const AnsiString& entry : entries)
        if (seen.insert(entry).second)
            unique.Add(entry);
    entries = unique;
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
    m_savers = savers;
    m_shuffleState = shuffleState;
    m_entries.RemoveAll();
    m_nCount = 0;
    m_nIndex = 0;
    m_nRoundStart = 0;
    // With nothing to show there is nothing to remember; the previous choices stay.
    if (m_savers.IsEmpty())
        return;
    ShuffleRound stored;
    const bool bStored = stored.Load(m_savers);
    bool bWithSavers = true;
    if (bStored && stored.GetShown() < stored.GetSavers().GetCount()) {
        m_entries = stored.GetSavers();
        const bool bJoined = AddJoiners(stored.GetShown());
        bWithSavers = bJoined || stored.WasPruned();
        m_nCount = static_cast<DWORD>(m_entries.GetCount());
        m_nIndex = stored.GetShown();
    } else {
        // The saver shown last before this run is the one not to begin the new round with.
        const AnsiString lastShown = bStored ? stored.GetLastShown() : AnsiString();
        BeginRound(lastShown.empty() ? ReadLastStarted() : lastShown);
    }
    Record(bWithSavers);
    RegWriteString(kSettingsKey, kLastStartedValue, CurrentPath());
}

void SaverRotation::Advance()
{
    if (m_nCount == 0)
        return;
    const DWORD nNext = m_nIndex + 1 == m_nCount ? 0 : m_nIndex + 1;
    if (nNext != m_nRoundStart) {
        m_nIndex = nNext;
        Record(false);
        return;
    }
    // Every saver of the round has been shown: the next round is shuffled afresh.
    const AnsiString lastShown = CurrentPath();
    BeginRound(lastShown);
    Record(true);
}

void SaverRotation::BeginRound(const AnsiString& avoid)
{
    m_entries = m_savers;
    ShuffleEntries(m_entries, m_shuffleState);
    DropRepeats(m_entries);
    m_nCount = static_cast<DWORD>(m_entries.GetCount());
    m_nIndex = 0;
    if (!avoid.empty() && m_nCount > 1) {
        for (DWORD i = 0; i < m_nCount; ++i) {
            if (!SamePathText(m_entries[i], avoid)) {
                m_nIndex = i;
                break;
            }
        }
    }
    m_nRoundStart = m_nIndex;
}

bool SaverRotation::AddJoiners(DWORD nShown)
{
    std::set<AnsiString, PathTextLess> inRound(m_entries.begin(), m_entries.end());
    bool bJoined = false;
    for (const AnsiString& saver : m_savers) {
        if (!inRound.insert(saver).second)
            continue;
        // Anywhere among the savers still to show, the end included.
        const size_t nAhead = m_entries.GetCount() - nShown;
        m_entries.Insert(nShown + DrawShuffleValue(m_shuffleState) % (nAhead + 1), saver);
        bJoined = true;
    }
    return bJoined;
}

void SaverRotation::Record(bool bWithSavers) const
{
    // Stored in the order shown: from the round's start to the end, then on from entry 0.
    ShuffleRound round;
    round.SetShown((m_nIndex + m_nCount - m_nRoundStart) % m_nCount + 1);
    if (!bWithSavers) {
        round.SaveShown();
        return;
    }
    for (DWORD i = 0; i < m_nCount; ++i)
        round.GetSavers().Add(m_entries[(m_nRoundStart + i) % m_nCount]);
    round.Save();
}
