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
class SaverRotation {
public:
    // Shuffles the settings' savers from a fresh seed, picks the first one against
    // LastStarted and records it there.
    void Prepare();
    // The same from a given list and generator state.
    void Prepare(const PathList& savers, DWORD shuffleState);

    bool IsEmpty() const noexcept { return m_nCount == 0; }
    DWORD GetCount() const noexcept { return m_nCount; }
    DWORD GetIndex() const noexcept { return m_nIndex; }
    const PathList& GetEntries() const noexcept { return m_entries; }

    // The saver at the current position; only while the rotation is not empty.
    const AnsiString& CurrentPath() const { return m_entries[m_nIndex]; }
    // On to the next saver, back to the first after the last.
    void Advance() noexcept;

private:
    PathList m_entries;
    DWORD m_nCount = 0;
    DWORD m_nIndex = 0;
};
