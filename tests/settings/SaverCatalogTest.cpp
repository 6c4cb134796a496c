// The saver catalog on real files: fixture savers, copies of them and of this program,
// text files and folders laid out under the Windows temp folder.
#include "settings/SaverCatalog.h"

#include "tests/fixtures/FixtureNames.h"
#include "tests/settings/ScratchFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestText.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using settingstest::ScratchFolder;

namespace {

std::vector<std::string> Strings(const PathList& list)
{
    std::vector<std::string> out;
    for (const AnsiString& path : list)
        out.push_back(path.str());
    return out;
}

std::vector<std::string> Strings(const std::vector<WideString>& texts)
{
    std::vector<std::string> out;
    for (const WideString& text : texts)
        out.push_back(Utf8(text));
    return out;
}

std::vector<std::string> Found(const std::string& folder, bool bRecurse)
{
    PathList savers;
    FindSaversInFolder(savers, folder, bRecurse);
    return Strings(savers);
}

size_t CountOf(const std::vector<std::string>& list, const std::string& path)
{
    return static_cast<size_t>(std::count(list.begin(), list.end(), path));
}

// What the system's own listing of the folder says, in its order (on Wine the order of
// the Unix directory, not sorted).
std::vector<std::string> Listed(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(folder + "\\" + data.cFileName);
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
    return names;
}

std::string ShortPathOf(const std::string& path)
{
    char buffer[MAX_PATH] = {};
    const DWORD n = ::GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return std::string(buffer, n < MAX_PATH ? n : 0);
}

std::string ReadAll(const std::string& path)
{
    std::string bytes;
    HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(::GetFileSize(hFile, nullptr));
    DWORD read = 0;
    if (!::ReadFile(hFile, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    ::CloseHandle(hFile);
    return bytes;
}

class SaverCatalogTest : public testing::Test {
protected:
    std::string Fixture(const fixture::FixtureSaver& saver) const
    {
        return FixturePath(saver.fileName);
    }
    std::string CopyFixture(const fixture::FixtureSaver& saver, const std::string& relative) const
    {
        return m_folder.CopyIn(Fixture(saver), relative);
    }

    ScratchFolder m_folder;
};

TEST_F(SaverCatalogTest, SaverFilesAreExistingModulesNamedScrInAnyCase)
{
    const std::string lower = CopyFixture(fixture::kSampleAurora, "lower.scr");
    const std::string upper = CopyFixture(fixture::kSampleTiles, "UPPER.SCR");
    const std::string mixed = CopyFixture(fixture::kSampleBounce, "Mixed.ScR");
    const std::string exe = CopyFixture(fixture::kSampleAurora, "module.exe");
    const std::string text = m_folder.WriteText("text.scr", "not a module at all\r\n");
    const std::string empty = m_folder.WriteText("empty.scr", "");
    const std::string folder = m_folder.MakeFolder("x.scr");
    const std::string bare = m_folder.WriteText(".scr", "a text file with no name before .scr");

    EXPECT_TRUE(IsSaverFile(lower));
    EXPECT_TRUE(IsSaverFile(upper));
    EXPECT_TRUE(IsSaverFile(mixed));
    EXPECT_FALSE(IsSaverFile(exe)) << "a valid module with another extension";
    EXPECT_FALSE(IsSaverFile(text)) << "a text file cannot be mapped as a module";
    EXPECT_FALSE(IsSaverFile(empty));
    EXPECT_FALSE(IsSaverFile(folder)) << "a folder named like a saver";
    EXPECT_FALSE(IsSaverFile(m_folder.PathOf("missing.scr")));
    EXPECT_FALSE(IsSaverFile(""));
    EXPECT_FALSE(IsSaverFile(bare)) << "a text file named just .scr";

    // Only those found in a listing of the folder are the two real savers, with the case
    // the listing gives them.
    std::vector<std::string> found = Found(m_folder.Path(), false);
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {lower, upper, mixed};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST_F(SaverCatalogTest, DamagedSaverFilesAreSkippedWithoutHarm)
{
    const std::string good = CopyFixture(fixture::kSampleAurora, "Good.scr");
    const std::string image = ReadAll(good);
    ASSERT_GT(image.size(), 4096u);
    const auto withDword = [&](size_t offset, DWORD value) {
        std::string bytes = image;
        bytes.replace(offset, sizeof(value), reinterpret_cast<const char*>(&value), sizeof(value));
        return bytes;
    };
    DWORD peOffset = 0;
    std::memcpy(&peOffset, image.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof(peOffset));
    ASSERT_LT(peOffset, image.size());

    // None of these is a module image: each must be passed over, never mapped into a crash.
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"Empty.scr", ""},
        {"Mz.scr", "MZ"},
        {"DosHeaderOnly.scr", image.substr(0, sizeof(IMAGE_DOS_HEADER))},
        {"PeOffsetPastTheEnd.scr", withDword(offsetof(IMAGE_DOS_HEADER, e_lfanew), 0x7FFFFFF0u)},
        {"PeOffsetNegative.scr", withDword(offsetof(IMAGE_DOS_HEADER, e_lfanew), 0xFFFFFFF0u)},
        {"NoPeSignature.scr", withDword(peOffset, 0x12345678u)},
        {"NoMzSignature.scr", "ZM" + image.substr(2)},
    };
    for (const auto& [name, bytes] : broken) {
        const std::string path = m_folder.WriteText(name, bytes);
        EXPECT_FALSE(IsSaverFile(path)) << name;
        EXPECT_EQ(Utf8(GetSaverDescription(path)), "") << name;
    }
    // Cut short after its signatures: whether the loader maps such a file as data is the
    // system's affair (Wine maps one cut inside its headers, where Windows checks them);
    // a saver that cannot start is passed over later. The intact saver is found once.
    m_folder.WriteText("CutInHeaders.scr", image.substr(0, peOffset + 8));
    m_folder.WriteText("CutInSections.scr", image.substr(0, image.size() / 2));

    const std::vector<std::string> found = Found(m_folder.Path(), false);
    EXPECT_EQ(CountOf(found, good), 1u);
    for (const auto& [name, bytes] : broken)
        EXPECT_EQ(CountOf(found, m_folder.PathOf(name)), 0u) << name;
    EXPECT_LE(found.size(), 3u);
}

TEST_F(SaverCatalogTest, SaversInDeepFoldersAreSaversToo)
{
    // Deeper than the 128 characters OpenFile's existence test can take.
    const std::string deep =
        m_folder.MakeFolder(std::string(60, 'd') + "\\" + std::string(60, 'e'));
    const std::string saver = m_folder.CopyIn(
        Fixture(fixture::kSampleAurora), deep.substr(m_folder.Path().size() + 1) + "\\Deep.scr");
    ASSERT_GT(saver.length(), 128u);
    EXPECT_TRUE(IsSaverFile(saver));
    EXPECT_EQ(Found(deep, false), std::vector<std::string>{saver});
}

TEST_F(SaverCatalogTest, ShortNameEndingInScrIsListedButRejected)
{
    const std::string longName = CopyFixture(fixture::kSampleAurora, "LongSaverName.scrx");
    const std::string shortPath = ShortPathOf(longName);
    const std::string shortName = shortPath.substr(shortPath.rfind('\\') + 1);
    RecordProperty("short_name", shortName);
    // Wine makes hashed short names ("LONG~C3K.SCR"); the 8.3 extension is the first
    // three letters of the long one, like Windows' "LONGSA~1.SCR".
    if (shortName.length() < 4 || shortName.substr(shortName.length() - 4) != ".SCR")
        GTEST_SKIP() << "no short name ending in .SCR here: " << shortName;

    // The "*.scr" listing matches the short name and gives back the long one.
    EXPECT_EQ(Listed(m_folder.Path(), "*.scr"), std::vector<std::string>{longName});
    EXPECT_FALSE(IsSaverFile(longName));
    EXPECT_TRUE(Found(m_folder.Path(), false).empty());
}

TEST_F(SaverCatalogTest, DescriptionIsStringOneOrTheFileName)
{
    EXPECT_EQ(Utf8(GetSaverDescription(Fixture(fixture::kSampleAurora))),
              FIXTURE_DESCRIPTION_SAMPLE_AURORA);
    EXPECT_EQ(Utf8(GetSaverDescription(Fixture(fixture::kRecorder))), FIXTURE_DESCRIPTION_RECORDER);

    // String 1 of 60 characters shows its first 47.
    const std::string longDescription =
        Utf8(GetSaverDescription(Fixture(fixture::kLongDescription)));
    EXPECT_EQ(longDescription, std::string(FIXTURE_DESCRIPTION_LONG).substr(0, 47));

    // Any script keeps every character (read in UTF-16, not through the code page), and
    // the cut at 47 units never leaves half a surrogate pair.
    for (const fixture::FixtureSaver& saver :
         {fixture::kJapanese, fixture::kCyrillic, fixture::kGreek})
        EXPECT_EQ(Utf8(GetSaverDescription(Fixture(saver))), saver.description) << saver.fileName;
    const WideString astral = GetSaverDescription(Fixture(fixture::kAstralCut));
    EXPECT_EQ(astral.length(), kMaxDescriptionLength - 1);
    EXPECT_EQ(Utf8(astral), fixture::kAstralCutKept);

    // No string 1: the file name without its extension, whatever case that has.
    EXPECT_EQ(Utf8(GetSaverDescription(Fixture(fixture::kNoDescription))), "NoDescription");
    EXPECT_EQ(Utf8(GetSaverDescription(CopyFixture(fixture::kNoDescription, "x.scr"))), "x");
    EXPECT_EQ(Utf8(GetSaverDescription(CopyFixture(fixture::kNoDescription, "Shouting.SCR"))),
              "Shouting");
    EXPECT_EQ(Utf8(GetSaverDescription(CopyFixture(fixture::kNoDescription, ".scr"))), "");

    // Not a module: no description at all, not even the file name.
    EXPECT_EQ(Utf8(GetSaverDescription(m_folder.WriteText("Text.scr", "text"))), "");
    EXPECT_EQ(Utf8(GetSaverDescription(m_folder.PathOf("Missing.scr"))), "");

    EXPECT_EQ(Utf8(GetOwnDescription()), "Quillmix (Random)");

    // The search that describes as it goes finds the same savers and tells the same.
    CopyFixture(fixture::kLongDescription, "sub\\Long.scr");
    PathList folders;
    folders.Add(m_folder.Path());
    PathList savers, described;
    std::vector<WideString> descriptions;
    FindSavers(savers, folders, true);
    FindDescribedSavers(described, descriptions, folders, true);
    ASSERT_EQ(Strings(described), Strings(savers));
    ASSERT_EQ(descriptions.size(), savers.GetCount());
    ASSERT_GE(savers.GetCount(), 4u);
    for (size_t i = 0; i < savers.GetCount(); ++i)
        EXPECT_EQ(descriptions[i], GetSaverDescription(savers[i])) << savers[i].str();
}

// Every file is mapped once per process while its size and last-write time stay; a file
// changed in either since the last question (between Load and the dialog's search) must
// be mapped again, never answered from memory.
TEST_F(SaverCatalogTest, FileChangedInSizeOrTimeIsExaminedAgain)
{
    const std::string path = CopyFixture(fixture::kSampleAurora, "Changing.scr");
    const std::string image = ReadAll(path);
    const auto setTime = [&](const FILETIME& ft) {
        HANDLE hFile = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                     0, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(::SetFileTime(hFile, nullptr, nullptr, &ft));
        ::CloseHandle(hFile);
    };
    WIN32_FILE_ATTRIBUTE_DATA saver;
    ASSERT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &saver));
    const auto search = [&] {
        PathList folders, savers;
        std::vector<WideString> descriptions;
        folders.Add(m_folder.Path());
        FindDescribedSavers(savers, descriptions, folders, false);
        return Strings(descriptions);
    };
    ASSERT_TRUE(IsSaverFile(path));
    ASSERT_EQ(search(), std::vector<std::string>{FIXTURE_DESCRIPTION_SAMPLE_AURORA});

    // The same size, a later time: text now.
    m_folder.WriteText("Changing.scr", std::string(image.size(), 'x'));
    FILETIME later = saver.ftLastWriteTime;
    later.dwHighDateTime += 1;
    setTime(later);
    EXPECT_FALSE(IsSaverFile(path));
    EXPECT_EQ(Utf8(GetSaverDescription(path)), "");
    EXPECT_TRUE(search().empty());

    // Another saver, a little longer, with the time of the text: the size tells.
    m_folder.WriteText("Changing.scr", ReadAll(Fixture(fixture::kLongDescription)) + "padding");
    setTime(later);
    EXPECT_TRUE(IsSaverFile(path));
    EXPECT_EQ(search(),
              std::vector<std::string>{std::string(FIXTURE_DESCRIPTION_LONG).substr(0, 47)});
    EXPECT_EQ(Utf8(GetSaverDescription(path)), std::string(FIXTURE_DESCRIPTION_LONG).substr(0, 47));
}

TEST_F(SaverCatalogTest, OwnDescriptionIsNeverFoundWhateverTheFileName)
{
    const std::string aurora = CopyFixture(fixture::kSampleAurora, "Aurora.scr");
    const std::string noDescription = CopyFixture(fixture::kNoDescription, "Plain.scr");
    // This program carries the product's string 1; as a saver under any name it is the
    // product itself (or another file that happens to carry the same text).
    m_folder.CopyIn(settingstest::ThisProgramPath(), "Renamed.scr");
    m_folder.CopyIn(settingstest::ThisProgramPath(), "Sub\\Quillmix.scr");
    const std::string product = ProductPath();
    if (::GetFileAttributesA(product.c_str()) != INVALID_FILE_ATTRIBUTES)
        m_folder.CopyIn(product, "Sub\\Other.scr");

    EXPECT_EQ(Utf8(GetSaverDescription(m_folder.PathOf("Renamed.scr"))), "Quillmix (Random)");
    EXPECT_TRUE(IsSaverFile(m_folder.PathOf("Renamed.scr")));
    std::vector<std::string> found = Found(m_folder.Path(), true);
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {aurora, noDescription};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST_F(SaverCatalogTest, FolderWithOrWithoutBackslashAndListedTwice)
{
    const std::string a = CopyFixture(fixture::kSampleAurora, "A.scr");
    const std::string b = CopyFixture(fixture::kSampleTiles, "B.scr");
    const std::vector<std::string> listed = Listed(m_folder.Path(), "*.scr");
    ASSERT_EQ(listed.size(), 2u);

    EXPECT_EQ(Found(m_folder.Path(), false), listed);
    EXPECT_EQ(Found(m_folder.Path() + "\\", false), listed);

    // The same folder twice: every saver twice, in both places, nothing removed or sorted.
    PathList folders;
    folders.Add(m_folder.Path());
    folders.Add(m_folder.Path() + "\\");
    PathList savers;
    savers.Add("kept");
    FindSavers(savers, folders, false);
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), listed.begin(), listed.end());
    expected.insert(expected.end(), listed.begin(), listed.end());
    EXPECT_EQ(Strings(savers), expected);

    // Folders that are no folders give nothing.
    EXPECT_TRUE(Found(m_folder.PathOf("Missing"), true).empty());
    EXPECT_TRUE(Found(a, true).empty());
    EXPECT_TRUE(Found("", true).empty());
    static_cast<void>(b);
}

TEST_F(SaverCatalogTest, RecursionWalksSubfoldersDepthFirstAfterTheFolderItself)
{
    const std::string top = CopyFixture(fixture::kSampleAurora, "Top.scr");
    const std::string one = CopyFixture(fixture::kSampleTiles, "One\\One.scr");
    const std::string oneDeep = CopyFixture(fixture::kSampleBounce, "One\\Deep\\OneDeep.scr");
    const std::string two = CopyFixture(fixture::kNoDescription, "Two\\Two.scr");
    m_folder.MakeFolder("Empty");

    EXPECT_EQ(Found(m_folder.Path(), false), std::vector<std::string>{top})
        << "subfolders looked at";

    const std::vector<std::string> found = Found(m_folder.Path(), true);
    ASSERT_EQ(found.size(), 4u);
    // Each saver once: "." and ".." lead nowhere.
    for (const std::string& path : {top, one, oneDeep, two})
        EXPECT_EQ(CountOf(found, path), 1u) << path;
    // The folder's own savers first; a subfolder's whole tree before the next subfolder.
    EXPECT_EQ(found[0], top);
    const auto posOne = std::find(found.begin(), found.end(), one);
    const auto posOneDeep = std::find(found.begin(), found.end(), oneDeep);
    const auto posTwo = std::find(found.begin(), found.end(), two);
    EXPECT_EQ(posOneDeep, posOne + 1);
    EXPECT_TRUE(posTwo == posOne - 1 || posTwo == posOneDeep + 1);

    // A folder and its subfolder, both recursing: the overlap twice, in both places.
    PathList folders;
    folders.Add(m_folder.Path());
    folders.Add(m_folder.PathOf("One"));
    PathList savers;
    FindSavers(savers, folders, true);
    std::vector<std::string> expected = found;
    expected.push_back(one);
    expected.push_back(oneDeep);
    EXPECT_EQ(Strings(savers), expected);
}

TEST_F(SaverCatalogTest, LinkBackToAParentIsNotFollowed)
{
    const std::string top = CopyFixture(fixture::kSampleAurora, "Top.scr");
    const std::string inner = CopyFixture(fixture::kSampleTiles, "Child\\Inner.scr");
    ASSERT_TRUE(settingstest::MakeFolderLink(m_folder.PathOf("Child\\Loop"), m_folder.Path()));
    const std::string other = m_folder.MakeFolder("Elsewhere");
    const std::string elsewhere = CopyFixture(fixture::kSampleBounce, "Elsewhere\\Linked.scr");
    ASSERT_TRUE(settingstest::MakeFolderLink(m_folder.PathOf("Child\\ToElsewhere"), other));

    // Followed, the loop would list the same savers again at every level down to the
    // longest path; a link is never entered, even one that does not loop.
    const std::vector<std::string> found = Found(m_folder.Path(), true);
    EXPECT_EQ(CountOf(found, top), 1u);
    EXPECT_EQ(CountOf(found, inner), 1u);
    EXPECT_EQ(CountOf(found, elsewhere), 1u);
    EXPECT_EQ(found.size(), 3u);
    // A link named as the folder itself is searched: only its subfolder links are skipped.
    EXPECT_EQ(Found(m_folder.PathOf("Child\\Loop"), false),
              std::vector<std::string>{m_folder.PathOf("Child\\Loop\\Top.scr")});
}

TEST_F(SaverCatalogTest, WalkStopsAtTheDepthBound)
{
    std::string relative;
    std::string atBound;
    std::string belowBound;
    for (int depth = 1; depth <= kMaxFolderDepth + 1; ++depth) {
        relative += (depth == 1 ? "" : "\\") + std::string("d");
        if (depth == kMaxFolderDepth)
            atBound = CopyFixture(fixture::kSampleAurora, relative + "\\AtBound.scr");
        if (depth == kMaxFolderDepth + 1)
            belowBound = CopyFixture(fixture::kSampleTiles, relative + "\\Below.scr");
    }
    const std::vector<std::string> found = Found(m_folder.Path(), true);
    EXPECT_EQ(found, std::vector<std::string>{atBound});
    EXPECT_TRUE(IsSaverFile(belowBound));
}

TEST_F(SaverCatalogTest, PathsPastMaxPathAreSkippedNotCut)
{
    // A folder whose saver paths take 259 characters with a short name. A longer name in
    // the same folder starts with that short path: cut to MAX_PATH - 1, it would name the
    // short one a second time.
    const size_t folderLength = MAX_PATH - 1 - std::string("\\s.scr").length();
    std::string folder = m_folder.Path() + "\\";
    folder += std::string(folderLength - folder.length(), 'f');
    ASSERT_EQ(folder.length(), folderLength);
    ASSERT_TRUE(settingstest::MakeLongFolder(folder));
    const std::string fits = folder + "\\s.scr";
    ASSERT_EQ(fits.length(), static_cast<size_t>(MAX_PATH - 1));
    ASSERT_TRUE(settingstest::CopyToLongPath(Fixture(fixture::kSampleAurora), fits));
    ASSERT_TRUE(settingstest::CopyToLongPath(Fixture(fixture::kSampleTiles),
                                             folder + "\\s.scr.longer.scr"));
    ASSERT_EQ(Listed(folder, "*.scr").size(), 2u);

    EXPECT_EQ(Found(folder, false), std::vector<std::string>{fits});
    EXPECT_EQ(Found(m_folder.Path(), true), std::vector<std::string>{fits});
}

TEST_F(SaverCatalogTest, PathsEqualComparesFilesNotTexts)
{
    const std::string a = CopyFixture(fixture::kSampleAurora, "Long Saver Name.scr");
    const std::string b = CopyFixture(fixture::kSampleTiles, "Other Saver Name.scr");
    std::string upper = a;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    });
    const std::string shortA = ShortPathOf(a);
    ASSERT_NE(shortA, a);

    EXPECT_TRUE(PathsEqual(a, a));
    EXPECT_TRUE(PathsEqual(a, upper));
    EXPECT_TRUE(PathsEqual(a, shortA));
    EXPECT_TRUE(PathsEqual(shortA, a));
    EXPECT_FALSE(PathsEqual(a, b));
    // A vanished file compares unequal, even with itself.
    EXPECT_FALSE(PathsEqual(m_folder.PathOf("Gone.scr"), m_folder.PathOf("Gone.scr")));
    EXPECT_FALSE(PathsEqual(a, m_folder.PathOf("Gone.scr")));
}

// A name outside the ANSI code page cannot be spelt in the ANSI calls that saver paths go
// through; its short (8.3) form can. Savers under such names are found by their short
// forms, and one without string 1 is described by its long name, whole.
TEST_F(SaverCatalogTest, NamesOutsideTheCodePageAreReachedByTheirShortForms)
{
    const WideString folder = AnsiString(m_folder.Path()).Wide() + L"\\Заставки";
    const WideString japanese = folder + L"\\日本.scr";
    const WideString greek = folder + L"\\Ωραίο.scr";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(AnsiString(Fixture(fixture::kJapanese)).Wide().c_str(),
                            japanese.c_str(), TRUE));
    ASSERT_TRUE(::CopyFileW(AnsiString(Fixture(fixture::kNoDescription)).Wide().c_str(),
                            greek.c_str(), TRUE));
    wchar_t shortForm[MAX_PATH] = {};
    ::GetShortPathNameW(greek.c_str(), shortForm, MAX_PATH);
    if (greek == shortForm)
        GTEST_SKIP() << "this volume makes no short (8.3) names";

    PathList folders, savers;
    std::vector<WideString> descriptions;
    folders.Add(m_folder.Path());
    FindDescribedSavers(savers, descriptions, folders, true);
    ASSERT_EQ(savers.GetCount(), 2u);
    std::map<WideString, std::string> described;  // by the file's long path
    for (size_t i = 0; i < savers.GetCount(); ++i) {
        EXPECT_TRUE(IsSaverFile(savers[i])) << savers[i].str();
        EXPECT_EQ(GetSaverDescription(savers[i]), descriptions[i]);
        wchar_t longPath[MAX_PATH] = {};
        EXPECT_GT(::GetLongPathNameW(savers[i].Wide().c_str(), longPath, MAX_PATH), 0u);
        described[longPath] = Utf8(descriptions[i]);
    }
    EXPECT_EQ(described[japanese], FIXTURE_DESCRIPTION_JAPANESE);
    EXPECT_EQ(described[greek], "Ωραίο");
}

TEST(SaverCatalogSystemTest, DefaultFoldersWithRecursionFindTheSystemSaversTwice)
{
    const settingstest::SystemFolderSavers system(
        "QuillmixCatalogTest", {fixture::kSampleAurora.fileName, fixture::kNoDescription.fileName});
    ASSERT_EQ(system.Paths().size(), 2u);

    const std::string systemDir = settingstest::LowerSystemDirectory();
    PathList folders;
    folders.Add(settingstest::LowerWindowsDirectory());
    folders.Add(systemDir);

    PathList once;
    FindSaversInFolder(once, systemDir, false);
    const std::vector<std::string> inSystem = Strings(once);

    PathList savers;
    FindSavers(savers, folders, true);
    const std::vector<std::string> found = Strings(savers);
    // The walk of the Windows folder reaches the system folder (the same texts, since both
    // folders are lower case), and the system folder follows as the second folder, last.
    ASSERT_GE(found.size(), 2 * inSystem.size());
    const std::vector<std::string> tail(found.end() - static_cast<ptrdiff_t>(inSystem.size()),
                                        found.end());
    EXPECT_EQ(tail, inSystem);
    for (const std::string& path : system.Paths()) {
        EXPECT_EQ(CountOf(inSystem, path), 1u) << path;
        EXPECT_EQ(CountOf(found, path), 2u) << path;
    }
}

}  // namespace
