#pragma once
#include "ui/AnsiString.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// An ordered, growable list of paths, indexed from 0. Duplicates are allowed and nothing
// sorts it; assigning one list to another replaces the whole content.
class PathList {
public:
    size_t GetCount() const noexcept { return m_paths.size(); }
    bool IsEmpty() const noexcept { return m_paths.empty(); }
    const AnsiString& operator[](size_t i) const { return m_paths.at(i); }
    AnsiString& operator[](size_t i) { return m_paths.at(i); }
    void Add(const AnsiString& path) { m_paths.push_back(path); }
    // Puts the path before the entry at i; i equal to the count appends it.
    void Insert(size_t i, const AnsiString& path)
    {
        m_paths.insert(m_paths.begin() + static_cast<std::ptrdiff_t>(std::min(i, m_paths.size())),
                       path);
    }
    void RemoveAll() noexcept { m_paths.clear(); }

    std::vector<AnsiString>::const_iterator begin() const noexcept { return m_paths.begin(); }
    std::vector<AnsiString>::const_iterator end() const noexcept { return m_paths.end(); }

    friend bool operator==(const PathList& a, const PathList& b) { return a.m_paths == b.m_paths; }

private:
    std::vector<AnsiString> m_paths;
};
