#pragma once
#include "settings/PathList.h"

#include <vector>

// For each found saver path, whether the stored selection names the same file: the answers
// of SSSettings::IsSaverSelected, without its short-form comparison of every found path
// with every stored one (two file-system look-ups per pair, a second each with a thousand
// savers). Paths that are equal apart from case are the same file; the others are compared
// without case by the short form of their folder and the long form of their name, which
// needs one look-up per distinct folder and one per stored path that matched no found
// path by text.
std::vector<bool> MatchSelectedSavers(const PathList& found, const PathList& stored);
