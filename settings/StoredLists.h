#pragma once
#include "settings/PathList.h"

#include <windows.h>

#include <limits>

// Under the settings key: the subkeys of the folder list ("00", "01", ...) and the saver
// list ("000", "001", ...), which older versions read too.
extern const char kFoldersSubKey[];
extern const char kSaversSubKey[];
// While new lists replace the stored ones: the subkeys that hold the new lists whole, and
// the value, written once both are complete, that makes them the stored lists until the
// old names hold them too.
extern const char kFoldersNextSubKey[];
extern const char kSaversNextSubKey[];
extern const char kListsNextValue[];

// The folder and saver lists as the registry holds them, written so that a reader finds
// the lists stored before or the new ones, each whole, wherever the writing stops.
class StoredLists {
public:
    static constexpr size_t kAllSteps = std::numeric_limits<size_t>::max();

    // The key paths to read the lists from: the new ones while a replacement has switched.
    static AnsiString FoldersKeyPath();
    static AnsiString SaversKeyPath();

    // Writes both lists: beside the stored ones, the switch, over the old names, and the
    // switch back. nMaxSteps stops it after that many registry changes, as an ended process
    // would; true when it ran to its end.
    static bool Write(const PathList& folders, const PathList& savers,
                      size_t nMaxSteps = kAllSteps);
};
