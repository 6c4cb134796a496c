#include "run/SaverRotation.h"

#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "settings/ShuffleRound.h"
#include "tests/settings/RegistryProbe.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using settingstest::RawExists;
using settingstest::RawSet;
using settingstest::RawSetDword;
using settingstest::RawSetString;
using settingstest::RawValues;

namespace {

constexpr char kKey[] = "Software\\Brindlecraft\\Quillmix";
constexpr char kRoundKey[] = "Software\\Brindlecraft\\Quillmix\\ShuffleRound";
constexpr char kNextRoundKey[] = "Software\\Brindlecraft\\Quillmix\\ShuffleRoundNext";

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

TEST_F(SaverRotationTest, RunsWalkThroughTheRoundAndANewOneNeverBeginsWithTheSaverShownLast)
{
    // Three runs from state 1 walk through the round R, P, Q. The fourth, from the state
    // that follows two draws from 1, shuffles Q, P, R and begins with P, as Q came last.
    DWORD afterTwoDraws = 1;
    DrawShuffleValue(afterTwoDraws);
    DrawShuffleValue(afterTwoDraws);
    const PathList savers = MakeList({"P", "Q", "R"});
    std::vector<std::string> firsts;
    for (DWORD state : {DWORD{1}, DWORD{1}, DWORD{1}, afterTwoDraws}) {
        SaverRotation rotation;
        rotation.Prepare(savers, state);
        firsts.push_back(NameOf(rotation.CurrentPath()));
        EXPECT_EQ(LastStarted(), rotation.CurrentPath());
    }
    EXPECT_EQ(firsts, (std::vector<std::string>{"R", "P", "Q", "P"}));

    // Within a run the same happens at the round's end.
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

// Between runs the selection loses the saver shown and one still to show, and gains U and
// V: the round goes on without the two and shows U and V among the savers it has still to
// show, at random places. A selection that the stored round names none of gets a new round.
TEST_F(SaverRotationTest, SaversThatLeaveDropOutAndSaversThatJoinComeLaterInTheRound)
{
    std::set<size_t> joinedAt;
    for (int trial = 0; trial < 12; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        RegDeleteKeyPath(kSettingsKey);
        const std::string first = FirstOfARun(MakeList({"P", "Q", "R", "S", "T"}));
        const std::string leaving = first == "P" ? "Q" : "P";
        std::vector<std::string> after = {"U", "V"};
        for (const char* name : {"P", "Q", "R", "S", "T"})
            if (name != first && name != leaving)
                after.push_back(name);
        std::vector<std::string> shown;
        for (int run = 0; run < 6; ++run)
            shown.push_back(FirstOfARun(MakeList(after)));
        ExpectWholeRounds(shown, after);
        joinedAt.insert(
            static_cast<size_t>(std::find(shown.begin(), shown.end(), "U") - shown.begin()));
    }
    EXPECT_GT(joinedAt.size(), 1u);
    ExpectWholeRounds({FirstOfARun(MakeList({"X", "Y"})), FirstOfARun(MakeList({"X", "Y"}))},
                      {"X", "Y"});
}

// A stored round with any damage is never taken: the run begins a new round (from state
// 1: Q, T, S, R, P) and stores it whole. The clean round T, P, Q, R, S comes first, to
// show that the others are refused for their damage alone.
TEST_F(SaverRotationTest, HostileStoredRoundsAreIgnoredAndRebuilt)
{
    const std::string nul(1, '\0');
    const struct {
        const char* what;
        const char* key;
        const char* name;
        DWORD type;
        std::string data;
    } damages[] = {
        {"a clean round", kKey, kShuffleRoundShownValue, REG_DWORD, std::string(4, '\0')},
        {"an entry of another type", kRoundKey, "005", REG_DWORD, std::string("A\0\0\0", 4)},
        {"a path stored as binary", kRoundKey, "000", REG_BINARY, Path("T")},
        {"an entry longer than a path", kRoundKey, "005", REG_SZ, std::string(65536, 'x') + nul},
        {"an empty entry", kRoundKey, "005", REG_SZ, nul},
        {"a saver twice", kRoundKey, "005", REG_SZ, "c:\\savers\\t.SCR" + nul},
        {"names other than the numbers", kRoundKey, "next", REG_SZ, Path("S") + nul},
        {"a huge number shown", kKey, kShuffleRoundShownValue, REG_DWORD, "\xff\xff\xff\xff"},
        {"the number shown as text", kKey, kShuffleRoundShownValue, REG_SZ, nul},
    };
    const PathList savers = MakeList({"P", "Q", "R", "S", "T"});
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        RegDeleteKeyPath(kSettingsKey);
        const char* const order[] = {"T", "P", "Q", "R", "S"};
        for (size_t i = 0; i < 5; ++i)
            RawSetString(kRoundKey, "00" + std::to_string(i), Path(order[i]));
        RawSetDword(kKey, kShuffleRoundShownValue, 0);
        RawSet(damage.key, damage.name, damage.type, damage.data);
        SaverRotation rotation;
        rotation.Prepare(savers, 1);
        const std::string first = &damage == &damages[0] ? "T" : "Q";
        EXPECT_EQ(NameOf(rotation.CurrentPath()), first);
        ShuffleRound stored;
        ASSERT_TRUE(stored.Load(savers));
        EXPECT_EQ(stored.GetShown(), 1u);
        EXPECT_EQ(Names(stored.GetSavers())[0], first);
        EXPECT_EQ(stored.GetSavers().GetCount(), 5u);
    }
}

// A process ended while it writes a new round (at a log-off) leaves the round before or the
// new one, never a mix: here the states in which a replacement of P, Q, R (one shown) by
// S, T, U (two shown) can stop, before and after its switch.
TEST_F(SaverRotationTest, ARoundIsReadWholeWhereverItsWritingStopped)
{
    const PathList savers = MakeList({"P", "Q", "R", "S", "T", "U"});
    ShuffleRound old;
    old.GetSavers() = MakeList({"P", "Q", "R"});
    old.SetShown(1);
    old.Save();
    // Before the switch: the new round only partly written beside the stored one.
    RawSetString(kNextRoundKey, "000", Path("S"));
    ShuffleRound read;
    ASSERT_TRUE(read.Load(savers));
    EXPECT_EQ(Names(read.GetSavers()), (std::vector<std::string>{"P", "Q", "R"}));
    EXPECT_EQ(read.GetShown(), 1u);

    // After the switch: the stored round only partly overwritten.
    const char* const next[] = {"S", "T", "U"};
    for (size_t i = 0; i < 3; ++i)
        RawSetString(kNextRoundKey, "00" + std::to_string(i), Path(next[i]));
    RawSetDword(kKey, kShuffleRoundNextValue, 2);
    settingstest::RawDelete(kRoundKey);
    RawSetString(kRoundKey, "000", Path("S"));
    ASSERT_TRUE(read.Load(savers));
    EXPECT_EQ(Names(read.GetSavers()), (std::vector<std::string>{"S", "T", "U"}));
    EXPECT_EQ(read.GetShown(), 2u);

    // The next whole write leaves the round where older versions read it, and nothing else.
    read.Save();
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(RawValues(kRoundKey),
              (Values{{"000", Path("S")}, {"001", Path("T")}, {"002", Path("U")}}));
    EXPECT_FALSE(RawExists(kNextRoundKey));
    DWORD dwType = REG_NONE;
    EXPECT_FALSE(RegGetValueType(kSettingsKey, kShuffleRoundNextValue, &dwType));
    ASSERT_TRUE(read.Load(savers));
    EXPECT_EQ(read.GetShown(), 2u);
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
