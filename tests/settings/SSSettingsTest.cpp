// The settings store against the real Wine registry (HKEY_CURRENT_USER sent to a scratch
// key per test) and real saver files laid out under the Windows temp folder.
#include "settings/SSSettings.h"

#include "settings/SaverCatalog.h"
#include "settings/SaverHealth.h"
#include "settings/StoredLists.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/settings/RegistryProbe.h"
#include "tests/settings/ScratchFolder.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using settingstest::RawExists;
using settingstest::RawQuery;
using settingstest::RawSet;
using settingstest::RawSetDword;
using settingstest::RawSetString;
using settingstest::RawValues;
using settingstest::ScratchFolder;

namespace {

constexpr char kKey[] = "Software\\Brindlecraft\\Quillmix";
constexpr char kFoldersKey[] = "Software\\Brindlecraft\\Quillmix\\Folders";
constexpr char kSaversKey[] = "Software\\Brindlecraft\\Quillmix\\Savers";
constexpr char kRoundKey[] = "Software\\Brindlecraft\\Quillmix\\ShuffleRound";
constexpr char kHealthKey[] = "Software\\Brindlecraft\\Quillmix\\SaverHealth";

std::vector<std::string> Strings(const PathList& list)
{
    std::vector<std::string> out;
    for (const AnsiString& path : list)
        out.push_back(path.str());
    return out;
}

PathList ListOf(const std::vector<std::string>& paths)
{
    PathList list;
    for (const std::string& path : paths)
        list.Add(path);
    return list;
}

std::string Numbered(const char* format, size_t i)
{
    char name[16];
    std::snprintf(name, sizeof(name), format, static_cast<unsigned>(i));
    return name;
}

DWORD RawDword(const std::string& name)
{
    const settingstest::RawValue value = RawQuery(kKey, name);
    EXPECT_TRUE(value.exists) << name;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << name;
    DWORD dw = 0;
    if (value.data.size() == sizeof(dw))
        std::memcpy(&dw, value.data.data(), sizeof(dw));
    return dw;
}

SSSettings Loaded()
{
    SSSettings settings;
    settings.Load();
    return settings;
}

// Sets the DACL of the settings key (nullptr: no DACL, everybody may do everything).
bool SetSettingsKeyDacl(PACL pDacl)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, WRITE_DAC, nullptr, &hKey,
                          nullptr) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR sd;
    const bool bSet = ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorDacl(&sd, TRUE, pDacl, FALSE) &&
        ::RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    ::RegCloseKey(hKey);
    return bSet;
}

class SSSettingsTest : public testing::Test {
protected:
    std::string Fixture(const fixture::FixtureSaver& saver) const
    {
        return FixturePath(saver.fileName);
    }
    std::string CopyFixture(const fixture::FixtureSaver& saver, const std::string& relative) const
    {
        return m_folder.CopyIn(Fixture(saver), relative);
    }
    // A stored selection that is empty: nothing is searched on Load.
    static void StoreNoSavers() { RawSetString(kSaversKey, "unused", ""); }

    ScratchRegistry m_registry;
    ScratchFolder m_folder;
};

TEST_F(SSSettingsTest, FreshUserGetsDefaultsAndLoadWritesNothing)
{
    const settingstest::SystemFolderSavers system(
        "QuillmixStoreTest", {fixture::kSampleTiles.fileName, fixture::kLongDescription.fileName});
    ASSERT_EQ(system.Paths().size(), 2u);

    const SSSettings settings = Loaded();
    EXPECT_FALSE(settings.GetShuffleSavers());
    EXPECT_EQ(settings.GetShuffleDelay(), 5u);
    EXPECT_FALSE(settings.GetShowDesktop());
    EXPECT_FALSE(settings.GetRecurseSaverFolders());
    const std::vector<std::string> folders = {settingstest::LowerWindowsDirectory(),
                                              settingstest::LowerSystemDirectory()};
    EXPECT_EQ(Strings(settings.GetFolders()), folders);

    // Every saver of the two folders takes part, in search order, without recursion.
    PathList expected;
    FindSavers(expected, ListOf(folders), false);
    EXPECT_EQ(Strings(settings.GetSavers()), Strings(expected));
    const std::vector<std::string> found = Strings(expected);
    for (const std::string& path : system.Paths())
        EXPECT_EQ(std::count(found.begin(), found.end(), path), 1) << path;

    EXPECT_FALSE(RawExists("Software\\Brindlecraft")) << "Load wrote to the registry";
}

TEST_F(SSSettingsTest, SaveWritesEveryFieldAndTheListsWhole)
{
    SSSettings settings = Loaded();
    const std::string a = CopyFixture(fixture::kSampleAurora, "A.scr");
    const std::string b = CopyFixture(fixture::kSampleBounce, "B.scr");
    settings.GetSavers() = ListOf({a, b});
    settings.Save();

    EXPECT_EQ(RawDword("ShuffleSavers"), 0u);
    EXPECT_EQ(RawDword("ShuffleDelay"), 5u);
    EXPECT_EQ(RawDword("ShowDesktop"), 0u);
    EXPECT_EQ(RawDword("RecurseSaverFolders"), 0u);
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(RawValues(kFoldersKey),
              (Values{{"00", settingstest::LowerWindowsDirectory()},
                      {"01", settingstest::LowerSystemDirectory()}}));
    EXPECT_EQ(RawValues(kSaversKey), (Values{{"000", a}, {"001", b}}));
    EXPECT_EQ(RawQuery(kSaversKey, "000").type, static_cast<DWORD>(REG_SZ));

    // Setters reach the registry only with Save; a shorter list leaves nothing behind.
    settings.SetShuffleSavers(true);
    settings.SetShuffleDelay(12);
    settings.SetShowDesktop(true);
    settings.GetSavers() = ListOf({b});
    EXPECT_EQ(RawDword("ShuffleDelay"), 5u);
    settings.Save();
    EXPECT_EQ(RawDword("ShuffleSavers"), 1u);
    EXPECT_EQ(RawDword("ShuffleDelay"), 12u);
    EXPECT_EQ(RawDword("ShowDesktop"), 1u);
    EXPECT_EQ(RawValues(kSaversKey), (Values{{"000", b}}));

    const SSSettings reloaded = Loaded();
    EXPECT_TRUE(reloaded.GetShuffleSavers());
    EXPECT_EQ(reloaded.GetShuffleDelay(), 12u);
    EXPECT_TRUE(reloaded.GetShowDesktop());
    EXPECT_EQ(Strings(reloaded.GetSavers()), std::vector<std::string>{b});
}

// The dialog's OK keeps run mode's round for the savers still selected, with the count of
// those already shown; a round it cannot take is removed.
TEST_F(SSSettingsTest, SaveKeepsTheRoundOfTheSaversStillSelected)
{
    const std::string a = CopyFixture(fixture::kSampleAurora, "A.scr");
    const std::string b = CopyFixture(fixture::kSampleBounce, "B.scr");
    const std::string c = CopyFixture(fixture::kSampleTiles, "C.scr");
    StoreNoSavers();
    const std::vector<std::string> round = {b, a, c};
    for (size_t i = 0; i < round.size(); ++i)
        RawSetString(kRoundKey, Numbered("%03u", i), round[i]);
    RawSetDword(kKey, "ShuffleRoundShown", 2);

    SSSettings settings = Loaded();
    settings.GetSavers() = ListOf({c, a});
    settings.Save();
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(RawValues(kRoundKey), (Values{{"000", a}, {"001", c}}));
    EXPECT_EQ(RawDword("ShuffleRoundShown"), 1u);

    RawSetString(kRoundKey, "002", a);
    settings.Save();
    EXPECT_FALSE(RawExists(kRoundKey)) << "a saver named twice";
}

// A list write stopped at each step, then the next one too: readers find old or new, whole.
TEST_F(SSSettingsTest, ListsStoppedAtAnyStepReadOldOrNewWhole)
{
    const std::string f1 = m_folder.MakeFolder("F1"), f2 = m_folder.MakeFolder("F2");
    const std::string a = CopyFixture(fixture::kSampleAurora, "F1\\A.scr");
    const std::string b = CopyFixture(fixture::kSampleBounce, "F2\\B.scr");
    using Lists = std::pair<std::vector<std::string>, std::vector<std::string>>;
    const std::vector<Lists> writes = {{{f1}, {a}}, {{f2, f1}, {b, a}}, {{f1, f2}, {b}}};
    const auto read = [] {
        const SSSettings settings = Loaded();
        return Lists{Strings(settings.GetFolders()), Strings(settings.GetSavers())};
    };
    size_t nFirstSteps = 0;
    for (bool bFirstDone = false; !bFirstDone; ++nFirstSteps) {
        bool bSecondDone = false;
        for (size_t nSecondSteps = 0; !bSecondDone; ++nSecondSteps) {
            settingstest::RawDelete(kKey);
            ASSERT_TRUE(StoredLists::Write(ListOf(writes[0].first), ListOf(writes[0].second)));
            bFirstDone =
                StoredLists::Write(ListOf(writes[1].first), ListOf(writes[1].second), nFirstSteps);
            const Lists first = read();
            ASSERT_TRUE(first == writes[0] || first == writes[1]) << nFirstSteps << " steps";
            ASSERT_TRUE(first == writes[1] || !bFirstDone);
            bSecondDone =
                StoredLists::Write(ListOf(writes[2].first), ListOf(writes[2].second), nSecondSteps);
            const Lists second = read();
            ASSERT_TRUE(second == first || second == writes[2])
                << nFirstSteps << " then " << nSecondSteps << " steps";
        }
        // Done, the old names hold the lists and nothing is left beside them.
        EXPECT_EQ(RawValues(kSaversKey).size(), 1u);
        EXPECT_FALSE(RawQuery(kKey, "ListsNext").exists ||
                     RawExists(std::string(kSaversKey) + "Next"));
    }
    EXPECT_GT(nFirstSteps, 8u) << "the write did not stop at every step";
}

TEST_F(SSSettingsTest, NumbersAreTakenByTheirBytesWhateverTheirType)
{
    StoreNoSavers();
    RawSetDword(kKey, "ShuffleSavers", 7);
    RawSetDword(kKey, "ShuffleDelay", 0);
    RawSet(kKey, "ShowDesktop", REG_BINARY, std::string("\x01\x00", 2));
    RawSetDword(kKey, "RecurseSaverFolders", 0x100);
    SSSettings settings = Loaded();
    EXPECT_TRUE(settings.GetShuffleSavers());
    EXPECT_EQ(settings.GetShuffleDelay(), 0u) << "a stored 0 is kept, not replaced by 5";
    EXPECT_TRUE(settings.GetShowDesktop());
    EXPECT_TRUE(settings.GetRecurseSaverFolders());
    settings.Save();
    EXPECT_EQ(RawDword("ShuffleSavers"), 1u);
    EXPECT_EQ(RawDword("ShuffleDelay"), 0u);
    EXPECT_EQ(RawDword("ShowDesktop"), 1u);
    EXPECT_EQ(RawDword("RecurseSaverFolders"), 1u) << "written back as loaded, as 1";

    // Two bytes are a number with zero high bytes; nine bytes fail and count as absent.
    RawSet(kKey, "ShuffleDelay", REG_BINARY, std::string("\x0F\x01", 2));
    RawSet(kKey, "ShuffleSavers", REG_BINARY,
           std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
    RawSet(kKey, "ShowDesktop", REG_DWORD, std::string(4, '\0'));
    EXPECT_EQ(Loaded().GetShuffleDelay(), 0x10Fu);
    EXPECT_FALSE(Loaded().GetShuffleSavers());
    EXPECT_FALSE(Loaded().GetShowDesktop());
    RawSet(kKey, "ShuffleDelay", REG_BINARY,
           std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
    EXPECT_EQ(Loaded().GetShuffleDelay(), 5u);
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "ShuffleDelay");
    EXPECT_EQ(Loaded().GetShuffleDelay(), 5u);
}

// MonitorMode chooses a mode only as a REG_DWORD of a known number; anything else reads as
// one saver over all monitors, and Save writes the mode as a REG_DWORD.
TEST_F(SSSettingsTest, MonitorModeIsAKnownDwordOrOneOverAll)
{
    StoreNoSavers();
    EXPECT_EQ(Loaded().GetMonitorMode(), MonitorMode::OneOverAll) << "absent";
    const std::pair<DWORD, MonitorMode> numbers[] = {{0, MonitorMode::OneOverAll},
                                                     {1, MonitorMode::DifferentOnEach},
                                                     {2, MonitorMode::SameOnEach},
                                                     {3, MonitorMode::OneOverAll},
                                                     {0xFFFFFFFF, MonitorMode::OneOverAll}};
    for (const auto& [number, mode] : numbers) {
        RawSetDword(kKey, "MonitorMode", number);
        EXPECT_EQ(Loaded().GetMonitorMode(), mode) << number;
    }
    RawSet(kKey, "MonitorMode", REG_BINARY, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(Loaded().GetMonitorMode(), MonitorMode::OneOverAll) << "REG_BINARY";
    RawSetString(kKey, "MonitorMode", "2");
    EXPECT_EQ(Loaded().GetMonitorMode(), MonitorMode::OneOverAll) << "REG_SZ";

    SSSettings settings = Loaded();
    settings.SetMonitorMode(MonitorMode::SameOnEach);
    settings.Save();
    EXPECT_EQ(RawDword("MonitorMode"), 2u);
    EXPECT_EQ(Loaded().GetMonitorMode(), MonitorMode::SameOnEach);
}

// FadeMs: a REG_DWORD is the fade's length, capped at the longest; absent or of another type
// it reads as the default; Save writes it as a REG_DWORD.
TEST_F(SSSettingsTest, FadeMsIsACappedDwordOrTheDefault)
{
    StoreNoSavers();
    EXPECT_EQ(Loaded().GetFadeMs(), kDefaultFadeMs) << "absent";
    const std::pair<DWORD, DWORD> lengths[] = {{0, 0},
                                               {1, 1},
                                               {kMaxFadeMs, kMaxFadeMs},
                                               {kMaxFadeMs + 1, kMaxFadeMs},
                                               {0xFFFFFFFF, kMaxFadeMs}};
    for (const auto& [stored, length] : lengths) {
        RawSetDword(kKey, "FadeMs", stored);
        EXPECT_EQ(Loaded().GetFadeMs(), length) << stored;
    }
    RawSet(kKey, "FadeMs", REG_BINARY, std::string("\x00\x00\x00\x00", 4));
    EXPECT_EQ(Loaded().GetFadeMs(), kDefaultFadeMs) << "REG_BINARY";
    RawSetString(kKey, "FadeMs", "0");
    EXPECT_EQ(Loaded().GetFadeMs(), kDefaultFadeMs) << "REG_SZ";

    SSSettings settings = Loaded();
    settings.SetFadeMs(0);
    settings.Save();
    EXPECT_EQ(RawDword("FadeMs"), 0u);
    EXPECT_EQ(Loaded().GetFadeMs(), 0u);
}

TEST_F(SSSettingsTest, StoredFoldersMustNameFoldersAsTheyStand)
{
    StoreNoSavers();
    const std::string kept = m_folder.MakeFolder("Kept");
    const std::string other = m_folder.MakeFolder("Other");
    const std::string file = m_folder.WriteText("File", "x");
    char drive[] = "C:\\";
    drive[0] = settingstest::LowerWindowsDirectory()[0];
    const std::vector<std::string> stored = {
        m_folder.PathOf("Missing"),
        other + "\\",
        kept,
        m_folder.PathOf("Ke*"),
        m_folder.PathOf("K?pt"),
        file,
        std::string(drive, 2),
        drive,
        other,
    };
    for (size_t i = 0; i < stored.size(); ++i)
        RawSetString(kFoldersKey, Numbered("%02u", i), stored[i]);
    // A folder that cannot be seen now stays, in its place: its drive may be away.
    EXPECT_EQ(Strings(Loaded().GetFolders()),
              (std::vector<std::string>{m_folder.PathOf("Missing"), kept, drive, other}));

    // Nothing usable: the two default folders.
    settingstest::RawDelete(kFoldersKey);
    RawSetString(kFoldersKey, "00", file);
    RawSetString(kFoldersKey, "01", other + "\\");
    const std::vector<std::string> defaults = {settingstest::LowerWindowsDirectory(),
                                               settingstest::LowerSystemDirectory()};
    EXPECT_EQ(Strings(Loaded().GetFolders()), defaults);
    settingstest::RawDelete(kFoldersKey);
    RawSetString(kFoldersKey, "00", "");
    EXPECT_EQ(Strings(Loaded().GetFolders()), defaults);
}

TEST_F(SSSettingsTest, StoredSaversAreCheckedButNeverSearched)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string a = CopyFixture(fixture::kSampleAurora, "Savers\\A.scr");
    const std::string unlisted = CopyFixture(fixture::kSampleTiles, "Savers\\Unlisted.scr");
    const std::string outside = CopyFixture(fixture::kSampleBounce, "Elsewhere\\Outside.scr");
    const std::string self = m_folder.CopyIn(settingstest::ThisProgramPath(), "Savers\\Self.scr");
    const std::vector<std::string> stored = {
        m_folder.PathOf("Savers\\Missing.scr"),
        outside,
        m_folder.WriteText("Savers\\Text.scr", "text"),
        m_folder.MakeFolder("Savers\\Folder.scr"),
        self,
        a,
        CopyFixture(fixture::kSampleAurora, "Savers\\A.exe"),
    };
    RawSetString(kFoldersKey, "00", folder);
    for (size_t i = 0; i < stored.size(); ++i)
        RawSetString(kSaversKey, Numbered("%03u", i), stored[i]);

    // Kept in stored order: any folder, a saver that cannot be seen now, and even a file
    // that carries this system's own description; only what is no saver file goes.
    EXPECT_EQ(Strings(Loaded().GetSavers()),
              (std::vector<std::string>{stored[0], outside, self, a}));

    // Nothing valid stored: an empty selection, not a search of the folder.
    settingstest::RawDelete(kSaversKey);
    RawSetString(kSaversKey, "000", stored[2]);
    EXPECT_TRUE(Loaded().GetSavers().IsEmpty());
    static_cast<void>(unlisted);
}

TEST_F(SSSettingsTest, EmptySelectionRemovesTheSubkeyAndSelectsEverythingAgain)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string a = CopyFixture(fixture::kSampleAurora, "Savers\\A.scr");
    CopyFixture(fixture::kSampleTiles, "Savers\\B.scr");
    RawSetString(kFoldersKey, "00", folder);
    RawSetString(kSaversKey, "000", a);

    SSSettings settings = Loaded();
    ASSERT_EQ(Strings(settings.GetSavers()), std::vector<std::string>{a});
    settings.GetSavers().RemoveAll();
    settings.Save();
    EXPECT_TRUE(RawExists(kFoldersKey));
    EXPECT_FALSE(RawExists(kSaversKey)) << "an empty selection left its subkey";

    PathList everything;
    FindSaversInFolder(everything, folder, false);
    ASSERT_EQ(everything.GetCount(), 2u);
    EXPECT_EQ(Strings(Loaded().GetSavers()), Strings(everything));
}

TEST_F(SSSettingsTest, WithNoSelectionTheStoredRecursionDecidesTheSearch)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string top = CopyFixture(fixture::kSampleAurora, "Savers\\Top.scr");
    const std::string nested = CopyFixture(fixture::kSampleTiles, "Savers\\Sub\\Nested.scr");
    RawSetString(kFoldersKey, "00", folder);

    EXPECT_EQ(Strings(Loaded().GetSavers()), std::vector<std::string>{top});
    RawSetDword(kKey, "RecurseSaverFolders", 1);
    EXPECT_EQ(Strings(Loaded().GetSavers()), (std::vector<std::string>{top, nested}));
}

TEST_F(SSSettingsTest, HostileValuesLoadSafelyAndSaveRewritesACleanState)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string a = CopyFixture(fixture::kSampleAurora, "Savers\\A.scr");
    const std::string huge(64 * 1024, 'h');
    const std::string binary = std::string("\x01\x02\x00\xff", 4) + std::string(300, '\x7f');
    RawSet(kKey, "ShuffleSavers", REG_SZ, huge);
    RawSet(kKey, "ShuffleDelay", REG_BINARY, "");
    RawSet(kKey, "ShowDesktop", REG_MULTI_SZ, std::string("1\0\0", 3));
    RawSet(kKey, "RecurseSaverFolders", REG_QWORD, std::string(8, '\x01'));
    RawSet(kKey, "LastStarted", REG_BINARY, binary);
    const std::vector<std::pair<std::string, std::string>> garbage = {
        {"", huge}, {"zz", ""}, {"-1", binary}, {"4294967296", huge + '\0'}};
    for (const auto& [name, data] : garbage) {
        RawSet(kFoldersKey, name, REG_SZ, data);
        RawSet(kSaversKey, name, REG_BINARY, data);
    }
    RawSetDword(kFoldersKey, "00", 1);
    RawSet(kFoldersKey, "01", REG_EXPAND_SZ, folder);
    for (size_t i = 0; i < 2000; ++i)
        RawSet(kSaversKey, "x" + std::to_string(i), REG_NONE, binary);
    RawSetString(kSaversKey, "002", a);

    SSSettings settings = Loaded();
    EXPECT_FALSE(settings.GetShuffleSavers()) << "64 KiB of text is no number";
    EXPECT_EQ(settings.GetShuffleDelay(), 0u) << "no bytes: a number with every byte zero";
    EXPECT_TRUE(settings.GetShowDesktop()) << "three bytes read as a number";
    EXPECT_FALSE(settings.GetRecurseSaverFolders()) << "eight bytes are no 32-bit number";
    EXPECT_EQ(Strings(settings.GetFolders()), std::vector<std::string>{folder});
    EXPECT_EQ(Strings(settings.GetSavers()), std::vector<std::string>{a});

    settings.Save();
    EXPECT_EQ(RawValues(kFoldersKey),
              (std::vector<std::pair<std::string, std::string>>{{"00", folder}}));
    EXPECT_EQ(RawValues(kSaversKey),
              (std::vector<std::pair<std::string, std::string>>{{"000", a}}));
    for (const char* name : {"ShuffleSavers", "ShuffleDelay", "ShowDesktop", "RecurseSaverFolders"})
        EXPECT_EQ(RawQuery(kKey, name).type, static_cast<DWORD>(REG_DWORD)) << name;
    EXPECT_EQ(RawDword("ShowDesktop"), 1u);
    EXPECT_EQ(RawQuery(kKey, "LastStarted").data, binary) << "not the dialog's to rewrite";
}

TEST_F(SSSettingsTest, AKeyWithoutAccessReadsAsAbsentAndSaveLosesNothing)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string a = CopyFixture(fixture::kSampleAurora, "Savers\\A.scr");
    RawSetDword(kKey, "ShuffleSavers", 1);
    RawSetDword(kKey, "ShuffleDelay", 42);
    RawSetString(kFoldersKey, "00", folder);
    RawSetString(kSaversKey, "000", a);

    // An empty DACL grants nobody anything; the owner keeps only the right to change it.
    ACL emptyDacl;
    ASSERT_TRUE(::InitializeAcl(&emptyDacl, sizeof(emptyDacl), ACL_REVISION));
    ASSERT_TRUE(SetSettingsKeyDacl(&emptyDacl));
    HKEY hProbe = nullptr;
    const bool bEnforced =
        ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &hProbe) != ERROR_SUCCESS;
    if (hProbe != nullptr)
        ::RegCloseKey(hProbe);

    if (bEnforced) {
        SSSettings settings = Loaded();
        EXPECT_FALSE(settings.GetShuffleSavers());
        EXPECT_EQ(settings.GetShuffleDelay(), 5u);
        // The lists are keys of their own, opened by their full paths as ever.
        EXPECT_EQ(Strings(settings.GetFolders()), std::vector<std::string>{folder});
        EXPECT_EQ(Strings(settings.GetSavers()), std::vector<std::string>{a});
        settings.SetShuffleDelay(7);
        settings.Save();
    }
    ASSERT_TRUE(SetSettingsKeyDacl(nullptr));
    if (!bEnforced)
        GTEST_SKIP() << "this registry does not enforce a key's DACL";
    EXPECT_EQ(RawDword("ShuffleDelay"), 42u) << "nothing could be written";
    EXPECT_EQ(Strings(Loaded().GetSavers()), std::vector<std::string>{a}) << "selection lost";
    EXPECT_EQ(Strings(Loaded().GetFolders()), std::vector<std::string>{folder}) << "folders lost";
}

TEST_F(SSSettingsTest, OverlongValuesAreCutInsideTheBuffer)
{
    const std::string folder = m_folder.MakeFolder("Savers");
    const std::string a = CopyFixture(fixture::kSampleAurora, "Savers\\A.scr");
    const std::string junk(400, 'j');
    // The text ends at its NUL well inside 260 bytes; the data goes on far beyond them.
    RawSet(kFoldersKey, "00", REG_SZ, folder + '\0' + junk);
    RawSet(kFoldersKey, "01", REG_SZ, junk);
    RawSet(kSaversKey, "000", REG_SZ, junk);
    RawSet(kSaversKey, "001", REG_SZ, a + '\0' + junk);
    RawSet(kSaversKey, "002", REG_SZ, std::string(MAX_PATH, 'k'));
    // Too long for a path, though its first 259 characters name a saver: dropped, not cut.
    const size_t cchName = MAX_PATH - 1 - (folder.length() + 1);
    const std::string longest =
        CopyFixture(fixture::kSampleTiles, "Savers\\" + std::string(cchName - 4, 'L') + ".scr");
    ASSERT_EQ(longest.length(), static_cast<size_t>(MAX_PATH - 1));
    RawSet(kSaversKey, "003", REG_SZ, longest + "x");
    SSSettings settings = Loaded();
    EXPECT_EQ(Strings(settings.GetFolders()), std::vector<std::string>{folder});
    EXPECT_EQ(Strings(settings.GetSavers()), std::vector<std::string>{a});
}

TEST_F(SSSettingsTest, LongListsKeepTheirStoredOrder)
{
    // 101 folders: "00" ... "99", "100", put in an order unlike their names'.
    constexpr size_t kFolders = 101;
    std::vector<std::string> folders;
    for (size_t i = 0; i < kFolders; ++i)
        folders.push_back(m_folder.MakeFolder("F" + std::to_string((i * 37) % kFolders)));
    // 20,000 savers, each naming one of a few files in a pattern that any reordering breaks.
    constexpr size_t kFiles = 17;
    constexpr size_t kSavers = 20000;
    std::vector<std::string> files;
    for (size_t i = 0; i < kFiles; ++i)
        files.push_back(CopyFixture(fixture::kExitAtOnce, "S\\" + std::to_string(i) + ".scr"));
    std::vector<std::string> savers;
    for (size_t i = 0; i < kSavers; ++i)
        savers.push_back(files[(i * 7 + i / kFiles) % kFiles]);

    SSSettings settings;
    settings.GetFolders() = ListOf(folders);
    settings.GetSavers() = ListOf(savers);
    settings.Save();

    const auto storedFolders = RawValues(kFoldersKey);
    ASSERT_EQ(storedFolders.size(), kFolders);
    EXPECT_EQ(RawQuery(kFoldersKey, "99").data, folders[99] + '\0');
    EXPECT_EQ(RawQuery(kFoldersKey, "100").data, folders[100] + '\0');
    EXPECT_EQ(RawValues(kSaversKey).size(), kSavers);
    EXPECT_EQ(RawQuery(kSaversKey, "999").data, savers[999] + '\0');
    EXPECT_EQ(RawQuery(kSaversKey, "1000").data, savers[1000] + '\0');
    EXPECT_EQ(RawQuery(kSaversKey, "19999").data, savers[19999] + '\0');

    SSSettings loaded = Loaded();
    EXPECT_EQ(Strings(loaded.GetFolders()), folders);
    EXPECT_EQ(Strings(loaded.GetSavers()), savers);

    // Saved again: the same values under the same names.
    const auto storedSavers = RawValues(kSaversKey);
    loaded.Save();
    EXPECT_EQ(RawValues(kSaversKey), storedSavers);
}

TEST_F(SSSettingsTest, NamesOtherThanNumbersFollowInEnumerationOrder)
{
    StoreNoSavers();
    const std::string first = m_folder.MakeFolder("First");
    const std::string second = m_folder.MakeFolder("Second");
    const std::string byHand = m_folder.MakeFolder("ByHand");
    // As text "(" sorts before the digits and "10" before "9".
    RawSetString(kFoldersKey, "(by hand)", byHand);
    RawSetString(kFoldersKey, "10", second);
    RawSetString(kFoldersKey, "9", first);
    EXPECT_EQ(Strings(Loaded().GetFolders()), (std::vector<std::string>{first, second, byHand}));
}

TEST_F(SSSettingsTest, SelectedMeansTheSameFileByAnyName)
{
    const std::string a = CopyFixture(fixture::kSampleAurora, "Long Saver Name.scr");
    const std::string b = CopyFixture(fixture::kSampleTiles, "Other Saver Name.scr");
    char shortPath[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA(a.c_str(), shortPath, MAX_PATH), 0u);
    std::string upper = a;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    });

    SSSettings settings;
    EXPECT_FALSE(settings.IsSaverSelected(a));
    settings.GetSavers() = ListOf({m_folder.PathOf("Gone.scr"), shortPath});
    EXPECT_TRUE(settings.IsSaverSelected(a));
    EXPECT_TRUE(settings.IsSaverSelected(upper));
    EXPECT_TRUE(settings.IsSaverSelected(shortPath));
    EXPECT_FALSE(settings.IsSaverSelected(b));
}

// The only test of this program that calls GetSettings: the object of the process.
TEST_F(SSSettingsTest, GetSettingsLoadsOnceAndKeepsItsObject)
{
    StoreNoSavers();
    RawSetDword(kKey, "ShuffleDelay", 42);
    SSSettings& settings = GetSettings();
    EXPECT_EQ(settings.GetShuffleDelay(), 42u);
    RawSetDword(kKey, "ShuffleDelay", 43);
    EXPECT_EQ(&GetSettings(), &settings);
    EXPECT_EQ(GetSettings().GetShuffleDelay(), 42u) << "a later registry change was seen";
}

}  // namespace

// The records of savers that misbehaved: counted in a row, whatever the fault and of this
// fault, cleared by a good run; crashes told from quits by their exit codes. (A changed
// file: see the end-to-end run-mode test.)
TEST_F(SSSettingsTest, SaverHealthCountsFailuresInARowUntilAGoodRun)
{
    const std::string crash = CopyFixture(fixture::kCrash, "Crash.scr");
    const std::string quit = CopyFixture(fixture::kExitAtOnce, "Quit.scr");
    EXPECT_TRUE(IsExceptionExitCode(0xC0000005));
    EXPECT_TRUE(IsExceptionExitCode(0x80000003)) << "a breakpoint";
    EXPECT_FALSE(IsExceptionExitCode(0xFFFFFFFF)) << "a program's -1";
    EXPECT_FALSE(IsExceptionExitCode(1));
    {
        SaverHealth health(true);
        health.NoteGoodRun(crash);
        EXPECT_FALSE(RawExists(kHealthKey)) << "nothing to report, nothing written";
        health.NoteFailure(crash, SaverFault::QuitAtOnce, true, 0);
        health.NoteFailure(crash, SaverFault::Crashed, true, 0xC0000005);
        health.NoteFailure(quit, SaverFault::CouldNotStart, false, 0);
        health.NoteGoodRun(quit);
        health.NoteFailure(m_folder.PathOf("Away.scr"), SaverFault::CouldNotStart, false, 0);
        EXPECT_FALSE(health.IsLeftOut(crash));
        health.NoteFailure(crash, SaverFault::Crashed, true, 0xC0000005);
    }
    const SaverHealth health(false);
    SaverHealthRecord record;
    ASSERT_TRUE(health.Find(crash, &record));
    EXPECT_EQ(record.m_fault, SaverFault::Crashed);
    EXPECT_EQ(record.m_nFailedInRow, 3u);
    EXPECT_EQ(record.m_nSameInRow, 2u);
    EXPECT_TRUE(record.m_bHasExitCode);
    EXPECT_EQ(record.m_dwExitCode, 0xC0000005u);
    EXPECT_TRUE(health.IsLeftOut(crash));
    EXPECT_EQ(Strings(health.WithoutLeftOut(ListOf({quit, crash}))),
              std::vector<std::string>{quit});
    EXPECT_FALSE(health.Find(quit, nullptr)) << "the good run cleared it";
    EXPECT_EQ(RawQuery(kHealthKey, crash).type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(RawQuery(kHealthKey, crash).data.size(), kSaverHealthRecordSize);
    EXPECT_FALSE(RawQuery(kHealthKey, quit).exists);
    EXPECT_FALSE(RawQuery(kHealthKey, m_folder.PathOf("Away.scr")).exists)
        << "not seen, not failed";

    // "Cannot preview" is stored as a quit, which an older version reads, with a mark beside
    // the record; the next fault of another kind takes the mark away.
    SaverHealth(true).NoteFailure(quit, SaverFault::CannotPreview, false, 0);
    ASSERT_TRUE(SaverHealth(false).Find(quit, &record));
    EXPECT_EQ(record.m_fault, SaverFault::CannotPreview);
    const std::string stored = RawQuery(kHealthKey, quit).data;
    ASSERT_TRUE(SaverHealthRecord::FromBytes(reinterpret_cast<const BYTE*>(stored.data()),
                                             stored.size(), &record));
    EXPECT_EQ(record.m_fault, SaverFault::QuitAtOnce);
    SaverHealth(true).NoteFailure(quit, SaverFault::QuitAtOnce, true, 1);
    ASSERT_TRUE(SaverHealth(false).Find(quit, &record));
    EXPECT_EQ(record.m_fault, SaverFault::QuitAtOnce);
}

// Stored values this program did not write count for nothing beside a clean record that
// does; tidying drops them, the records of files that are gone, and the oldest beyond the
// bound.
TEST_F(SSSettingsTest, SaverHealthTrustsOnlyItsOwnRecords)
{
    const std::string control = CopyFixture(fixture::kCrash, "Control.scr");
    SaverHealthRecord left;
    for (DWORD i = 0; i < kLeaveOutAfterFailures; ++i)
        left.AddFailure(SaverFault::Crashed, true, 0xC0000005, 1000 + i);
    left.StampFile(control);
    const std::vector<BYTE> clean = left.ToBytes();
    const std::string cleanData(clean.begin(), clean.end());
    RawSet(kHealthKey, control, REG_BINARY, cleanData);

    // Another type, an unknown fault and a huge count: see the end-to-end run-mode test.
    const std::string longer = CopyFixture(fixture::kSampleAurora, "Longer.scr");
    SaverHealthRecord stamped = left;
    stamped.StampFile(longer);
    const std::vector<BYTE> longerData = stamped.ToBytes();
    RawSet(kHealthKey, longer, REG_BINARY,
           std::string(longerData.begin(), longerData.end()) + '\0');
    RawSet(kHealthKey, "Control.scr", REG_BINARY, cleanData);
    RawSet(kHealthKey, "", REG_BINARY, cleanData);
    for (size_t i = 0; i < 1500; ++i)
        RawSet(kHealthKey, "C:\\gone\\" + std::to_string(i) + ".scr", REG_BINARY, cleanData);

    {
        const SaverHealth health(false);
        EXPECT_TRUE(health.IsLeftOut(control));
        EXPECT_FALSE(health.Find(longer, nullptr)) << "one byte more than a record";
        EXPECT_FALSE(health.Find("Control.scr", nullptr)) << "a name that is not a path";
        EXPECT_FALSE(IsSaverHealthName("Control.scr"));
        EXPECT_TRUE(IsSaverHealthName("\\\\server\\share\\A.scr"));
    }
    // A selected saver that cannot be seen now keeps its record for when it is back.
    SaverHealth(true).Tidy(ListOf({"C:\\gone\\7.scr"}));
    EXPECT_EQ(RawValues(kHealthKey).size(), 2u);
    EXPECT_EQ(RawQuery(kHealthKey, control).data, cleanData);
    EXPECT_EQ(RawQuery(kHealthKey, "C:\\gone\\7.scr").data, cleanData);

    // Beyond the bound the oldest go: the control is the oldest of these.
    std::vector<std::string> newer;
    for (DWORD i = 0; i < kMaxSaverHealthEntries; ++i) {
        SaverHealthRecord record = left;
        newer.push_back(m_folder.WriteText("Bound\\" + std::to_string(i) + ".scr", "x"));
        record.m_ftWhen = 5000 + i;
        record.StampFile(newer.back());
        const std::vector<BYTE> bytes = record.ToBytes();
        RawSet(kHealthKey, newer.back(), REG_BINARY, std::string(bytes.begin(), bytes.end()));
    }
    SaverHealth health(true);
    EXPECT_EQ(health.GetEntryCount(), kMaxSaverHealthEntries + 2);
    health.Tidy(PathList());
    EXPECT_EQ(health.GetEntryCount(), kMaxSaverHealthEntries);
    EXPECT_FALSE(RawQuery(kHealthKey, control).exists);
    EXPECT_TRUE(health.IsLeftOut(newer.front()));
}
