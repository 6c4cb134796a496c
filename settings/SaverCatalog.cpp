#include "settings/SaverCatalog.h"

#include "res/resource.h"
#include "ui/UniqueFindHandle.h"
#include "ui/UniqueModule.h"

#include <windows.h>

#include <mbstring.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <new>
#include <string>
#include <utility>

namespace {

constexpr char kSaverExtension[] = ".scr";
constexpr size_t kExtensionLength = sizeof(kSaverExtension) - 1;
constexpr char kSaverPattern[] = "*.scr";
constexpr char kAnyPattern[] = "*.*";

bool FitsPathBuffer(const AnsiString& path) noexcept { return path.length() < MAX_PATH; }

bool HasSaverExtension(const AnsiString& path)
{
    if (path.length() < kExtensionLength)
        return false;
    const char* pExt = path.c_str() + path.length() - kExtensionLength;
    for (size_t i = 0; i < kExtensionLength; ++i) {
        char ch = pExt[i];
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != kSaverExtension[i])
            return false;
    }
    return true;
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
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *pStamp = {data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime};
    return true;
}

HMODULE MapAsDataFile(const AnsiString& path)
{
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// String 1 as the resource holds it, in UTF-16: read through the ANSI calls, every
// character outside the system's code page would become "?".
std::wstring LoadDescription(HMODULE hModule)
{
    // Without a buffer, LoadStringW hands out the string in place with its length and no
    // terminating NUL, so the cut below stays whole-character.
    const wchar_t* pText = nullptr;
    const int cch = ::LoadStringW(hModule, IDS_DESCRIPTION, reinterpret_cast<LPWSTR>(&pText), 0);
    if (cch <= 0 || pText == nullptr)
        return std::wstring();
    const size_t nText = static_cast<size_t>(cch);
    size_t nKept = std::min(nText, kMaxDescriptionLength);
    if (nKept < nText && IS_HIGH_SURROGATE(pText[nKept - 1]) && IS_LOW_SURROGATE(pText[nKept]))
        --nKept;
    // A NUL inside the string ends the text, as it ends what a buffer shows.
    return std::wstring(pText, ::wcsnlen(pText, nKept));
}

// What mapping one file told: whether it is a module image, and its string 1.
struct MappedFile {
    FileStamp stamp;
    bool bModule;
    std::wstring stringOne;
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

    MappedFile file = {stamp, false, std::wstring()};
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
std::wstring FileNameDescription(const AnsiString& path)
{
    const size_t nSlash = path.str().rfind('\\');
    if (nSlash == std::string::npos)
        return std::wstring();
    const std::string name = path.str().substr(nSlash + 1);
    if (name.length() <= kExtensionLength)
        return std::wstring();
    return AnsiString(name.substr(0, name.length() - kExtensionLength)).Wide();
}

// The description of a mapped saver: its string 1, else its file name.
std::wstring DescribeMapped(const MappedFile& file, const AnsiString& path)
{
    return file.stringOne.empty() ? FileNameDescription(path) : file.stringOne;
}

bool IsDotEntry(const char* pszName) noexcept
{
    return std::strcmp(pszName, ".") == 0 || std::strcmp(pszName, "..") == 0;
}

void FindInFolder(PathList& savers, std::vector<std::wstring>* pDescriptions,
                  const AnsiString& folder, bool bRecurse, const std::wstring& ownDescription,
                  int nDepth)
{
    if (folder.empty())
        return;
    AnsiString dir = folder;
    if (dir.str().back() != '\\')
        dir += '\\';

    WIN32_FIND_DATAA data;
    const AnsiString saverPattern = dir + kSaverPattern;
    if (FitsPathBuffer(saverPattern)) {
        const UniqueFindHandle find(::FindFirstFileA(saverPattern.c_str(), &data));
        if (find) {
            do {
                // A folder cannot be opened as a file; the listing has just shown the rest
                // exists, so one mapping answers both the saver test and the description.
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                    continue;
                const AnsiString path = dir + data.cFileName;
                if (!FitsPathBuffer(path) || !HasSaverExtension(path))
                    continue;
                const MappedFile file =
                    MapFile(path, {data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime});
                if (!file.bModule)
                    continue;
                std::wstring description = DescribeMapped(file, path);
                if (description == ownDescription)
                    continue;
                savers.Add(path);
                if (pDescriptions != nullptr)
                    pDescriptions->push_back(std::move(description));
            } while (::FindNextFileA(find.get(), &data));
        }
    }

    if (!bRecurse || nDepth >= kMaxFolderDepth)
        return;
    const AnsiString anyPattern = dir + kAnyPattern;
    if (!FitsPathBuffer(anyPattern))
        return;
    const UniqueFindHandle find(::FindFirstFileA(anyPattern.c_str(), &data));
    if (!find)
        return;
    do {
        // A linked folder may lead back up the tree: it is not entered.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            IsDotEntry(data.cFileName))
            continue;
        const AnsiString subFolder = dir + data.cFileName;
        if (FitsPathBuffer(subFolder))
            FindInFolder(savers, pDescriptions, subFolder, bRecurse, ownDescription, nDepth + 1);
    } while (::FindNextFileA(find.get(), &data));
}

}  // namespace

bool PathsEqual(const AnsiString& a, const AnsiString& b)
{
    char szShortA[MAX_PATH];
    char szShortB[MAX_PATH];
    const DWORD cchA = ::GetShortPathNameA(a.c_str(), szShortA, MAX_PATH);
    if (cchA == 0 || cchA >= MAX_PATH)
        return false;
    const DWORD cchB = ::GetShortPathNameA(b.c_str(), szShortB, MAX_PATH);
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
    if (!GetFileStamp(path, &stamp) || !HasSaverExtension(path))
        return false;
    return MapFile(path, stamp).bModule;
}

std::wstring GetSaverDescription(const AnsiString& path)
{
    FileStamp stamp;
    if (!GetFileStamp(path, &stamp))
        return std::wstring();
    const MappedFile file = MapFile(path, stamp);
    return file.bModule ? DescribeMapped(file, path) : std::wstring();
}

std::wstring GetOwnDescription() { return LoadDescription(::GetModuleHandleW(nullptr)); }

void FindSaversInFolder(PathList& savers, const AnsiString& folder, bool bRecurse)
{
    FindInFolder(savers, nullptr, folder, bRecurse, GetOwnDescription(), 0);
}

namespace {

void FindSaversIn(PathList& savers, std::vector<std::wstring>* pDescriptions,
                  const PathList& folders, bool bRecurse)
{
    const std::wstring ownDescription = GetOwnDescription();
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

void FindDescribedSavers(PathList& savers, std::vector<std::wstring>& descriptions,
                         const PathList& folders, bool bRecurse)
{
    FindSaversIn(savers, &descriptions, folders, bRecurse);
}
