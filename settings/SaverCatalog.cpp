#include "settings/SaverCatalog.h"

#include "res/resource.h"
#include "ui/UniqueFindHandle.h"
#include "ui/UniqueModule.h"

#include <windows.h>

#include <mbstring.h>

#include <cstring>
#include <map>
#include <new>
#include <string>

namespace {

// LoadStringA's buffer: descriptions are at most 47 characters.
constexpr int kDescriptionBuffer = 48;

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

AnsiString LoadDescription(HMODULE hModule)
{
    char szText[kDescriptionBuffer] = {};
    if (::LoadStringA(hModule, IDS_DESCRIPTION, szText, kDescriptionBuffer) > 0)
        return AnsiString(szText, ::strnlen(szText, kDescriptionBuffer - 1));
    return AnsiString();
}

// What mapping one file told: whether it is a module image, and its string 1.
struct MappedFile {
    FileStamp stamp;
    bool bModule;
    AnsiString stringOne;
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

    MappedFile file = {stamp, false, AnsiString()};
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
AnsiString FileNameDescription(const AnsiString& path)
{
    const size_t nSlash = path.str().rfind('\\');
    if (nSlash == std::string::npos)
        return AnsiString();
    const std::string name = path.str().substr(nSlash + 1);
    if (name.length() <= kExtensionLength)
        return AnsiString();
    return AnsiString(name.substr(0, name.length() - kExtensionLength));
}

// The description of a mapped saver: its string 1, else its file name.
AnsiString DescribeMapped(const MappedFile& file, const AnsiString& path)
{
    return file.stringOne.empty() ? FileNameDescription(path) : file.stringOne;
}

bool IsDotEntry(const char* pszName) noexcept
{
    return std::strcmp(pszName, ".") == 0 || std::strcmp(pszName, "..") == 0;
}

void FindInFolder(PathList& savers, PathList* pDescriptions, const AnsiString& folder,
                  bool bRecurse, const AnsiString& ownDescription, int nDepth)
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
                const AnsiString description = DescribeMapped(file, path);
                if (description == ownDescription)
                    continue;
                savers.Add(path);
                if (pDescriptions != nullptr)
                    pDescriptions->Add(description);
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

AnsiString GetSaverDescription(const AnsiString& path)
{
    FileStamp stamp;
    if (!GetFileStamp(path, &stamp))
        return AnsiString();
    const MappedFile file = MapFile(path, stamp);
    return file.bModule ? DescribeMapped(file, path) : AnsiString();
}

AnsiString GetOwnDescription() { return LoadDescription(::GetModuleHandleA(nullptr)); }

void FindSaversInFolder(PathList& savers, const AnsiString& folder, bool bRecurse)
{
    FindInFolder(savers, nullptr, folder, bRecurse, GetOwnDescription(), 0);
}

namespace {

void FindSaversIn(PathList& savers, PathList* pDescriptions, const PathList& folders, bool bRecurse)
{
    const AnsiString ownDescription = GetOwnDescription();
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

void FindDescribedSavers(PathList& savers, PathList& descriptions, const PathList& folders,
                         bool bRecurse)
{
    FindSaversIn(savers, &descriptions, folders, bRecurse);
}
