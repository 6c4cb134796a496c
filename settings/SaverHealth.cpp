#include "settings/SaverHealth.h"

#include "settings/NativePath.h"
#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"

#include <algorithm>
#include <set>
#include <vector>

const char kSaverHealthSubKey[] = "SaverHealth";

namespace {

// The longest value name the registry allows, in characters, and its NUL.
constexpr DWORD kMaxValueNameBuffer = 16384;
// The shortest full path: a drive, a colon, a backslash and one character.
constexpr size_t kMinFullPathLength = 4;
constexpr size_t kDriveColon = 1;
constexpr size_t kDriveBackslash = 2;

// Read and write values, and nothing else.
constexpr REGSAM kReadAccess = KEY_QUERY_VALUE;
constexpr REGSAM kWriteAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// Beneath the records: a REG_DWORD per saver whose last fault is CannotPreview. Its record
// says QuitAtOnce, the fault an older version knows.
const char kCannotPreviewSubKey[] = "\\CannotPreview";
constexpr DWORD kPreviewMark = 1;

AnsiString HealthKeyPath() { return AnsiString(kSettingsKey) + "\\" + kSaverHealthSubKey; }

HKEY OpenHealthKey(bool bWrite, bool bCreate, const char* pszBelow = "")
{
    AnsiString subKey;
    const HKEY hRoot = RegParseKeyPath(HealthKeyPath() + pszBelow, &subKey);
    if (hRoot == nullptr)
        return nullptr;
    HKEY hKey = nullptr;
    const REGSAM access = bWrite ? kWriteAccess : kReadAccess;
    if (::RegOpenKeyExA(hRoot, subKey.c_str(), 0, access, &hKey) == ERROR_SUCCESS)
        return hKey;
    hKey = nullptr;
    if (!bCreate ||
        ::RegCreateKeyExA(hRoot, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                          nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

ULONGLONG FileTimeNow() noexcept
{
    FILETIME ft = {};
    ::GetSystemTimeAsFileTime(&ft);
    return static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

bool IsDriveLetter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsExistingFile(const AnsiString& path)
{
    const DWORD dwAttributes = ::GetFileAttributesA(NativePath(path).c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A value found by Tidy: its name, and its record's time when it is one to keep.
struct StoredEntry {
    AnsiString name;
    ULONGLONG ftWhen = 0;
    bool bKeep = false;
};

}  // namespace

bool IsSaverHealthName(const AnsiString& name)
{
    const std::string& text = name.str();
    if (text.length() < kMinFullPathLength || text.length() >= MAX_PATH)
        return false;
    if (text[0] == '\\' && text[1] == '\\')
        return true;
    return IsDriveLetter(text[0]) && text[kDriveColon] == ':' && text[kDriveBackslash] == '\\';
}

SaverHealth::SaverHealth(bool bWrite)
    : m_key(OpenHealthKey(bWrite, false))
    , m_bWrite(bWrite)
{
}

bool SaverHealth::Find(const AnsiString& path, SaverHealthRecord* pRecord) const
{
    if (!m_key || !IsSaverHealthName(path))
        return false;
    BYTE data[kSaverHealthRecordSize] = {};
    DWORD cbData = sizeof(data);
    DWORD dwType = REG_NONE;
    // Longer data fails with ERROR_MORE_DATA and is no record.
    if (::RegQueryValueExA(m_key.get(), path.c_str(), nullptr, &dwType, data, &cbData) !=
            ERROR_SUCCESS ||
        dwType != REG_BINARY)
        return false;
    SaverHealthRecord record;
    if (!SaverHealthRecord::FromBytes(data, cbData, &record) || !record.IsOfFile(path))
        return false;
    UniqueRegKey marks(OpenHealthKey(false, false, kCannotPreviewSubKey));
    if (record.m_fault == SaverFault::QuitAtOnce && marks &&
        ::RegQueryValueExA(marks.get(), path.c_str(), nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
        record.m_fault = SaverFault::CannotPreview;
    if (pRecord != nullptr)
        *pRecord = record;
    return true;
}

bool SaverHealth::IsLeftOut(const AnsiString& path) const
{
    SaverHealthRecord record;
    return Find(path, &record) && record.IsLeftOut();
}

PathList SaverHealth::WithoutLeftOut(const PathList& savers) const
{
    PathList kept;
    for (const AnsiString& path : savers)
        if (!IsLeftOut(path))
            kept.Add(path);
    return kept;
}

void SaverHealth::NoteFailure(const AnsiString& path, SaverFault fault, bool bHasExitCode,
                              DWORD dwExitCode)
{
    if (!m_bWrite || !IsSaverHealthName(path) ||
        (fault == SaverFault::CouldNotStart && IsSaverAway(path)))
        return;
    // The key is made with the first record, not for every run that has none.
    if (!m_key)
        m_key.reset(OpenHealthKey(true, true));
    if (!m_key)
        return;
    SaverHealthRecord record;
    if (!Find(path, &record))
        record = SaverHealthRecord();
    record.AddFailure(fault, bHasExitCode, dwExitCode, FileTimeNow());
    record.StampFile(path);
    const std::vector<BYTE> bytes = record.ToBytes();
    ::RegSetValueExA(m_key.get(), path.c_str(), 0, REG_BINARY, bytes.data(),
                     static_cast<DWORD>(bytes.size()));
    SetPreviewMark(path, fault == SaverFault::CannotPreview);
}

void SaverHealth::SetPreviewMark(const AnsiString& path, bool bMark)
{
    UniqueRegKey marks(OpenHealthKey(true, bMark, kCannotPreviewSubKey));
    if (!marks)
        return;
    if (bMark)
        ::RegSetValueExA(marks.get(), path.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&kPreviewMark), sizeof(kPreviewMark));
    else
        ::RegDeleteValueA(marks.get(), path.c_str());
}

void SaverHealth::NoteGoodRun(const AnsiString& path)
{
    // Nothing is written for a saver with nothing on record, as most are.
    DWORD dwType = REG_NONE;
    if (m_key &&
        ::RegQueryValueExA(m_key.get(), path.c_str(), nullptr, &dwType, nullptr, nullptr) ==
            ERROR_SUCCESS)
        Forget(path);
}

void SaverHealth::Forget(const AnsiString& path)
{
    if (m_key)
        ::RegDeleteValueA(m_key.get(), path.c_str());
    SetPreviewMark(path, false);
}

DWORD SaverHealth::GetEntryCount() const
{
    DWORD nValues = 0;
    if (!m_key ||
        ::RegQueryInfoKeyA(m_key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &nValues, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return nValues;
}

void SaverHealth::Tidy(const PathList& selection)
{
    if (!m_key)
        return;
    const std::set<AnsiString, PathTextLess> selected(selection.begin(), selection.end());
    std::vector<StoredEntry> entries;
    std::vector<char> name(kMaxValueNameBuffer);
    // One byte more than a record, so that longer data is seen as such.
    BYTE data[kSaverHealthRecordSize + 1] = {};
    for (DWORD dwIndex = 0;; ++dwIndex) {
        DWORD cchName = kMaxValueNameBuffer;
        DWORD cbData = sizeof(data);
        DWORD dwType = REG_NONE;
        const LONG lResult = ::RegEnumValueA(m_key.get(), dwIndex, name.data(), &cchName, nullptr,
                                             &dwType, data, &cbData);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA)
            break;
        StoredEntry entry;
        entry.name = AnsiString(name.data(), std::min<size_t>(cchName, kMaxValueNameBuffer - 1));
        SaverHealthRecord record;
        entry.bKeep = lResult == ERROR_SUCCESS && dwType == REG_BINARY &&
            IsSaverHealthName(entry.name) && SaverHealthRecord::FromBytes(data, cbData, &record) &&
            (IsExistingFile(entry.name)
                 ? record.IsOfFile(entry.name)
                 : IsSaverAway(entry.name) && selected.count(entry.name) != 0);
        entry.ftWhen = record.m_ftWhen;
        entries.push_back(std::move(entry));
    }
    // Values to drop first, then the records from the oldest to the newest.
    std::sort(entries.begin(), entries.end(), [](const StoredEntry& a, const StoredEntry& b) {
        return a.bKeep != b.bKeep ? !a.bKeep : a.ftWhen < b.ftWhen;
    });
    const size_t nKept = static_cast<size_t>(std::count_if(
        entries.begin(), entries.end(), [](const StoredEntry& e) { return e.bKeep; }));
    const size_t nDrop = entries.size() - nKept +
        (nKept > kMaxSaverHealthEntries ? nKept - kMaxSaverHealthEntries : 0);
    // Deleted after the walk: deleting during it would move the indexes.
    for (size_t i = 0; i < nDrop; ++i)
        Forget(entries[i].name);
}
