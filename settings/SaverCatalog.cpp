#include "settings/SaverCatalog.h"

#include "res/resource.h"
#include "settings/NativePath.h"
#include "ui/UniqueFindHandle.h"
#include "ui/UniqueModule.h"

#include <windows.h>

#include <mbstring.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr char kSaverExtension[] = ".scr";
constexpr size_t kExtensionLength = sizeof(kSaverExtension) - 1;
constexpr char kSaverPattern[] = "*.scr";
constexpr char kAnyPattern[] = "*.*";

bool FitsPathBuffer(const AnsiString& path) noexcept { return path.length() < MAX_PATH; }

// Ends in ".scr" in any case: a path in the ANSI code page, or a listed name in UTF-16.
template <class TString> bool HasSaverExtension(const TString& name)
{
    if (name.length() < kExtensionLength)
        return false;
    const size_t nStart = name.length() - kExtensionLength;
    for (size_t i = 0; i < kExtensionLength; ++i) {
        auto ch = name[nStart + i];
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<decltype(ch)>(ch - 'A' + 'a');
        if (ch != static_cast<decltype(ch)>(kSaverExtension[i]))
            return false;
    }
    return true;
}

// The text in the ANSI code page, when it reads back as the same UTF-16: no character
// became "?" or a look-alike on the way.
bool ToAnsiExactly(const wchar_t* pszText, AnsiString* pAnsi)
{
    const int cb = ::WideCharToMultiByte(CP_ACP, 0, pszText, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1)
        return false;
    std::string text(static_cast<size_t>(cb), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, pszText, -1, &text[0], cb, nullptr, nullptr) != cb)
        return false;
    text.resize(static_cast<size_t>(cb - 1));
    AnsiString ansi(std::move(text));
    if (ansi.Wide() != pszText)
        return false;
    *pAnsi = std::move(ansi);
    return true;
}

// A listed name as saver paths spell it, in the ANSI code page: the long name where the
// code page holds all of it, else the short (8.3) name, which the ANSI calls reach the
// file by. Empty where neither serves: the volume made no short name.
AnsiString AnsiEntryName(const WIN32_FIND_DATAW& data)
{
    AnsiString name;
    if (!ToAnsiExactly(data.cFileName, &name) && !ToAnsiExactly(data.cAlternateFileName, &name))
        return AnsiString();
    return name;
}

// A file's size and last-write time: as long as both stay, so does what mapping it says.
struct FileStamp {
    DWORD dwSizeHigh;
    DWORD dwSizeLow;
    FILETIME ftLastWrite;

    bool operator==(const FileStamp& other) const noexcept
    {
        return dwSizeHigh == other.dwSizeHigh && dwSizeLow == other.dwSizeLow &&
            ::CompareFileTime(&ftLastWrite, &other.ftLastWrite) == 0;
    }
};

// Exists and is no folder (what opening it for reading needs, without OpenFile's limit
// of 128 characters, which would turn away savers in deep folders); its stamp.
bool GetFileStamp(const AnsiString& path, FileStamp* pStamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(NativePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *pStamp = {data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime};
    return true;
}

HMODULE MapAsDataFile(const AnsiString& path)
{
    return ::LoadLibraryExA(NativePath(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// String 1 as the resource holds it, in UTF-16: read through the ANSI calls, every
// character outside the system's code page would become "?".
WideString LoadDescription(HMODULE hModule)
{
    // Without a buffer, LoadStringW hands out the string in place with its length and no
    // terminating NUL, so the cut below stays whole-character.
    const wchar_t* pText = nullptr;
    const int cch = ::LoadStringW(hModule, IDS_DESCRIPTION, reinterpret_cast<LPWSTR>(&pText), 0);
    if (cch <= 0 || pText == nullptr)
        return WideString();
    const size_t nText = static_cast<size_t>(cch);
    size_t nKept = std::min(nText, kMaxDescriptionLength);
    if (nKept < nText && IS_HIGH_SURROGATE(pText[nKept - 1]) && IS_LOW_SURROGATE(pText[nKept]))
        --nKept;
    // A NUL inside the string ends the text, as it ends what a buffer shows.
    return WideString(pText, ::wcsnlen(pText, nKept));
}

// What mapping one file told: whether it is a module image, and its string 1.
struct MappedFile {
    FileStamp stamp;
    bool bModule;
    WideString stringOne;
};

// Mapping a file is most of a search's time, and the configuration dialog would map every
// saver twice (Load proves each stored saver a saver, then the search lists and describes
// it), so each file is mapped once per process for as long as its stamp stays the same.
// Keyed by the path in lower case: the file system compares names without case.
std::map<std::string, MappedFile>& MappedFiles()
{
    static std::map<std::string, MappedFile> files;
    return files;
}

MappedFile MapFile(const AnsiString& path, const FileStamp& stamp)
{
    std::string key = path.str();
    ::CharLowerBuffA(&key[0], static_cast<DWORD>(key.length()));
    std::map<std::string, MappedFile>& files = MappedFiles();
    const auto it = files.find(key);
    if (it != files.end() && it->second.stamp == stamp)
        return it->second;

    MappedFile file = {stamp, false, WideString()};
    const UniqueModule module(MapAsDataFile(path));
    if (module) {
        file.bModule = true;
        file.stringOne = LoadDescription(module.get());
    }
    try {
        files[key] = file;
    } catch (const std::bad_alloc&) {
        // Not remembered: the next question maps the file again.
    }
    return file;
}

// The file name without its last four characters, for a saver without string 1.
WideString FileNameDescription(const WideString& name)
{
    if (name.length() <= kExtensionLength)
        return WideString();
    return name.substr(0, name.length() - kExtensionLength);
}

// The long name of the file a path names, in UTF-16: the path may spell it by its short
// form. Empty for a path without a folder.
WideString LongFileName(const AnsiString& path)
{
    if (path.str().rfind('\\') == std::string::npos)
        return WideString();
    WideString fullPath = path.Wide();
    wchar_t szLong[MAX_PATH];
    const DWORD cch = ::GetLongPathNameW(NativePath(path).Wide().c_str(), szLong, MAX_PATH);
    if (cch != 0 && cch < MAX_PATH)
        fullPath = szLong;
    return fullPath.substr(fullPath.rfind(L'\\') + 1);
}

bool IsDotEntry(const wchar_t* pszName) noexcept
{
    return std::wcscmp(pszName, L".") == 0 || std::wcscmp(pszName, L"..") == 0;
}

void FindInFolder(PathList& savers, std::vector<WideString>* pDescriptions,
                  const AnsiString& folder, bool bRecurse, const WideString& ownDescription,
                  int nDepth)
{
    if (folder.empty())
        return;
    AnsiString dir = folder;
    if (dir.str().back() != '\\')
        dir += '\\';

    // Listed in UTF-16, so that a name outside the code page is seen whole: the path then
    // takes its short form, the description its long one.
    WIN32_FIND_DATAW data;
    const AnsiString saverPattern = dir + kSaverPattern;
    if (FitsPathBuffer(saverPattern)) {
        const UniqueFindHandle find(
            ::FindFirstFileW(NativePath(saverPattern).Wide().c_str(), &data));
        if (find) {
            do {
                // A folder cannot be opened as a file; the listing has just shown the rest
                // exists, so one mapping answers both the saver test and the description.
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
                    !HasSaverExtension(std::wstring_view(data.cFileName)))
                    continue;
                const AnsiString name = AnsiEntryName(data);
                const AnsiString path = dir + name;
                if (name.empty() || !FitsPathBuffer(path))
                    continue;
                const MappedFile file =
                    MapFile(path, {data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime});
                if (!file.bModule)
                    continue;
                WideString description =
                    file.stringOne.empty() ? FileNameDescription(data.cFileName) : file.stringOne;
                if (description == ownDescription)
                    continue;
                savers.Add(path);
                if (pDescriptions != nullptr)
                    pDescriptions->push_back(std::move(description));
            } while (::FindNextFileW(find.get(), &data));
        }
    }

    if (!bRecurse || nDepth >= kMaxFolderDepth)
        return;
    const AnsiString anyPattern = dir + kAnyPattern;
    if (!FitsPathBuffer(anyPattern))
        return;
    const UniqueFindHandle find(::FindFirstFileW(NativePath(anyPattern).Wide().c_str(), &data));
    if (!find)
        return;
    do {
        // A linked folder may lead back up the tree: it is not entered.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            IsDotEntry(data.cFileName))
            continue;
        const AnsiString name = AnsiEntryName(data);
        const AnsiString subFolder = dir + name;
        if (!name.empty() && FitsPathBuffer(subFolder))
            FindInFolder(savers, pDescriptions, subFolder, bRecurse, ownDescription, nDepth + 1);
    } while (::FindNextFileW(find.get(), &data));
}

}  // namespace

bool PathsEqual(const AnsiString& a, const AnsiString& b)
{
    char szShortA[MAX_PATH];
    char szShortB[MAX_PATH];
    const DWORD cchA = ::GetShortPathNameA(NativePath(a).c_str(), szShortA, MAX_PATH);
    if (cchA == 0 || cchA >= MAX_PATH)
        return false;
    const DWORD cchB = ::GetShortPathNameA(NativePath(b).c_str(), szShortB, MAX_PATH);
    if (cchB == 0 || cchB >= MAX_PATH)
        return false;
    return ::lstrcmpiA(szShortA, szShortB) == 0;
}

int ComparePathText(const AnsiString& a, const AnsiString& b)
{
    return ::_mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                      reinterpret_cast<const unsigned char*>(b.c_str()));
}

bool IsSaverFile(const AnsiString& path)
{
    FileStamp stamp;
    if (!GetFileStamp(path, &stamp) || !HasSaverExtension(path.str()))
        return false;
    return MapFile(path, stamp).bModule;
}

bool IsFullPath(const AnsiString& path)
{
    const std::string& text = path.str();
    const bool bUnc = text.length() > 2 && text[0] == '\\' && text[1] == '\\';
    const bool bDrive = text.length() > 2 && text[1] == ':' && text[2] == '\\' &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    return bUnc || bDrive;
}

bool IsSaverAway(const AnsiString& path)
{
    return IsFullPath(path) && FitsPathBuffer(path) && HasSaverExtension(path.str()) &&
        ::GetFileAttributesA(NativePath(path).c_str()) == INVALID_FILE_ATTRIBUTES;
}

WideString GetSaverDescription(const AnsiString& path)
{
    FileStamp stamp;
    if (!GetFileStamp(path, &stamp))
        return WideString();
    const MappedFile file = MapFile(path, stamp);
    if (!file.bModule)
        return WideString();
    return file.stringOne.empty() ? FileNameDescription(LongFileName(path)) : file.stringOne;
}

WideString GetOwnDescription() { return LoadDescription(::GetModuleHandleW(nullptr)); }

void FindSaversInFolder(PathList& savers, const AnsiString& folder, bool bRecurse)
{
    FindInFolder(savers, nullptr, folder, bRecurse, GetOwnDescription(), 0);
}

namespace {

void FindSaversIn(PathList& savers, std::vector<WideString>* pDescriptions, const PathList& folders,
                  bool bRecurse)
{
    const WideString ownDescription = GetOwnDescription();
    // By index over the count at the start, each folder copied: the two lists may be one.
    const size_t nFolders = folders.GetCount();
    for (size_t i = 0; i < nFolders; ++i) {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
        const AnsiString folder = folders[i];
        FindInFolder(savers, pDescriptions, folder, bRecurse, ownDescription, 0);
    }
}

}  // namespace

void FindSavers(PathList& savers, const PathList& folders, bool bRecurse)
{
    FindSaversIn(savers, nullptr, folders, bRecurse);
}

void FindDescribedSavers(PathList& savers, std::vector<WideString>& descriptions,
                         const PathList& folders, bool bRecurse)
{
    FindSaversIn(savers, &descriptions, folders, bRecurse);
}
