// The selection match gives IsSaverSelected's answers, spelling by spelling.
#include "config/SaverSelectionMatch.h"

#include "settings/SSSettings.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

using namespace configtest;

namespace {

std::string ShortForm(const std::string& path)
{
    char sz[MAX_PATH] = {};
    ::GetShortPathNameA(path.c_str(), sz, MAX_PATH);
    return sz;
}

std::string SplitName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string Upper(std::string s)
{
    ::CharUpperBuffA(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

PathList ListOf(const std::vector<std::string>& paths)
{
    PathList list;
    for (const std::string& path : paths)
        list.Add(path.c_str());
    return list;
}

// Each stored spelling alone, then all of them at once, against every found spelling.
void ExpectSameAnswersAsTheSettings(const std::vector<std::string>& found,
                                    const std::vector<std::string>& stored)
{
    std::vector<std::vector<std::string>> selections;
    for (const std::string& s : stored)
        selections.push_back({s});
    selections.push_back(stored);
    selections.push_back({});
    const PathList foundList = ListOf(found);
    for (const std::vector<std::string>& selection : selections) {
        SSSettings settings;
        settings.GetSavers() = ListOf(selection);
        const std::vector<bool> matched = MatchSelectedSavers(foundList, settings.GetSavers());
        ASSERT_EQ(matched.size(), found.size());
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_EQ(matched[i], settings.IsSaverSelected(found[i].c_str()))
                << "found " << found[i] << " with " << selection.size() << " stored, first "
                << (selection.empty() ? "" : selection.front());
    }
}

TEST(MatchSelectedSavers, AnswersAsIsSaverSelectedForEverySpelling)
{
    ScratchSaverFolder a("Quillmix Match A");
    ScratchSaverFolder b("Quillmix Match B");
    const std::string longName = a.Add(fixture::kSampleAurora.fileName, "Long Saver Name.scr");
    const std::string plain = a.Add(fixture::kSampleTiles.fileName);
    const std::string other = b.Add(fixture::kSampleTiles.fileName);
    const std::string shortLong = ShortForm(longName);
    const std::string shortFolder = ShortForm(a.Path());
    ASSERT_NE(shortLong, longName) << "the file system gives long names an alias";
    ASSERT_NE(shortFolder, a.Path());
    const std::string viaShortFolder = shortFolder + "\\" + fixture::kSampleTiles.fileName;

    // Found: as a search lists them, including one folder given in its 8.3 spelling.
    const std::vector<std::string> found = {longName, plain, other, viaShortFolder,
                                            shortFolder + "\\Long Saver Name.scr"};
    const std::vector<std::string> stored = {
        Upper(plain),  // another case
        shortLong,  // all 8.3
        a.Path() + "\\" + SplitName(shortLong),  // long folder, alias name
        viaShortFolder,  // the 8.3 folder
        a.Path() + "/" + fixture::kSampleTiles.fileName,  // a forward slash
        a.Path() + "\\Gone.scr",  // vanished
        other,
    };
    ExpectSameAnswersAsTheSettings(found, stored);
}

TEST(MatchSelectedSavers, SaversInADriveRootAndDuplicatesMatchToo)
{
    const std::string root = "C:\\QmxMatch" + std::to_string(::GetCurrentProcessId()) + ".scr";
    ASSERT_TRUE(
        ::CopyFileA(FixturePath(fixture::kSampleBounce.fileName).c_str(), root.c_str(), FALSE));
    const std::vector<std::string> found = {root, root, Upper(root)};
    ExpectSameAnswersAsTheSettings(found, {root, ShortForm(root), "c:" + root.substr(2)});
    ::DeleteFileA(root.c_str());
}

}  // namespace
