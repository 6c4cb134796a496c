#pragma once
#include "settings/PathList.h"

#include <windows.h>

// Under the settings key: the subkey that lists the savers of run mode's current round in
// the order they are shown ("000", "001", ...), and the number of them shown so far.
extern const char kShuffleRoundSubKey[];
extern const char kShuffleRoundShownValue[];
// While a new round replaces the stored one: the subkey that holds the new round whole,
// and the value, written once that subkey is complete, with the number of it shown. While
// the value exists the new round is the stored one.
extern const char kShuffleRoundNextSubKey[];
extern const char kShuffleRoundNextValue[];

// The order in which run mode shows every selected saver once before any saver repeats,
// kept in the registry from one run to the next.
class ShuffleRound {
public:
    // Reads the stored round and keeps only the savers of the selection. False, with an
    // empty round, when none is stored, when anything stored is damaged or named twice, or
    // when no selected saver is left in it.
    bool Load(const PathList& selection);
    // Writes the whole round and the number shown, so that a reader finds the round stored
    // before or this one, whenever the writing stops: first beside the stored round, then
    // a switch to it, then over the stored round.
    void Save() const;
    // Writes only the number shown, for a round whose savers are stored already (also
    // where a replacement stopped after its switch).
    void SaveShown() const;
    static void Erase();

    PathList& GetSavers() noexcept { return m_savers; }
    const PathList& GetSavers() const noexcept { return m_savers; }
    DWORD GetShown() const noexcept { return m_nShown; }
    void SetShown(DWORD nShown) noexcept { m_nShown = nShown; }
    // Whether Load dropped savers that have left the selection.
    bool WasPruned() const noexcept { return m_bPruned; }
    // The saver shown last as stored, also when it has left the selection; empty when
    // unknown.
    const AnsiString& GetLastShown() const noexcept { return m_lastShown; }

private:
    PathList m_savers;
    DWORD m_nShown = 0;
    bool m_bPruned = false;
    AnsiString m_lastShown;
};
