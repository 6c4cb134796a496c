#pragma once
#include "settings/PathList.h"
#include "ui/WideString.h"

#include <string>
#include <vector>

// Which files are screen savers, where they are, what they are called.

// Do the two paths name the same file (compared by their short forms, without case).
bool PathsEqual(const AnsiString& a, const AnsiString& b);
// Compares two paths as text (<0, 0, >0), without case in the ANSI code page, a
// double-byte character taken as one. Needs no file, unlike PathsEqual.
int ComparePathText(const AnsiString& a, const AnsiString& b);
// Orders paths by ComparePathText, for sets of paths that name each path once.
struct PathTextLess {
    bool operator()(const AnsiString& a, const AnsiString& b) const
    {
        return ComparePathText(a, b) < 0;
    }
};
// An existing file whose name ends in ".scr" (any case) that maps as a module image.
// The catalog maps a file once per process while its size and last-write time stay the
// same; a changed file is mapped again.
bool IsSaverFile(const AnsiString& path);
// A path from a drive's root ("C:\\...") or a share ("\\\\server\\..."), whatever the
// current folder.
bool IsFullPath(const AnsiString& path);
// A stored saver that cannot be seen now: a full path ending in ".scr" (any case) that no
// file or folder answers to, as when its drive, share or folder is away.
bool IsSaverAway(const AnsiString& path);
// String 1 of the saver in UTF-16, whatever its script (at most kMaxDescriptionLength
// units, never half a surrogate pair), else its file name without extension.
WideString GetSaverDescription(const AnsiString& path);
// String 1 of this program itself; a saver carrying it is this program and never found.
WideString GetOwnDescription();
// Appends the savers of one folder (and its subfolders with bRecurse); never empties.
// Linked folders (reparse points) are not entered, the walk stops kMaxFolderDepth levels
// below the folder, and a path that would not fit MAX_PATH is skipped.
void FindSaversInFolder(PathList& savers, const AnsiString& folder, bool bRecurse);
void FindSavers(PathList& savers, const PathList& folders, bool bRecurse);
// FindSavers that also appends each found saver's GetSaverDescription to descriptions,
// read from the mapping the search makes anyway.
void FindDescribedSavers(PathList& savers, std::vector<WideString>& descriptions,
                         const PathList& folders, bool bRecurse);

// The longest description in UTF-16 units: what a buffer of 48 with its terminating NUL holds.
constexpr size_t kMaxDescriptionLength = 47;

// How many levels of subfolders a recursive search walks below each folder. Far deeper
// than any real collection of savers, and it bounds the walk and its stack use where a
// folder loops back to a parent without being a reparse point (a bind mount, a share).
constexpr int kMaxFolderDepth = 32;
