#pragma once
#include "settings/PathList.h"

// Which files are screen savers, where they are, what they are called.

bool PathsEqual(const AnsiString& a, const AnsiString& b);
bool IsSaverFile(const AnsiString& path);
// String 1 of the saver (at most 47 characters), else its file name without extension.
AnsiString GetSaverDescription(const AnsiString& path);
// Appends the savers of one folder (and its subfolders with bRecurse); never empties.
void FindSaversInFolder(PathList& savers, const AnsiString& folder, bool bRecurse);
void FindSavers(PathList& savers, const PathList& folders, bool bRecurse);
