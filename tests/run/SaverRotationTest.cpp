#include "run/SaverRotation.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

PathList MakeList(const std::vector<std::string>& names)
{
    PathList list;
    for (const std::string& name : names)
        list.Add(AnsiString("C:\\Savers\\" + name + ".scr"));
    return list;
}

std::vector<std::string> Names(const PathList& list)
{
    std::vector<std::string> names;
    for (const AnsiString& path : list) {
        const std::string& s = path.str();
        const size_t slash = s.rfind('\\');
        names.push_back(s.substr(slash + 1, s.size() - slash - 1 - 4));
    }
    return names;
}

std::vector<std::string> ShuffledFromOne(const std::vector<std::string>& names)
{
    PathList list = MakeList(names);
    DWORD state = 1;
    ShuffleEntries(list, state);
    return Names(list);
}

AnsiString LastStarted()
{
    char buffer[MAX_PATH] = {};
    if (!RegReadValue(kSettingsKey, kLastStartedValue, buffer, MAX_PATH - 1))
        return AnsiString();
    return AnsiString(buffer);
}

std::string Path(const std::string& name) { return "C:\\Savers\\" + name + ".scr"; }

}  // namespace

TEST(ShuffleGenerator, FollowsTheSequenceOfItsState)
{
    DWORD state = 1;
    EXPECT_EQ(DrawShuffleValue(state), 41u);
    EXPECT_EQ(state, 2745024u);
    EXPECT_EQ(DrawShuffleValue(state), 18467u);
    EXPECT_EQ(DrawShuffleValue(state), 6334u);
    // The state wraps modulo 2^32 and the value keeps to 15 bits.
    state = 0xFFFFFFFFu;
    const unsigned value = DrawShuffleValue(state);
    EXPECT_EQ(state, 0xFFFFFFFFu * 214013u + 2531011u);
    EXPECT_LE(value, 32767u);
}

TEST(ShuffleGenerator, ShufflesKnownOrdersFromStateOne)
{
    EXPECT_EQ(ShuffledFromOne({"P", "Q"}), (std::vector<std::string>{"Q", "P"}));
    EXPECT_EQ(ShuffledFromOne({"P", "Q", "R"}), (std::vector<std::string>{"R", "P", "Q"}));
    EXPECT_EQ(ShuffledFromOne({"P", "Q", "R", "S"}),
              (std::vector<std::string>{"Q", "S", "R", "P"}));
    EXPECT_EQ(ShuffledFromOne({"P", "Q", "R", "S", "T"}),
              (std::vector<std::string>{"Q", "T", "S", "R", "P"}));
}

TEST(ShuffleGenerator, DrawsOncePerEntryButTheLast)
{
    PathList one = MakeList({"P"});
    DWORD state = 1;
    ShuffleEntries(one, state);
    EXPECT_EQ(state, 1u);

    PathList five = MakeList({"P", "Q", "R", "S", "T"});
    DWORD expected = 1;
    for (int i = 0; i < 4; ++i)
        DrawShuffleValue(expected);
    state = 1;
    ShuffleEntries(five, state);
    EXPECT_EQ(state, expected);
}

class SaverRotationTest : public testing::Test {
protected:
    ScratchRegistry m_registry;
};

TEST_F(SaverRotationTest, EmptyLastStartedTakesTheFirstShuffledEntryAndRecordsIt)
{
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
    EXPECT_EQ(Names(rotation.GetEntries()), (std::vector<std::string>{"R", "P", "Q"}));
    EXPECT_EQ(rotation.GetCount(), 3u);
    EXPECT_EQ(rotation.CurrentPath().str(), Path("R"));
    EXPECT_EQ(LastStarted().str(), Path("R"));
}

TEST_F(SaverRotationTest, LastStartedInOtherCaseMovesToTheSecondEntry)
{
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, "c:\\SAVERS\\r.SCR"));
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
    EXPECT_EQ(rotation.GetIndex(), 1u);
    EXPECT_EQ(rotation.CurrentPath().str(), Path("P"));
    EXPECT_EQ(LastStarted().str(), Path("P"));
}

TEST_F(SaverRotationTest, RunsWithTheSameStateAlternateBetweenTwoEntries)
{
    // What every run shows when the generator is never seeded.
    std::vector<std::string> firsts;
    for (int run = 0; run < 4; ++run) {
        SaverRotation rotation;
        rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
        firsts.push_back(Names(rotation.GetEntries())[rotation.GetIndex()]);
    }
    EXPECT_EQ(firsts, (std::vector<std::string>{"R", "P", "R", "P"}));
}

TEST_F(SaverRotationTest, SeededRunsVaryTheFirstSaverAndNeverRepeatIt)
{
    const PathList savers = MakeList({"P", "Q", "R", "S", "T"});
    std::set<std::string> firsts;
    AnsiString previous;
    for (int run = 0; run < 40; ++run) {
        SaverRotation rotation;
        rotation.Prepare(savers, MakeShuffleSeed());
        // Runs of the product lie far apart; here the counters must move between seeds.
        ::Sleep(1);
        const AnsiString first = rotation.CurrentPath();
        EXPECT_NE(first, previous) << "run " << run;
        EXPECT_EQ(LastStarted(), first);
        firsts.insert(first.str());
        previous = first;
    }
    EXPECT_GT(firsts.size(), 2u);
}

TEST_F(SaverRotationTest, AdvanceFollowsTheShuffledOrderAndWraps)
{
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, Path("R")));
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
    std::vector<std::string> shown;
    for (int i = 0; i < 5; ++i) {
        shown.push_back(rotation.CurrentPath().str());
        rotation.Advance();
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{Path("P"), Path("Q"), Path("R"), Path("P"), Path("Q")}));
    // Only Prepare records the first saver; stepping on leaves it.
    EXPECT_EQ(LastStarted().str(), Path("P"));
}

TEST_F(SaverRotationTest, OneSaverIsChosenEvenWhenItWasLastStarted)
{
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, Path("P")));
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P"}), 1);
    EXPECT_EQ(rotation.CurrentPath().str(), Path("P"));
    rotation.Advance();
    EXPECT_EQ(rotation.CurrentPath().str(), Path("P"));
    EXPECT_EQ(LastStarted().str(), Path("P"));
}

TEST_F(SaverRotationTest, EveryEntryEqualToLastStartedStillGivesAnEntry)
{
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, Path("P")));
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P", "P", "P"}), 1);
    ASSERT_LT(rotation.GetIndex(), rotation.GetCount());
    EXPECT_EQ(rotation.CurrentPath().str(), Path("P"));
}

TEST_F(SaverRotationTest, EmptyListLeavesTheRecordedSaverAlone)
{
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, Path("P")));
    SaverRotation rotation;
    rotation.Prepare(PathList(), 1);
    EXPECT_TRUE(rotation.IsEmpty());
    rotation.Advance();
    EXPECT_EQ(rotation.GetIndex(), 0u);
    EXPECT_EQ(LastStarted().str(), Path("P"));
}

TEST_F(SaverRotationTest, OverlongLastStartedCountsAsEmpty)
{
    const std::string overlong(300, 'x');
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, AnsiString(overlong)));
    SaverRotation rotation;
    rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
    EXPECT_EQ(rotation.GetIndex(), 0u);
    EXPECT_EQ(LastStarted().str(), Path("R"));
}
