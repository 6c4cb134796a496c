#include "run/SaverRotation.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/ShuffleRound.h"
#include "tests/settings/RegistryProbe.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

using settingstest::RawSet;
using settingstest::RawSetDword;
using settingstest::RawSetString;

namespace {

constexpr char kKey[] = "Software\\Brindlecraft\\Quillmix";
constexpr char kRoundKey[] = "Software\\Brindlecraft\\Quillmix\\ShuffleRound";

PathList MakeList(const std::vector<std::string>& names)
{
    PathList list;
    for (const std::string& name : names)
        list.Add(AnsiString("C:\\Savers\\" + name + ".scr"));
    return list;
}

std::string NameOf(const AnsiString& path)
{
    const std::string& s = path.str();
    const size_t slash = s.rfind('\\');
    return s.substr(slash + 1, s.size() - slash - 1 - 4);
}

std::vector<std::string> Names(const PathList& list)
{
    std::vector<std::string> names;
    for (const AnsiString& path : list)
        names.push_back(NameOf(path));
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

// What one run shows first, with a seed of its own.
std::string FirstOfARun(const PathList& savers)
{
    SaverRotation rotation;
    rotation.Prepare(savers, MakeShuffleSeed());
    // Runs of the product lie far apart; here the counters must move between seeds.
    ::Sleep(1);
    return NameOf(rotation.CurrentPath());
}

// Every whole round of the savers shown in turn holds each saver once, and no saver comes
// twice in a row, not even where one round ends and the next begins.
void ExpectWholeRounds(const std::vector<std::string>& shown, std::vector<std::string> savers)
{
    std::sort(savers.begin(), savers.end());
    for (size_t begin = 0; begin + savers.size() <= shown.size(); begin += savers.size()) {
        std::vector<std::string> round(shown.begin() + begin,
                                       shown.begin() + begin + savers.size());
        std::sort(round.begin(), round.end());
        EXPECT_EQ(round, savers) << "round from " << begin << ": " << testing::PrintToString(shown);
    }
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_NE(shown[i], shown[i - 1]) << i << ": " << testing::PrintToString(shown);
}

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

TEST_F(SaverRotationTest, RunsWithTheSameStateWalkThroughTheRoundThenShuffleANewOne)
{
    // What every run shows when the generator is never seeded: the round R, P, Q carries
    // on from run to run, and the next round, shuffled alike, may begin with R again
    // because Q was shown last.
    std::vector<std::string> firsts;
    for (int run = 0; run < 6; ++run) {
        SaverRotation rotation;
        rotation.Prepare(MakeList({"P", "Q", "R"}), 1);
        firsts.push_back(NameOf(rotation.CurrentPath()));
        EXPECT_EQ(LastStarted(), rotation.CurrentPath());
    }
    EXPECT_EQ(firsts, (std::vector<std::string>{"R", "P", "Q", "R", "P", "Q"}));
}

// A new round never begins with the saver shown last: after the round R, P, Q the order
// Q, P, R (shuffled from the state that follows two draws from 1) begins with P instead,
// in the next run as within a run.
TEST_F(SaverRotationTest, ANewRoundNeverBeginsWithTheSaverShownLast)
{
    DWORD afterTwoDraws = 1;
    DrawShuffleValue(afterTwoDraws);
    DrawShuffleValue(afterTwoDraws);
    const PathList savers = MakeList({"P", "Q", "R"});
    std::vector<std::string> firsts;
    for (DWORD state : {DWORD{1}, DWORD{1}, DWORD{1}, afterTwoDraws}) {
        SaverRotation rotation;
        rotation.Prepare(savers, state);
        firsts.push_back(NameOf(rotation.CurrentPath()));
    }
    EXPECT_EQ(firsts, (std::vector<std::string>{"R", "P", "Q", "P"}));

    RegDeleteKeyPath(kSettingsKey);
    SaverRotation rotation;
    rotation.Prepare(savers, 1);
    std::vector<std::string> shown;
    for (int i = 0; i < 4; ++i, rotation.Advance())
        shown.push_back(NameOf(rotation.CurrentPath()));
    EXPECT_EQ(shown, (std::vector<std::string>{"R", "P", "Q", "P"}));
}

TEST_F(SaverRotationTest, SeededRunsShowEverySaverOncePerRoundAndNeverOneTwiceInARow)
{
    const PathList savers = MakeList({"P", "Q", "R", "S", "T"});
    std::vector<std::string> firsts;
    for (int run = 0; run < 40; ++run) {
        firsts.push_back(FirstOfARun(savers));
        EXPECT_EQ(NameOf(LastStarted()), firsts.back());
    }
    ExpectWholeRounds(firsts, Names(savers));
    // Each round is shuffled from its run's seed: the rounds differ.
    std::set<std::vector<std::string>> rounds;
    for (size_t begin = 0; begin < firsts.size(); begin += 5)
        rounds.insert(std::vector<std::string>(firsts.begin() + begin, firsts.begin() + begin + 5));
    EXPECT_GT(rounds.size(), 1u);
}

// Switching walks on through the round, and the next run goes on where the last stopped;
// LastStarted still names each run's first saver.
TEST_F(SaverRotationTest, SwitchingWalksOnThroughTheRoundAndTheNextRunContinues)
{
    const PathList savers = MakeList({"P", "Q", "R", "S", "T"});
    std::vector<std::string> shown;
    for (int nShows : {3, 4, 1, 2}) {
        SaverRotation rotation;
        rotation.Prepare(savers, MakeShuffleSeed());
        ::Sleep(1);
        const AnsiString first = rotation.CurrentPath();
        for (int i = 0; i < nShows; ++i) {
            if (i > 0)
                rotation.Advance();
            shown.push_back(NameOf(rotation.CurrentPath()));
        }
        EXPECT_EQ(LastStarted(), first);
    }
    ExpectWholeRounds(shown, Names(savers));
}

// Between runs the selection loses a saver already shown and one still to show, and
// gains two: the round goes on without the first two and shows the two new ones among the
// savers it still has to show, at random places.
TEST_F(SaverRotationTest, SaversThatLeaveDropOutAndSaversThatJoinComeLaterInTheRound)
{
    const std::vector<std::string> before = {"P", "Q", "R", "S", "T"};
    std::set<size_t> joinedAt;
    for (int trial = 0; trial < 12; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        RegDeleteKeyPath(kSettingsKey);
        const std::string shown[] = {FirstOfARun(MakeList(before)), FirstOfARun(MakeList(before))};
        std::vector<std::string> ahead;
        for (const std::string& name : before)
            if (name != shown[0] && name != shown[1])
                ahead.push_back(name);
        std::vector<std::string> after = {"U"};
        for (const std::string& name : before)
            if (name != shown[0] && name != ahead[0])
                after.push_back(name);
        after.push_back("V");

        std::vector<std::string> rest;
        for (int run = 0; run < 4; ++run)
            rest.push_back(FirstOfARun(MakeList(after)));
        std::vector<std::string> restSorted = rest;
        std::sort(restSorted.begin(), restSorted.end());
        std::vector<std::string> expected = {ahead[1], ahead[2], "U", "V"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(restSorted, expected) << testing::PrintToString(rest);
        joinedAt.insert(
            static_cast<size_t>(std::find(rest.begin(), rest.end(), "U") - rest.begin()));
        // Then a new round of the new selection, not with the saver shown last.
        const std::string next = FirstOfARun(MakeList(after));
        EXPECT_NE(std::find(after.begin(), after.end(), next), after.end());
        EXPECT_NE(next, rest.back());
    }
    EXPECT_GT(joinedAt.size(), 1u);
}

// A stored round that is damaged in any way is never taken: the run begins a new round
// (from state 1: Q, T, S, R, P) and stores it whole. A clean round that shows T next
// comes first, to show that the others are refused for their damage alone.
TEST_F(SaverRotationTest, HostileStoredRoundsAreIgnoredAndRebuilt)
{
    // A whole round that shows T first when it is taken.
    const auto storeT = [] {
        const char* const order[] = {"T", "P", "Q", "R", "S"};
        for (size_t i = 0; i < 5; ++i)
            RawSetString(kRoundKey, "00" + std::to_string(i), Path(order[i]));
    };
    const auto noneShown = [] { RawSetDword(kKey, kShuffleRoundShownValue, 0); };
    const struct {
        const char* what;
        std::function<void()> store;
        const char* first;
    } cases[] = {
        {"a clean round", [&] { storeT(), noneShown(); }, "T"},
        {"an entry of another type",
         [&] { storeT(), RawSetDword(kRoundKey, "005", 5), noneShown(); }, "Q"},
        {"a path stored as binary",
         [&] { RawSet(kRoundKey, "000", REG_BINARY, Path("T")), noneShown(); }, "Q"},
        {"an entry longer than a path",
         [&] { storeT(), RawSetString(kRoundKey, "005", std::string(65536, 'x')), noneShown(); },
         "Q"},
        {"an empty entry", [&] { storeT(), RawSetString(kRoundKey, "005", ""), noneShown(); }, "Q"},
        {"a saver twice",
         [&] { storeT(), RawSetString(kRoundKey, "005", "c:\\savers\\t.SCR"), noneShown(); }, "Q"},
        {"paths never selected",
         [&] {
             RawSetString(kRoundKey, "000", "C:\\Elsewhere\\X.scr");
             RawSetString(kRoundKey, "001", "D:\\Y.scr");
             noneShown();
         },
         "Q"},
        {"names other than the numbers",
         [&] { storeT(), RawSetString(kRoundKey, "next", Path("S")), noneShown(); }, "Q"},
        {"a huge number shown",
         [&] { storeT(), RawSetDword(kKey, kShuffleRoundShownValue, 0xFFFFFFFFu); }, "Q"},
        {"the number shown as text",
         [&] { storeT(), RawSetString(kKey, kShuffleRoundShownValue, ""); }, "Q"},
        {"no number shown", [&] { storeT(); }, "Q"},
        {"an empty round",
         [&] {
             ::RegCloseKey(RegOpenKeyPath(AnsiString(kSettingsKey) + "\\ShuffleRound", true));
             noneShown();
         },
         "Q"},
    };
    const PathList savers = MakeList({"P", "Q", "R", "S", "T"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteKeyPath(kSettingsKey);
        c.store();
        SaverRotation rotation;
        rotation.Prepare(savers, 1);
        EXPECT_EQ(NameOf(rotation.CurrentPath()), c.first);
        EXPECT_EQ(NameOf(LastStarted()), c.first);
        ShuffleRound stored;
        ASSERT_TRUE(stored.Load(savers));
        EXPECT_EQ(stored.GetShown(), 1u);
        if (std::string(c.first) == "Q") {
            EXPECT_EQ(Names(stored.GetSavers()),
                      (std::vector<std::string>{"Q", "T", "S", "R", "P"}));
        }
    }
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
    // After the round's last saver the next round is shuffled from the run's generator.
    EXPECT_EQ(shown,
              (std::vector<std::string>{Path("P"), Path("Q"), Path("R"), Path("Q"), Path("P")}));
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
