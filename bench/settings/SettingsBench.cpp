// How fast the saver search and the settings Load are, against the least any search must
// do, measured in the same run: mapping each saver file once as a data file, reading its
// string 1 and releasing it.
//   bench_settings.exe FIXTURE_SAVER [ROUNDS]
// Lays out, under the temp folder, 1,000 links (copies where links fail) of FIXTURE_SAVER
// in one folder and 1,000 more spread over 50 nested folders (10 branches, 5 levels deep),
// then per round measures:
//   flat       FindSaversInFolder over the one folder
//   tree       FindSaversInFolder over the nested folders, recursing
//   baseline   the mapping of the same files, one by one, from a prepared list
//   twice      the search as first described: IsSaverFile, then GetSaverDescription, and
//              the own description once per folder (for comparison only)
//   load       SSSettings::Load with the 1,000 files of the one folder stored as selected
//              (HKEY_CURRENT_USER sent to a scratch key for the run)
// and prints the medians and the ratios to the baselines. The catalog maps a file once per
// process while its size and last-write time stay, so every file gets a new last-write
// time before each measured search: each one maps every file afresh.
#include "settings/SSSettings.h"
#include "settings/SaverCatalog.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kFlatSavers = 1000;
constexpr int kBranches = 10;
constexpr int kLevels = 5;
constexpr int kSaversPerFolder = 20;  // 1,000 over the 50 nested folders
constexpr int kDefaultRounds = 7;
constexpr int kDescriptionBuffer = 48;
constexpr char kScratchKey[] = "Software\\QuillmixBench";

double Now()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveTree(child);
            else
                ::DeleteFileA(child.c_str());
        } while (::FindNextFileA(hFind, &data));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryA(path.c_str());
}

bool PlaceSaver(const std::string& source, const std::string& target)
{
    return ::CreateHardLinkA(target.c_str(), source.c_str(), nullptr) ||
        ::CopyFileA(source.c_str(), target.c_str(), FALSE);
}

std::string SaverName(int i)
{
    char name[32];
    std::snprintf(name, sizeof(name), "Saver%04d.scr", i);
    return name;
}

// The least a search must do per saver file.
// A new last-write time for every file (links share theirs), so the catalog maps it again.
void Touch(const std::vector<std::string>& files)
{
    static ULONGLONG s_ullTime = 0;
    if (s_ullTime == 0) {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        s_ullTime = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }
    s_ullTime += 10000000;  // one second
    const FILETIME ft = {static_cast<DWORD>(s_ullTime), static_cast<DWORD>(s_ullTime >> 32)};
    for (const std::string& file : files) {
        HANDLE hFile =
            ::CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
            continue;
        ::SetFileTime(hFile, nullptr, nullptr, &ft);
        ::CloseHandle(hFile);
    }
}

int MapEach(const std::vector<std::string>& files)
{
    int nDescribed = 0;
    for (const std::string& file : files) {
        HMODULE hModule = ::LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (hModule == nullptr)
            continue;
        wchar_t text[kDescriptionBuffer] = {};
        if (::LoadStringW(hModule, 1, text, kDescriptionBuffer) > 0)
            ++nDescribed;
        ::FreeLibrary(hModule);
    }
    return nDescribed;
}

// The search as first described, from the catalog's public operations.
void FindTwice(PathList& savers, const std::string& folder, bool bRecurse)
{
    const std::string dir = folder + "\\";
    const WideString own = GetOwnDescription();
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((dir + "*.scr").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const std::string path = dir + data.cFileName;
            if (IsSaverFile(path) && GetSaverDescription(path) != own)
                savers.Add(path);
        } while (::FindNextFileA(hFind, &data));
        ::FindClose(hFind);
    }
    if (!bRecurse)
        return;
    hFind = ::FindFirstFileA((dir + "*.*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." && name != "..")
            FindTwice(savers, dir + name, bRecurse);
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
}

void StoreSelection(const std::string& folder, const std::vector<std::string>& savers)
{
    SSSettings settings;
    settings.GetFolders().Add(folder);
    for (const std::string& saver : savers)
        settings.GetSavers().Add(saver);
    settings.Save();
}

struct Figures {
    std::vector<double> flat, flatBase, flatTwice, tree, treeBase, treeTwice, load, loadBase;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_settings FIXTURE_SAVER [ROUNDS]\n");
        return 2;
    }
    const std::string source = argv[1];
    const int nRounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;

    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "QuillmixSettingsBench";
    RemoveTree(root);
    ::CreateDirectoryA(root.c_str(), nullptr);
    const std::string flat = root + "\\Flat";
    const std::string tree = root + "\\Tree";
    ::CreateDirectoryA(flat.c_str(), nullptr);
    ::CreateDirectoryA(tree.c_str(), nullptr);

    std::vector<std::string> flatFiles;
    for (int i = 0; i < kFlatSavers; ++i) {
        const std::string path = flat + "\\" + SaverName(i);
        if (!PlaceSaver(source, path)) {
            std::fprintf(stderr, "cannot place %s\n", path.c_str());
            return 1;
        }
        flatFiles.push_back(path);
    }
    std::vector<std::string> treeFiles;
    int nTreeSaver = 0;
    for (int b = 0; b < kBranches; ++b) {
        std::string folder = tree + "\\Branch" + std::to_string(b);
        for (int level = 0; level < kLevels; ++level) {
            if (level > 0)
                folder += "\\Level" + std::to_string(level);
            ::CreateDirectoryA(folder.c_str(), nullptr);
            for (int i = 0; i < kSaversPerFolder; ++i) {
                const std::string path = folder + "\\" + SaverName(nTreeSaver++);
                if (!PlaceSaver(source, path)) {
                    std::fprintf(stderr, "cannot place %s\n", path.c_str());
                    return 1;
                }
                treeFiles.push_back(path);
            }
        }
    }

    HKEY hScratch = nullptr;
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &hScratch, nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, hScratch);
    StoreSelection(flat, flatFiles);

    // One unmeasured pass of each, so that every round finds the files in the cache.
    MapEach(flatFiles);
    MapEach(treeFiles);
    PathList check;
    FindSaversInFolder(check, flat, false);
    PathList checkTwice;
    FindTwice(checkTwice, flat, false);
    bool bSame = check == checkTwice && check.GetCount() == flatFiles.size();
    PathList checkTree;
    FindSaversInFolder(checkTree, tree, true);
    PathList checkTreeTwice;
    FindTwice(checkTreeTwice, tree, true);
    bSame = bSame && checkTree == checkTreeTwice && checkTree.GetCount() == treeFiles.size();

    Figures f;
    size_t nLoaded = 0;
    for (int round = 0; round < nRounds; ++round) {
        double t = Now();
        MapEach(flatFiles);
        f.flatBase.push_back(Now() - t);
        Touch(flatFiles);
        t = Now();
        PathList flatFound;
        FindSaversInFolder(flatFound, flat, false);
        f.flat.push_back(Now() - t);
        Touch(flatFiles);
        t = Now();
        PathList flatTwice;
        FindTwice(flatTwice, flat, false);
        f.flatTwice.push_back(Now() - t);

        t = Now();
        MapEach(treeFiles);
        f.treeBase.push_back(Now() - t);
        Touch(treeFiles);
        t = Now();
        PathList treeFound;
        FindSaversInFolder(treeFound, tree, true);
        f.tree.push_back(Now() - t);
        Touch(treeFiles);
        t = Now();
        PathList treeTwice;
        FindTwice(treeTwice, tree, true);
        f.treeTwice.push_back(Now() - t);

        t = Now();
        MapEach(flatFiles);
        f.loadBase.push_back(Now() - t);
        Touch(flatFiles);
        t = Now();
        SSSettings settings;
        settings.Load();
        f.load.push_back(Now() - t);
        nLoaded = settings.GetSavers().GetCount();
    }

    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(hScratch);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    RemoveTree(root);

    const auto ms = [](const std::vector<double>& v) { return Median(v) * 1000.0; };
    std::printf("rounds %d, medians; baseline = map each file once, read string 1, release\n",
                nRounds);
    std::printf("results of the search and of the described two-mapping search identical: %s\n",
                bSame ? "yes" : "NO");
    std::printf(
        "flat  %4zu savers, 1 folder:   FindSavers %8.1f ms  baseline %8.1f ms  ratio %.2f  "
        "(saver test, then description %8.1f ms, ratio %.2f)\n",
        flatFiles.size(), ms(f.flat), ms(f.flatBase), Median(f.flat) / Median(f.flatBase),
        ms(f.flatTwice), Median(f.flatTwice) / Median(f.flatBase));
    std::printf(
        "tree  %4zu savers, 50 folders: FindSavers %8.1f ms  baseline %8.1f ms  ratio %.2f  "
        "(saver test, then description %8.1f ms, ratio %.2f)\n",
        treeFiles.size(), ms(f.tree), ms(f.treeBase), Median(f.tree) / Median(f.treeBase),
        ms(f.treeTwice), Median(f.treeTwice) / Median(f.treeBase));
    std::printf(
        "Load  %4zu stored savers (%zu kept):  Load %8.1f ms  baseline %8.1f ms  ratio %.2f\n",
        flatFiles.size(), nLoaded, ms(f.load), ms(f.loadBase), Median(f.load) / Median(f.loadBase));
    return bSame && nLoaded == flatFiles.size() ? 0 : 1;
}
