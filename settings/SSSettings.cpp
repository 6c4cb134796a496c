#include "settings/SSSettings.h"

#include "settings/NativePath.h"
#include "settings/Registry.h"
#include "settings/SaverCatalog.h"
#include "settings/ShuffleRound.h"
#include "settings/StoredLists.h"

#include <algorithm>
#include <vector>

const char kSettingsKey[] = "HKCU\\Software\\Brindlecraft\\Quillmix";

namespace {

constexpr char kShuffleSaversValue[] = "ShuffleSavers";
constexpr char kShuffleDelayValue[] = "ShuffleDelay";
constexpr char kShowDesktopValue[] = "ShowDesktop";
constexpr char kRecurseSaverFoldersValue[] = "RecurseSaverFolders";
constexpr char kMonitorModeValue[] = "MonitorMode";
constexpr char kFadeMsValue[] = "FadeMs";

constexpr DWORD kDefaultShuffleDelay = 5;

bool ReadFlag(const AnsiString& keyPath, const char* pszName)
{
    DWORD dwValue = 0;
    return RegReadDword(keyPath, pszName, &dwValue) && dwValue != 0;
}

DWORD FlagValue(bool b) noexcept { return b ? 1 : 0; }

// Only a REG_DWORD with a known number chooses a mode; anything else is one over all,
// which is what a version without the setting does.
MonitorMode ReadMonitorMode(const AnsiString& keyPath)
{
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    if (!RegGetValueType(keyPath, kMonitorModeValue, &dwType) || dwType != REG_DWORD ||
        !RegReadDword(keyPath, kMonitorModeValue, &dwValue))
        return MonitorMode::OneOverAll;
    switch (static_cast<MonitorMode>(dwValue)) {
    case MonitorMode::DifferentOnEach:
        return MonitorMode::DifferentOnEach;
    case MonitorMode::SameOnEach:
        return MonitorMode::SameOnEach;
    default:
        return MonitorMode::OneOverAll;
    }
}

// FadeMs of any other type is no length the dialog wrote: it reads as the default.
DWORD ReadFadeMs(const AnsiString& keyPath)
{
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    if (!RegGetValueType(keyPath, kFadeMsValue, &dwType) || dwType != REG_DWORD ||
        !RegReadDword(keyPath, kFadeMsValue, &dwValue))
        return kDefaultFadeMs;
    return std::min(dwValue, kMaxFadeMs);
}

// A name of decimal digits only, as the store writes them.
bool IsNumberName(const AnsiString& name)
{
    return !name.empty() && std::all_of(name.str().begin(), name.str().end(), [](char ch) {
        return ch >= '0' && ch <= '9';
    });
}

// Compares two names of digits by their numbers, however long they are.
bool NumberLess(const std::string& a, const std::string& b)
{
    const size_t nA = std::min(a.find_first_not_of('0'), a.length());
    const size_t nB = std::min(b.find_first_not_of('0'), b.length());
    const size_t cchA = a.length() - nA;
    const size_t cchB = b.length() - nB;
    if (cchA != cchB)
        return cchA < cchB;
    return a.compare(nA, cchA, b, nB, cchB) < 0;
}

struct StoredEntry {
    AnsiString name;
    AnsiString text;
    bool bNumbered;
};

// The texts of every value of a list subkey, in the order they were stored. The registry
// does not promise to enumerate values as they were written (Wine lists them sorted by
// name as text, "1000" before "101"), so numbered values are put in number order, which
// is the order Save wrote them in; any other names follow in enumeration order.
std::vector<AnsiString> ReadStoredList(const AnsiString& keyPath)
{
    std::vector<StoredEntry> entries;
    // One byte more than a path may have: a longer text names no file, and cutting it to
    // MAX_PATH could make it name another one. One opening of the key reads them all.
    for (RegTextValue& value : RegReadTextValues(keyPath, MAX_PATH + 1)) {
        if (value.text.empty() || value.text.length() >= MAX_PATH)
            continue;
        const bool bNumbered = IsNumberName(value.name);
        entries.push_back({std::move(value.name), std::move(value.text), bNumbered});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const StoredEntry& a, const StoredEntry& b) {
                         if (a.bNumbered != b.bNumbered)
                             return a.bNumbered;
                         return a.bNumbered && NumberLess(a.name.str(), b.name.str());
                     });
    std::vector<AnsiString> texts;
    texts.reserve(entries.size());
    for (StoredEntry& entry : entries)
        texts.push_back(std::move(entry.text));
    return texts;
}

// A folder as stored that may name a folder: a wildcard, a bare drive ("C:") or a trailing
// backslash other than a drive root's ("C:\\") never does, nor a path that names a file
// now. A full path that cannot be seen now (its drive or share away) is kept: it may return.
bool IsFolderToKeep(const AnsiString& path)
{
    const std::string& text = path.str();
    if (text.empty() || text.find_first_of("*?") != std::string::npos)
        return false;
    const bool bDriveRoot =
        text.length() == 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/');
    if (!bDriveRoot && (text.back() == '\\' || text.back() == '/'))
        return false;
    if (text.length() == 2 && text[1] == ':')
        return false;
    const DWORD dwAttributes = ::GetFileAttributesA(NativePath(path).c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return IsFullPath(path);
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void AddLowerCaseFolder(PathList& folders, UINT(WINAPI* pfnGetDirectory)(LPSTR, UINT))
{
    char szFolder[MAX_PATH] = {};
    const UINT cch = pfnGetDirectory(szFolder, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return;
    ::CharLowerBuffA(szFolder, cch);
    folders.Add(AnsiString(szFolder, cch));
}

}  // namespace

void SSSettings::Load()
{
    const AnsiString key(kSettingsKey);
    m_bShuffleSavers = ReadFlag(key, kShuffleSaversValue);
    if (!RegReadDword(key, kShuffleDelayValue, &m_nShuffleDelay))
        m_nShuffleDelay = kDefaultShuffleDelay;
    m_bShowDesktop = ReadFlag(key, kShowDesktopValue);
    m_bRecurseSaverFolders = ReadFlag(key, kRecurseSaverFoldersValue);
    m_monitorMode = ReadMonitorMode(key);
    m_nFadeMs = ReadFadeMs(key);

    m_folders.RemoveAll();
    const AnsiString foldersKey = StoredLists::FoldersKeyPath();
    if (RegKeyPathExists(foldersKey)) {
        for (const AnsiString& folder : ReadStoredList(foldersKey))
            if (IsFolderToKeep(folder))
                m_folders.Add(folder);
    }
    if (m_folders.IsEmpty()) {
        AddLowerCaseFolder(m_folders, ::GetWindowsDirectoryA);
        AddLowerCaseFolder(m_folders, ::GetSystemDirectoryA);
    }

    m_savers.RemoveAll();
    const AnsiString saversKey = StoredLists::SaversKeyPath();
    if (!RegKeyPathExists(saversKey)) {
        // No stored selection: every saver found takes part.
        FindSavers(m_savers, m_folders, m_bRecurseSaverFolders);
        return;
    }
    // A saver that cannot be seen now stays selected: its drive or folder may be away.
    for (const AnsiString& saver : ReadStoredList(saversKey))
        if (IsSaverFile(saver) || IsSaverAway(saver))
            m_savers.Add(saver);
}

void SSSettings::Save()
{
    const AnsiString key(kSettingsKey);
    RegWriteDword(key, kShuffleSaversValue, FlagValue(m_bShuffleSavers));
    RegWriteDword(key, kShuffleDelayValue, m_nShuffleDelay);
    RegWriteDword(key, kShowDesktopValue, FlagValue(m_bShowDesktop));
    RegWriteDword(key, kRecurseSaverFoldersValue, FlagValue(m_bRecurseSaverFolders));
    RegWriteDword(key, kMonitorModeValue, static_cast<DWORD>(m_monitorMode));
    RegWriteDword(key, kFadeMsValue, m_nFadeMs);

    StoredLists::Write(m_folders, m_savers);

    // Run mode's round goes on without the savers that are no longer selected; a round
    // that holds none of the selection is gone, and run mode begins a new one.
    ShuffleRound round;
    if (round.Load(m_savers)) {
        if (round.WasPruned())
            round.Save();
    } else {
        ShuffleRound::Erase();
    }
}

bool SSSettings::IsSaverSelected(const AnsiString& saverPath) const
{
    for (const AnsiString& stored : m_savers)
        if (PathsEqual(stored, saverPath))
            return true;
    return false;
}

SSSettings& GetSettings()
{
    // Made and loaded at the first call, released at process exit; nothing is saved then.
    static SSSettings settings;
    static const bool bLoaded = (settings.Load(), true);
    static_cast<void>(bLoaded);
    return settings;
}
