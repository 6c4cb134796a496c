#include "settings/ShuffleRound.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"

#include <set>

const char kShuffleRoundSubKey[] = "ShuffleRound";
const char kShuffleRoundShownValue[] = "ShuffleRoundShown";

namespace {

constexpr char kEntryNameFormat[] = "%03u";
// Room for any unsigned number in decimal and its NUL.
constexpr size_t kEntryNameBuffer = 16;

using PathTextSet = std::set<AnsiString, PathTextLess>;

AnsiString RoundKeyPath() { return AnsiString(kSettingsKey) + "\\" + kShuffleRoundSubKey; }

AnsiString EntryName(DWORD i)
{
    char szName[kEntryNameBuffer];
    ::wsprintfA(szName, kEntryNameFormat, static_cast<unsigned>(i));
    return AnsiString(szName);
}

bool HasType(const AnsiString& keyPath, const char* pszName, DWORD dwType)
{
    DWORD dwStored = REG_NONE;
    return RegGetValueType(keyPath, pszName, &dwStored) && dwStored == dwType;
}

// The round exactly as this store writes it: a REG_SZ path under each number from "000"
// on, every path once. Anything else is no round.
bool ReadStoredRound(PathList& stored)
{
    const AnsiString roundKey = RoundKeyPath();
    if (!RegKeyPathExists(roundKey))
        return false;
    const DWORD nValues = RegCountValues(roundKey);
    PathTextSet seen;
    for (DWORD i = 0; i < nValues; ++i) {
        const AnsiString name = EntryName(i);
        AnsiString path;
        // One byte more than a path may have, so that a longer text is seen and refused.
        if (!HasType(roundKey, name.c_str(), REG_SZ) ||
            !RegReadText(roundKey, name.c_str(), &path, MAX_PATH + 1) || path.empty() ||
            path.length() >= MAX_PATH || !seen.insert(path).second)
            return false;
        stored.Add(path);
    }
    return !stored.IsEmpty();
}

}  // namespace

bool ShuffleRound::Load(const PathList& selection)
{
    m_savers.RemoveAll();
    m_nShown = 0;
    m_bPruned = false;
    m_lastShown = AnsiString();

    PathList stored;
    DWORD nShown = 0;
    const AnsiString key(kSettingsKey);
    if (!HasType(key, kShuffleRoundShownValue, REG_DWORD) ||
        !RegReadDword(key, kShuffleRoundShownValue, &nShown) || !ReadStoredRound(stored) ||
        nShown > stored.GetCount())
        return false;
    if (nShown > 0)
        m_lastShown = stored[nShown - 1];

    const PathTextSet selected(selection.begin(), selection.end());
    for (DWORD i = 0; i < stored.GetCount(); ++i) {
        if (selected.count(stored[i]) == 0) {
            m_bPruned = true;
            continue;
        }
        m_savers.Add(stored[i]);
        if (i < nShown)
            ++m_nShown;
    }
    if (m_savers.IsEmpty()) {
        m_nShown = 0;
        m_lastShown = AnsiString();
        return false;
    }
    return true;
}

void ShuffleRound::Save() const
{
    const AnsiString roundKey = RoundKeyPath();
    RegDeleteKeyPath(roundKey);
    for (DWORD i = 0; i < m_savers.GetCount(); ++i)
        RegWriteString(roundKey, EntryName(i).c_str(), m_savers[i]);
    SaveShown();
}

void ShuffleRound::SaveShown() const
{
    RegWriteDword(kSettingsKey, kShuffleRoundShownValue, m_nShown);
}

void ShuffleRound::Erase() { RegDeleteKeyPath(RoundKeyPath()); }
