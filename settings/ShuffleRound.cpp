#include "settings/ShuffleRound.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"

#include <set>

const char kShuffleRoundSubKey[] = "ShuffleRound";
const char kShuffleRoundShownValue[] = "ShuffleRoundShown";
const char kShuffleRoundNextSubKey[] = "ShuffleRoundNext";
const char kShuffleRoundNextValue[] = "ShuffleRoundNextShown";

namespace {

constexpr char kEntryNameFormat[] = "%03u";
// Room for any unsigned number in decimal and its NUL.
constexpr size_t kEntryNameBuffer = 16;

using PathTextSet = std::set<AnsiString, PathTextLess>;

AnsiString RoundKeyPath() { return AnsiString(kSettingsKey) + "\\" + kShuffleRoundSubKey; }
AnsiString NextKeyPath() { return AnsiString(kSettingsKey) + "\\" + kShuffleRoundNextSubKey; }

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
bool ReadStoredRound(const AnsiString& roundKey, PathList& stored)
{
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

// Whether a replacement of the stored round stopped after its switch: then the new round
// is the stored one.
bool IsReplacing()
{
    DWORD dwType = REG_NONE;
    return RegGetValueType(kSettingsKey, kShuffleRoundNextValue, &dwType);
}

void WriteRound(const AnsiString& roundKey, const PathList& savers)
{
    RegDeleteKeyPath(roundKey);
    for (DWORD i = 0; i < savers.GetCount(); ++i)
        RegWriteString(roundKey, EntryName(i).c_str(), savers[i]);
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
    const bool bNext = IsReplacing();
    const char* pszShownValue = bNext ? kShuffleRoundNextValue : kShuffleRoundShownValue;
    if (!HasType(key, pszShownValue, REG_DWORD) || !RegReadDword(key, pszShownValue, &nShown) ||
        !ReadStoredRound(bNext ? NextKeyPath() : RoundKeyPath(), stored) ||
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
    // A value left from a replacement that stopped would make its round the stored one.
    RegDeleteValuePath(kSettingsKey, kShuffleRoundNextValue);
    WriteRound(NextKeyPath(), m_savers);
    if (!RegWriteDword(kSettingsKey, kShuffleRoundNextValue, m_nShown))
        return;
    WriteRound(RoundKeyPath(), m_savers);
    RegWriteDword(kSettingsKey, kShuffleRoundShownValue, m_nShown);
    RegDeleteValuePath(kSettingsKey, kShuffleRoundNextValue);
    RegDeleteKeyPath(NextKeyPath());
}

void ShuffleRound::SaveShown() const
{
    if (IsReplacing())
        RegWriteDword(kSettingsKey, kShuffleRoundNextValue, m_nShown);
    RegWriteDword(kSettingsKey, kShuffleRoundShownValue, m_nShown);
}

void ShuffleRound::Erase()
{
    RegDeleteValuePath(kSettingsKey, kShuffleRoundNextValue);
    RegDeleteKeyPath(NextKeyPath());
    RegDeleteKeyPath(RoundKeyPath());
}
