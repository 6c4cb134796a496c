// The hosts run mode lays over the monitors, their staggered switching, and which saver
// each monitor shows in the two modes with a saver per monitor.
#include "run/MonitorLayout.h"

#include "run/RunLoop.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

bool Same(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }

PathList Savers(size_t n)
{
    PathList list;
    for (size_t i = 0; i < n; ++i)
        list.Add(AnsiString("C:\\savers\\saver") + AnsiString(std::to_string(i).c_str()) + ".scr");
    return list;
}

}  // namespace

// Every monitor gets a host of exactly its rectangle, also at negative coordinates; an
// empty rectangle gets none, and a repeated one (Wine 10 under Xephyr reports both heads
// at 0, 0) only one.
TEST(MonitorLayout, OneHostPerDistinctMonitorRectangle)
{
    const RECT primary = {0, 0, 1920, 1080};
    const RECT left = {-1280, -200, 0, 824};
    const MonitorLayout layout({primary, {0, 0, 0, 0}, left, primary, {5, 5, 5, 900}});
    ASSERT_EQ(layout.GetCount(), 2u);
    EXPECT_TRUE(Same(layout.HostRects()[0], primary));
    EXPECT_TRUE(Same(layout.HostRects()[1], left));
    EXPECT_EQ(MonitorLayout({}).GetCount(), 0u);
}

// The monitors switch one after another: the first saver of monitor i of n runs
// (i + 1) / n of the delay, so the switches come delay / n apart; never all at once, never
// later than the delay, and without overflow for the longest delay.
TEST(MonitorLayout, FirstSwitchesAreStaggeredAcrossTheDelay)
{
    const MonitorLayout two({{0, 0, 800, 600}, {800, 0, 1440, 480}});
    EXPECT_EQ(two.FirstDelayMs(0, 60000), 30000u);
    EXPECT_EQ(two.FirstDelayMs(1, 60000), 60000u);
    EXPECT_EQ(two.FirstDelayMs(0, 0), 0u) << "never switching stays never";
    const MonitorLayout three({{0, 0, 1, 1}, {1, 0, 2, 1}, {2, 0, 3, 1}});
    EXPECT_EQ(three.FirstDelayMs(0, kMaxSwitchDelayMs), kMaxSwitchDelayMs / 3);
    EXPECT_EQ(three.FirstDelayMs(2, kMaxSwitchDelayMs), kMaxSwitchDelayMs);
    EXPECT_EQ(three.FirstDelayMs(0, 2), 1u) << "a switch delay never rounds to never";
}

// A different saver on each monitor: two monitors never show the same saver while the
// round has more savers than monitors, and over a round every saver is shown.
TEST(MonitorSaverChoice, DifferentOnEachNeverShowsOneSaverTwiceAtOnce)
{
    // Several shuffles: a new round may begin with the saver the other monitor shows.
    for (DWORD seed = 1; seed <= 10; ++seed) {
        ScratchRegistry registry;
        SaverRotation rotation;
        rotation.Prepare(Savers(3), seed);
        MonitorSaverChoice choice(rotation, MonitorMode::DifferentOnEach, 2);
        AnsiString showing[2] = {choice.Next(0), choice.Next(1)};
        EXPECT_NE(showing[0], showing[1]);
        std::set<std::string> seen = {showing[0].str(), showing[1].str()};
        // Switches in an uneven order, as when a monitor passes savers over, across
        // several rounds.
        const size_t order[] = {1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1};
        for (size_t step = 0; step < ARRAYSIZE(order); ++step) {
            const size_t i = order[step];
            choice.Passed(i);
            showing[i] = choice.Next(i);
            EXPECT_NE(showing[0], showing[1]) << "seed " << seed << ", step " << step;
            seen.insert(showing[i].str());
        }
        EXPECT_EQ(seen.size(), 3u);
    }

    // Fewer savers than monitors: the one saver shows on both.
    ScratchRegistry registry;
    SaverRotation single;
    single.Prepare(Savers(1), 1);
    MonitorSaverChoice few(single, MonitorMode::DifferentOnEach, 2);
    EXPECT_EQ(few.Next(0), few.Next(1));
}

// The same saver on each monitor: every monitor goes through one sequence, whichever
// monitor switches first, and a monitor that passes a saver over moves on alone.
TEST(MonitorSaverChoice, SameOnEachGoesThroughOneSequenceOnEveryMonitor)
{
    ScratchRegistry registry;
    SaverRotation rotation;
    rotation.Prepare(Savers(4), 7);
    MonitorSaverChoice choice(rotation, MonitorMode::SameOnEach, 2);
    std::vector<AnsiString> first = {choice.Next(0)};
    EXPECT_EQ(choice.Next(1), first[0]);
    for (int i = 0; i < 6; ++i)
        first.push_back(choice.Next(0));
    for (size_t i = 1; i < first.size(); ++i) {
        EXPECT_NE(first[i], first[i - 1]) << i;
        EXPECT_EQ(choice.Next(1), first[i]) << "monitor 1 follows monitor 0 at step " << i;
    }
}
