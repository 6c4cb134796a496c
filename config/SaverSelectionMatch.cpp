#include "config/SaverSelectionMatch.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace {

struct LessNoCase {
    bool operator()(const std::string& a, const std::string& b) const noexcept
    {
        return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
    }
};

// Folder and name of a path, split at its last backslash. Short forms keep forward
// slashes as they are, so a path spelt with one names a file only in that same spelling.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// Short forms of folders, each asked of the file system once.
class ShortFolders {
public:
    // False when the folder has no short form (it does not exist).
    bool Get(const std::string& folder, std::string* pShort)
    {
        auto it = m_cache.find(folder);
        if (it == m_cache.end()) {
            char sz[MAX_PATH];
            // Trailing separators go ("C:\Savers\" is "C:\Savers"), and a bare drive
            // ("C:") stands for its root.
            std::string query = folder;
            while (!query.empty() && query.back() == '\\')
                query.pop_back();
            if (query.empty() || query.back() == ':')
                query += '\\';
            const DWORD cch = ::GetShortPathNameA(query.c_str(), sz, MAX_PATH);
            it = m_cache.emplace(folder, cch != 0 && cch < MAX_PATH ? std::string(sz) : std::string()).first;
        }
        *pShort = it->second;
        return !it->second.empty();
    }

private:
    std::map<std::string, std::string, LessNoCase> m_cache;
};

// Identity of a file: the short form of its folder and its long name.
struct FileKey {
    std::string folder;
    std::string name;
};

bool operator<(const FileKey& a, const FileKey& b) noexcept
{
    const int byFolder = ::lstrcmpiA(a.folder.c_str(), b.folder.c_str());
    return byFolder != 0 ? byFolder < 0 : ::lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0;
}

bool KeyOf(const std::string& path, ShortFolders& folders, FileKey* pKey)
{
    const std::pair<std::string, std::string> parts = SplitPath(path);
    pKey->name = parts.second;
    return !parts.second.empty() && folders.Get(parts.first, &pKey->folder);
}

}  // namespace

std::vector<bool> MatchSelectedSavers(const PathList& found, const PathList& stored)
{
    std::vector<bool> selected(found.GetCount(), false);
    if (stored.IsEmpty())
        return selected;

    // First by text: the usual case, a selection stored from the same search.
    std::vector<std::string> byText;
    for (const AnsiString& path : stored)
        byText.push_back(path.str());
    std::sort(byText.begin(), byText.end(), LessNoCase());
    std::vector<bool> storedMatched(byText.size(), false);
    bool bAllFound = true;
    for (size_t i = 0; i < found.GetCount(); ++i) {
        const auto range = std::equal_range(byText.begin(), byText.end(), found[i].str(), LessNoCase());
        for (auto it = range.first; it != range.second; ++it)
            storedMatched[static_cast<size_t>(it - byText.begin())] = true;
        selected[i] = range.first != range.second;
        bAllFound = bAllFound && selected[i];
    }
    if (bAllFound)
        return selected;

    // Then by file: another spelling of a found file's folder, or its 8.3 name.
    ShortFolders folders;
    std::vector<FileKey> keys;
    for (size_t j = 0; j < byText.size(); ++j) {
        std::string path = byText[j];
        if (!storedMatched[j] && path.find('/') == std::string::npos) {
            // A stored name may be a file's short alias; its long form names the file.
            char sz[MAX_PATH];
            const DWORD cch = ::GetLongPathNameA(path.c_str(), sz, MAX_PATH);
            if (cch == 0 || cch >= MAX_PATH)
                continue;  // gone: no short form either, so it names nothing found
            path = sz;
        }
        FileKey key;
        if (KeyOf(path, folders, &key))
            keys.push_back(std::move(key));
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < found.GetCount(); ++i) {
        if (selected[i])
            continue;
        FileKey key;
        selected[i] = KeyOf(found[i].str(), folders, &key) && std::binary_search(keys.begin(), keys.end(), key);
    }
    return selected;
}
