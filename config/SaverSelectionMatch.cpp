#include "config/SaverSelectionMatch.h"

#include "settings/NativePath.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace {

// Text compared without case: upper-cased once, then compared byte by byte, which is much
// cheaper than a locale comparison per pair.
std::string NoCase(std::string text)
{
    if (!text.empty())
        ::CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Folder and name of a path, split at its last backslash. Short forms keep forward
// slashes as they are, so a path spelt with one names a file only in that same spelling.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// Short forms of folders (without case), each asked of the file system once.
class ShortFolders {
public:
    // False when the folder has no short form (it does not exist).
    bool Get(const std::string& folder, std::string* pShort)
    {
        const std::string key = NoCase(folder);
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            // Trailing separators go ("C:\Savers\" is "C:\Savers"), and a bare drive
            // ("C:") stands for its root.
            std::string query = folder;
            while (!query.empty() && query.back() == '\\')
                query.pop_back();
            if (query.empty() || query.back() == ':')
                query += '\\';
            char sz[MAX_PATH];
            const DWORD cch = ::GetShortPathNameA(NativePath(query).c_str(), sz, MAX_PATH);
            it =
                m_cache.emplace(key, cch != 0 && cch < MAX_PATH ? NoCase(sz) : std::string()).first;
        }
        *pShort = it->second;
        return !it->second.empty();
    }

private:
    std::map<std::string, std::string> m_cache;
};

// Identity of a file: the short form of its folder and its long name, without case.
using FileKey = std::pair<std::string, std::string>;

bool KeyOf(const std::string& path, ShortFolders& folders, FileKey* pKey)
{
    const std::pair<std::string, std::string> parts = SplitPath(path);
    pKey->second = NoCase(parts.second);
    return !parts.second.empty() && folders.Get(parts.first, &pKey->first);
}

}  // namespace

std::vector<bool> MatchSelectedSavers(const PathList& found, const PathList& stored)
{
    std::vector<bool> selected(found.GetCount(), false);
    if (stored.IsEmpty())
        return selected;

    // First by text: the usual case, a selection stored from the same search.
    std::vector<std::pair<std::string, size_t>> byText;
    for (size_t j = 0; j < stored.GetCount(); ++j)
        byText.emplace_back(NoCase(stored[j].str()), j);
    std::sort(byText.begin(), byText.end());
    std::vector<bool> storedMatched(stored.GetCount(), false);
    bool bAllFound = true;
    for (size_t i = 0; i < found.GetCount(); ++i) {
        const std::string text = NoCase(found[i].str());
        auto it = std::lower_bound(byText.begin(), byText.end(), std::make_pair(text, size_t{0}));
        for (; it != byText.end() && it->first == text; ++it) {
            storedMatched[it->second] = true;
            selected[i] = true;
        }
        bAllFound = bAllFound && selected[i];
    }
    if (bAllFound)
        return selected;

    // Then by file: another spelling of a found file's folder, or its 8.3 name.
    ShortFolders folders;
    std::vector<FileKey> keys;
    for (size_t j = 0; j < stored.GetCount(); ++j) {
        std::string path = stored[j].str();
        if (!storedMatched[j] && path.find('/') == std::string::npos) {
            // A stored name may be a file's short alias; its long form names the file.
            char sz[MAX_PATH];
            const DWORD cch = ::GetLongPathNameA(NativePath(path).c_str(), sz, MAX_PATH);
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
        selected[i] = KeyOf(found[i].str(), folders, &key) &&
            std::binary_search(keys.begin(), keys.end(), key);
    }
    return selected;
}
