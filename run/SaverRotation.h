#pragma once
#include "settings/PathList.h"

#include <windows.h>

// The registry value that names the saver the previous run showed first.
extern const char kLastStartedValue[];

// One draw of the shuffle's generator: advances the state and yields a value 0..32767.
unsigned DrawShuffleValue(DWORD& state) noexcept;

// Shuffles the entries in place with n - 1 draws from the state (none for fewer than 2).
void ShuffleEntries(PathList& entries, DWORD& state);

// A generator state that differs from one run to the next.
DWORD MakeShuffleSeed() noexcept;

// The shuffled order in which run mode shows the selected savers, and the current one.
// The order is a round that shows every selected saver once and lasts across runs: each
// run goes on with the next saver of the stored round, and the round's progress is
// recorded in the registry at every step.
class SaverRotation {
public:
    // Goes on with the stored round of the settings' savers, or shuffles a new round from
    // a fresh seed and picks its first saver against LastStarted; records the first saver
    // of this run there.
    void Prepare();
    // The same from a given list and generator state.
    void Prepare(const PathList& savers, DWORD shuffleState);

    bool IsEmpty() const noexcept { return m_nCount == 0; }
    DWORD GetCount() const noexcept { return m_nCount; }
    DWORD GetIndex() const noexcept { return m_nIndex; }
    const PathList& GetEntries() const noexcept { return m_entries; }

    // The saver at the current position; only while the rotation is not empty.
    const AnsiString& CurrentPath() const { return m_entries[m_nIndex]; }
    // On to the next saver; after the round's last one a new round begins, never with the
    // saver just shown.
    void Advance();

private:
    void BeginRound(const AnsiString& avoid);
    // Savers that joined the selection since the stored round began.
    bool AddJoiners(DWORD nShown);
    // Writes the round's progress to the registry, with its savers when they changed.
    void Record(bool bWithSavers) const;

    PathList m_savers;
    PathList m_entries;
    DWORD m_nCount = 0;
    DWORD m_nIndex = 0;
    // Where the round began in m_entries; it runs to the end and on from the start.
    DWORD m_nRoundStart = 0;
    DWORD m_shuffleState = 0;
};
