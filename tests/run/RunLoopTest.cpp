#include "run/RunLoop.h"

#include "run/RunEnvironment.h"
#include "run/SSFadeWnd.h"
#include "run/SaverRotation.h"
#include "settings/SaverHealth.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One scripted answer of a wait: the result, how far the clock has moved when the wait
// returns (for a dispatch: the time the messages took), whether the user gave input
// meanwhile, and the display's state that the system reported meanwhile, if it did.
struct WaitStep {
    DWORD result;
    DWORD elapsedMs;
    bool bInput = false;
    bool bDisplayReport = false;
    DisplayState display = DisplayState::On;
};

// A wait that dispatched messages, whatever the number of savers it waited for.
constexpr DWORD kMessages = 0x7FFFFFFF;
// The saver ends on the user's input; the saver ends with nobody at the machine.
const WaitStep kEnded = {WAIT_OBJECT_0, 0, true};
const WaitStep kDied = {WAIT_OBJECT_0, 0, false};
WaitStep Messages(DWORD elapsedMs, bool bInput = false) { return {kMessages, elapsedMs, bInput}; }
WaitStep Display(DisplayState state, DWORD elapsedMs = 0)
{
    return {kMessages, elapsedMs, false, true, state};
}

// A clock and children that exist only as event handles: every call is logged, every
// wait answers from the script, and a wait for a child that the script does not cover
// times out after its full time-out, as the real one would.
class ScriptedEnvironment final : public RunEnvironment {
public:
    DWORD now = 0;
    bool showDesktop = false;
    bool inputWatched = true;
    bool userInput = false;
    DisplayState display = DisplayState::On;
    DWORD inputTick = 0;
    std::set<std::string> failingStarts;
    std::deque<WaitStep> script;
    std::vector<std::string> log;
    std::vector<DWORD> timeouts;
    std::vector<std::string> commandLines;
    std::vector<DWORD> startTicks;
    std::vector<DWORD> failTicks;
    DWORD fadeMs = 0;
    // Every opacity set, with the clock when it was set.
    std::vector<std::pair<DWORD, int>> fades;
    // The user's input at this tick, once an unscripted wait reaches it: the saver ends on
    // it, or with deafToInput goes on while the wait dispatches it.
    DWORD inputAt = INFINITE;
    bool deafToInput = false;
    // Savers that show a window of their own in a host, and each started saver's name.
    std::set<std::string> ownWindows;
    std::map<HANDLE, std::string> names;
    static constexpr ULONG_PTR kFirstHost = 0x100;

    DWORD GetTicks() override { return now; }
    bool GetShowDesktop() override { return showDesktop; }
    void SetPaintDesktop(size_t nScreen, bool bDesktop) override
    {
        log.push_back((bDesktop ? "desktop" : "black") + OnScreen(nScreen));
    }
    HWND OpenHost(size_t nScreen) override
    {
        log.push_back("host" + OnScreen(nScreen));
        return reinterpret_cast<HWND>(kFirstHost + nScreen);
    }
    void CloseHost(size_t nScreen) override { log.push_back("close" + OnScreen(nScreen)); }
    bool ShowsOwnWindow(ChildSaver& child) override
    {
        return ownWindows.count(names[child.Process()]) != 0;
    }

    ChildSaver StartChild(const AnsiString& path, const AnsiString& commandLine) override
    {
        commandLines.push_back(commandLine.str());
        if (commandLines.size() > kRunawayStarts)
            throw std::runtime_error("the loop does not stop starting savers");
        const std::string name = NameOf(path.str());
        if (failingStarts.count(name) != 0) {
            log.push_back("fail " + name);
            failTicks.push_back(now);
            return ChildSaver();
        }
        log.push_back("start " + name);
        startTicks.push_back(now);
        ChildSaver child(UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)));
        names[child.Process()] = name;
        return child;
    }

    DWORD WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount, DWORD dwTimeoutMs) override
    {
        for (DWORD i = 0; i < nCount; ++i)
            EXPECT_NE(::WaitForSingleObject(ppSavers[i]->Process(), 0), WAIT_FAILED)
                << "wait on a closed handle";
        timeouts.push_back(dwTimeoutMs);
        log.push_back("wait");
        if (script.empty()) {
            if (!userInput && inputAt >= now && inputAt - now <= dwTimeoutMs) {
                Advance(inputAt - now);
                return deafToInput ? WAIT_OBJECT_0 + nCount : WAIT_OBJECT_0;
            }
            if (dwTimeoutMs == INFINITE)
                throw std::runtime_error("the loop waits forever with nothing scripted");
            Advance(dwTimeoutMs);
            return WAIT_TIMEOUT;
        }
        const DWORD result = TakeStep();
        return result == kMessages ? WAIT_OBJECT_0 + nCount : result;
    }

    bool StopChild(ChildSaver& child) override
    {
        const HANDLE hProcess = child.Process();
        if (hProcess != nullptr) {
            EXPECT_NE(::WaitForSingleObject(hProcess, 0), WAIT_FAILED) << "stop of a closed handle";
        }
        log.push_back(hProcess != nullptr ? "stop" : "stop none");
        return hProcess != nullptr;
    }

    void EndChild(ChildSaver& child) override
    {
        EXPECT_TRUE(child) << "end of no saver";
        log.push_back("end");
    }

    bool ForgetUserInput() override
    {
        userInput = false;
        return inputWatched;
    }

    bool HasUserInput() override { return userInput; }
    DWORD GetUserInputTick() override { return inputTick; }

    DisplayState GetDisplayState() override { return display; }

    DWORD WaitForMessages(DWORD dwTimeoutMs) override
    {
        log.push_back("idle");
        if (script.empty()) {
            if (dwTimeoutMs == INFINITE)
                throw std::runtime_error("the loop waits forever with nothing scripted");
            timeouts.push_back(dwTimeoutMs);
            Advance(dwTimeoutMs);
            return userInput ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
        const DWORD result = TakeStep();
        return result == kMessages ? WAIT_OBJECT_0 : result;
    }

    DWORD GetFadeMs() override { return fadeMs; }
    void SetFade(size_t nScreen, BYTE nAlpha) override
    {
        if (nScreen == 0)
            fades.emplace_back(now, nAlpha);
        log.push_back("fade " + std::to_string(nAlpha) + OnScreen(nScreen));
    }

private:
    static constexpr size_t kRunawayStarts = 50;

    void Advance(DWORD dwMs)
    {
        now += dwMs;
        if (!userInput && now >= inputAt)
            inputTick = inputAt;
        userInput = userInput || now >= inputAt;
    }

    DWORD TakeStep()
    {
        const WaitStep step = script.front();
        script.pop_front();
        now += step.elapsedMs;
        if (step.bInput && !userInput)
            inputTick = now;
        userInput = userInput || step.bInput;
        if (step.bDisplayReport)
            display = step.display;
        return step.result;
    }

    // Nothing for the first screen, so that a run of one screen reads as it always has.
    static std::string OnScreen(size_t nScreen)
    {
        return nScreen == 0 ? std::string() : " " + std::to_string(nScreen);
    }

    static std::string NameOf(const std::string& path)
    {
        const size_t slash = path.rfind('\\');
        return path.substr(slash + 1, path.size() - slash - 1 - 4);
    }
};

PathList MakeList(const std::vector<std::string>& names)
{
    PathList list;
    for (const std::string& name : names)
        list.Add(AnsiString("C:\\Savers\\" + name + ".scr"));
    return list;
}

// The files of the rotation's savers: a start that fails for a saver that cannot be seen
// is no failure.
void MakeSaverFiles()
{
    ::CreateDirectoryA("C:\\Savers", nullptr);
    for (const char* name : {"P", "Q", "R"})
        std::ofstream(std::string("C:\\Savers\\") + name + ".scr") << name;
}

using Log = std::vector<std::string>;
using Timeouts = std::vector<DWORD>;

class RunLoopTest : public testing::Test {
protected:
    // Stored P, Q, R from state 1: the rotation is R, P, Q.
    void PrepareRotation(const std::vector<std::string>& names = {"P", "Q", "R"})
    {
        m_rotation.Prepare(MakeList(names), 1);
    }

    RunEnd Run(DWORD dwSwitchDelayMs)
    {
        return RunSaverCycles(m_rotation, "/s", dwSwitchDelayMs, m_env);
    }

    ScratchRegistry m_registry;
    SaverRotation m_rotation;
    ScriptedEnvironment m_env;
};

}  // namespace

TEST(SwitchDelay, IsMinutesInMillisecondsWithSwitchingOn)
{
    EXPECT_EQ(SwitchDelayMs(false, 5), 0u);
    EXPECT_EQ(SwitchDelayMs(true, 0), 0u);
    EXPECT_EQ(SwitchDelayMs(true, 1), 60000u);
    EXPECT_EQ(SwitchDelayMs(true, 5), 300000u);
    EXPECT_EQ(SwitchDelayMs(true, 71582), 71582u * 60000u);
}

TEST(SwitchDelay, SaturatesInsteadOfWrapping)
{
    // 71583 minutes and more do not fit 32 bits; 71583 * 60000 would wrap to 12704 ms.
    EXPECT_EQ(SwitchDelayMs(true, 71583), kMaxSwitchDelayMs);
    EXPECT_EQ(SwitchDelayMs(true, 0xFFFFFFFFu), kMaxSwitchDelayMs);
    // Would wrap to 25408 ms.
    EXPECT_EQ(SwitchDelayMs(true, 143166), kMaxSwitchDelayMs);
    EXPECT_NE(kMaxSwitchDelayMs, INFINITE);
}

TEST(TimeLeft, CountsDownToZeroAcrossTheTickWrap)
{
    EXPECT_EQ(TimeLeftMs(1000, 60000, 1000), 60000u);
    EXPECT_EQ(TimeLeftMs(1000, 60000, 31000), 30000u);
    EXPECT_EQ(TimeLeftMs(1000, 60000, 61000), 0u);
    EXPECT_EQ(TimeLeftMs(1000, 60000, 90000), 0u);
    EXPECT_EQ(TimeLeftMs(0xFFFFFF00u, 60000, 0x100u), 60000u - 0x200u);
    EXPECT_EQ(TimeLeftMs(0xFFFFFF00u, 60000, 0xFFFFFF00u + 60000u), 0u);
    EXPECT_EQ(TimeLeftMs(0, kMaxSwitchDelayMs, 0xFFFFFFFFu), 0u);
}

TEST(FailedShowRetry, IsTheShorterOfTheSwitchDelayAndAMinute)
{
    EXPECT_EQ(FailedShowRetryMs(0), kFailedShowRetryMs) << "switching off";
    EXPECT_EQ(FailedShowRetryMs(30000), 30000u);
    EXPECT_EQ(FailedShowRetryMs(300000), kFailedShowRetryMs);
    EXPECT_EQ(FailedShowRetryMs(kMaxSwitchDelayMs), kFailedShowRetryMs);
}

TEST_F(RunLoopTest, WithSwitchingOffOneSaverRunsUntilItEnds)
{
    PrepareRotation();
    m_env.script = {Messages(5000), Messages(100000), kEnded};
    EXPECT_EQ(Run(SwitchDelayMs(false, 1)), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log, (Log{"black", "start R", "wait", "wait", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{INFINITE, INFINITE, INFINITE}));
    EXPECT_EQ(m_env.commandLines, (std::vector<std::string>{"C:\\Savers\\R.scr /s"}));
}

TEST_F(RunLoopTest, ZeroDelayWithSwitchingOnNeverSwitches)
{
    PrepareRotation();
    m_env.script = {Messages(10), kEnded};
    EXPECT_EQ(Run(SwitchDelayMs(true, 0)), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.timeouts, (Timeouts{INFINITE, INFINITE}));
}

TEST_F(RunLoopTest, SwitchesEveryMinuteInRotationOrder)
{
    PrepareRotation();
    m_env.showDesktop = true;
    m_env.now = 500;
    // R and P use their minute; Q is ended by the user half-way through.
    m_env.script = {{WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, Messages(30000), kEnded};
    EXPECT_EQ(Run(SwitchDelayMs(true, 1)), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log,
              (Log{"desktop", "start R", "wait", "black", "stop", "desktop", "start P", "wait",
                   "black", "stop", "desktop", "start Q", "wait", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 60000, 60000, 30000}));
    EXPECT_EQ(m_rotation.GetIndex(), 2u);
}

TEST_F(RunLoopTest, AfterTheLastSaverANewRoundFollows)
{
    PrepareRotation();
    m_env.script = {{WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    // The next round, Q, P, R from the generator's next draws, does not begin with Q again.
    EXPECT_EQ(m_env.commandLines,
              (std::vector<std::string>{"C:\\Savers\\R.scr /s", "C:\\Savers\\P.scr /s",
                                        "C:\\Savers\\Q.scr /s", "C:\\Savers\\P.scr /s"}));
}

TEST_F(RunLoopTest, DispatchingNeverExtendsTheDeadline)
{
    PrepareRotation();
    m_env.now = 7;
    m_env.script = {Messages(1),     Messages(20000),   Messages(0),
                    Messages(39998), {WAIT_TIMEOUT, 1}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 59999, 39999, 39999, 1, 60000}));
    EXPECT_EQ(m_env.log[8], "stop");
}

TEST_F(RunLoopTest, DeadlineHoldsAcrossTheTickCounterWrap)
{
    PrepareRotation();
    m_env.now = 0xFFFFF000u;
    // 0x1800 ms of messages take the counter past zero to 0x800.
    m_env.script = {Messages(0x1800), {WAIT_TIMEOUT, 60000 - 0x1800}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 60000 - 0x1800, 60000}));
    EXPECT_EQ(
        m_env.log,
        (Log{"black", "start R", "wait", "wait", "black", "stop", "black", "start P", "wait"}));
}

TEST_F(RunLoopTest, MessageDispatchedPastTheDeadlineLeadsToAnImmediateSwitch)
{
    PrepareRotation();
    m_env.script = {Messages(59990), Messages(50), {WAIT_TIMEOUT, 0}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 10, 0, 60000}));
    EXPECT_EQ(m_env.log,
              (Log{"black", "start R", "wait", "wait", "wait", "black", "stop", "black", "start P",
                   "wait"}));
}

TEST_F(RunLoopTest, FailedWaitSwitchesLikeATimeUp)
{
    PrepareRotation();
    m_env.script = {{WAIT_FAILED, 0}, kEnded};
    EXPECT_EQ(Run(SwitchDelayMs(false, 5)), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log,
              (Log{"black", "start R", "wait", "black", "stop", "black", "start P", "wait"}));
}

TEST_F(RunLoopTest, FailedStartPassesOnAtOnceWithoutInput)
{
    PrepareRotation();
    m_env.failingStarts = {"R"};
    m_env.script = {kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    // No wait for the failed start, and no input sent without a child to take it.
    EXPECT_EQ(m_env.log,
              (Log{"black", "fail R", "black", "stop none", "black", "start P", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000}));
}

TEST_F(RunLoopTest, FailedStartBetweenGoodOnesDoesNotEndTheRun)
{
    PrepareRotation();
    m_env.failingStarts = {"Q"};
    m_env.script = {{WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.commandLines.size(), 5u);
    // R, P, Q failed, then the next round Q, P, R goes on from P.
    EXPECT_EQ(m_env.log[m_env.log.size() - 2], "start R");
}

TEST_F(RunLoopTest, NoStartableSaverEndsTheCyclesAfterOneRound)
{
    PrepareRotation();
    m_env.failingStarts = {"P", "Q", "R"};
    EXPECT_EQ(Run(60000), RunEnd::NothingStarted);
    EXPECT_EQ(m_env.log,
              (Log{"black", "fail R", "black", "stop none", "black", "fail P", "black", "stop none",
                   "black", "fail Q", "black", "stop none"}));
    EXPECT_TRUE(m_env.timeouts.empty());
}

TEST_F(RunLoopTest, NoStartableSaverEndsTheCyclesAlsoWithSwitchingOff)
{
    PrepareRotation({"P"});
    m_env.failingStarts = {"P"};
    EXPECT_EQ(Run(0), RunEnd::NothingStarted);
    EXPECT_EQ(m_env.log, (Log{"black", "fail P", "black", "stop none"}));
}

TEST_F(RunLoopTest, EmptyRotationStartsNothing)
{
    PrepareRotation({});
    EXPECT_EQ(Run(60000), RunEnd::NothingStarted);
    EXPECT_TRUE(m_env.log.empty());
}

TEST_F(RunLoopTest, OneSaverWithSwitchingOnIsStartedAgain)
{
    PrepareRotation({"P"});
    m_env.script = {{WAIT_TIMEOUT, 60000}, {WAIT_TIMEOUT, 60000}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log,
              (Log{"black", "start P", "wait", "black", "stop", "black", "start P", "wait", "black",
                   "stop", "black", "start P", "wait"}));
}

TEST_F(RunLoopTest, ChildThatEndsAtOnceOnTheUsersInputEndsTheRun)
{
    PrepareRotation();
    m_env.showDesktop = true;
    m_env.script = {kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log, (Log{"desktop", "start R", "wait"}));
}

// A path with a blank that has no short form (here: no such file) goes in quotes.
TEST_F(RunLoopTest, PassesTheWholeCommandLineOn)
{
    PrepareRotation({"P"});
    m_env.script = {kEnded};
    EXPECT_EQ(RunSaverCycles(m_rotation, "/p 456 /s", 0, m_env), RunEnd::ChildEnded);
    PrepareRotation({"Fun P"});
    m_env.script = {kEnded};
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env), RunEnd::ChildEnded);
    EXPECT_EQ(
        m_env.commandLines,
        (std::vector<std::string>{"C:\\Savers\\P.scr /p 456 /s", "\"C:\\Savers\\Fun P.scr\" /s"}));
}

TEST_F(RunLoopTest, SaverThatDiesWithoutInputIsPassedOver)
{
    PrepareRotation();
    m_env.showDesktop = true;
    m_env.script = {{WAIT_OBJECT_0, 300, false}, kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    // No input for a saver that has gone; the next one starts at once, with a new minute.
    EXPECT_EQ(m_env.log,
              (Log{"desktop", "start R", "wait", "black", "desktop", "start P", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 60000}));
}

TEST_F(RunLoopTest, SaversThatAllDieLeaveTheCyclesAfterOneRoundUnlessOneHadWorked)
{
    PrepareRotation();
    // Q ran for a while before it ended: the round of failures begins again after it.
    m_env.script = {kDied, kDied, {WAIT_OBJECT_0, kSaverWorkedMs, false}, kDied, kDied, kDied};
    EXPECT_EQ(Run(0), RunEnd::NothingStarted);
    EXPECT_EQ(m_env.commandLines.size(), 6u);
    EXPECT_TRUE(m_env.script.empty());
}

TEST_F(RunLoopTest, WithoutAWatchOnTheInputEveryEndIsTheUsersWish)
{
    PrepareRotation();
    m_env.inputWatched = false;
    m_env.script = {kDied};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.commandLines.size(), 1u);
}

TEST_F(RunLoopTest, SaverDeafToTheUsersInputIsEndedAfterTheGraceInsteadOfSwitched)
{
    PrepareRotation();
    // The input comes a second before the switch; the grace runs on past that minute.
    m_env.script = {Messages(59000, true), Messages(500)};
    EXPECT_EQ(Run(60000), RunEnd::InputUnheard);
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, kChildStopGraceMs, kChildStopGraceMs - 500}));
    EXPECT_EQ(m_env.log, (Log{"black", "start R", "wait", "wait", "wait", "end"}));
}

TEST_F(RunLoopTest, InputSeenAsTheTimeIsUpEndsTheRunInsteadOfASwitch)
{
    PrepareRotation();
    m_env.script = {{WAIT_TIMEOUT, 60000, true}, {WAIT_OBJECT_0, 400, false}};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log, (Log{"black", "start R", "wait", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, kChildStopGraceMs}));
}

// The display goes off while R runs: R is closed with no input (no stop), and nothing
// starts while the display is off, however long. When it comes on, the next saver starts
// at once with a minute of its own. Dimmed changes nothing.
TEST_F(RunLoopTest, DisplayOffClosesTheSaverAndTheNextStartsWhenItComesOn)
{
    const DWORD kHourMs = 3600000;
    PrepareRotation();
    m_env.showDesktop = true;
    m_env.script = {Messages(20000),
                    Display(DisplayState::Off),
                    Messages(kHourMs),
                    Display(DisplayState::On, 500),
                    Display(DisplayState::Dimmed, 30000),
                    {WAIT_TIMEOUT, 30000},
                    kEnded};
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.log,
              (Log{"desktop", "start R", "wait", "wait", "black", "stop", "idle", "idle", "desktop",
                   "start P", "wait", "wait", "black", "stop", "desktop", "start Q", "wait"}));
    EXPECT_EQ(m_env.timeouts, (Timeouts{60000, 40000, 60000, 30000, 60000}));
    ASSERT_EQ(m_env.startTicks.size(), 3u);
    EXPECT_LE(m_env.startTicks[1] - (20000 + kHourMs + 500), 1000u);
}

// A saver closed for the dark display has not failed: the only saver of the rotation starts
// again when the display comes on, also with switching off. The user's input while the
// display is off ends the run, also when it was off before any saver started.
TEST_F(RunLoopTest, SaverClosedForTheDisplayHasNotFailedAndInputWhileItIsOffEndsTheRun)
{
    PrepareRotation({"P"});
    m_env.script = {Display(DisplayState::Off), Display(DisplayState::On),
                    Display(DisplayState::Off), Messages(1000, true)};
    EXPECT_EQ(Run(0), RunEnd::InputWhileDisplayOff);
    EXPECT_EQ(m_env.log,
              (Log{"black", "start P", "wait", "black", "stop", "idle", "black", "start P", "wait",
                   "black", "stop", "idle"}));

    ScriptedEnvironment dark;
    dark.display = DisplayState::Off;
    dark.script = {Messages(60000), Messages(1000, true)};
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 60000, dark), RunEnd::InputWhileDisplayOff);
    EXPECT_EQ(dark.log, (Log{"idle", "idle"}));
}

// Each end of a saver is noted: a failed start, a quit, input unheard; a good run clears
// the record. A round of failures that leaves every saver out starts nothing more.
TEST_F(RunLoopTest, HealthNotesEachEndAndLeavesOutSaversThatFailThreeTimesInARow)
{
    const auto path = [](const char* name) { return AnsiString("C:\\Savers\\") + name + ".scr"; };
    MakeSaverFiles();
    SaverHealth health(true);
    health.NoteFailure(path("Q"), SaverFault::Crashed, true, 0xC0000005);
    PrepareRotation();
    m_env.failingStarts = {"R"};
    m_env.script = {kDied, kEnded};
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env, &health), RunEnd::ChildEnded);
    SaverHealthRecord record;
    ASSERT_TRUE(health.Find(path("R"), &record));
    EXPECT_EQ(record.m_fault, SaverFault::CouldNotStart);
    EXPECT_FALSE(record.m_bHasExitCode);
    ASSERT_TRUE(health.Find(path("P"), &record));
    EXPECT_EQ(record.m_fault, SaverFault::QuitAtOnce) << "no exit code tells of a crash";
    EXPECT_FALSE(health.Find(path("Q"), nullptr)) << "ended on the user's input: a good run";

    m_env.script = {Messages(1000, true)};
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env, &health), RunEnd::InputUnheard);
    ASSERT_TRUE(health.Find(m_rotation.CurrentPath(), &record));
    EXPECT_EQ(record.m_fault, SaverFault::IgnoredInput);

    for (const char* name : {"P", "Q", "R"})
        health.Forget(path(name));
    PrepareRotation();
    m_env.failingStarts = {"P", "Q", "R"};
    for (DWORD round = 1; round < kLeaveOutAfterFailures; ++round) {
        EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env, &health), RunEnd::NothingStarted);
        EXPECT_TRUE(HasSaverToRun(m_rotation, health)) << "round " << round;
    }
    m_env.log.clear();
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env, &health), RunEnd::NothingStarted);
    EXPECT_EQ(m_env.log.size(), 12u) << "one last round of starts";
    EXPECT_FALSE(HasSaverToRun(m_rotation, health));
    m_env.log.clear();
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, m_env, &health), RunEnd::NothingStarted);
    EXPECT_TRUE(m_env.log.empty()) << "left out: no start, no gap";
    for (const char* name : {"P", "Q", "R"})
        ::DeleteFileA(path(name).c_str());
}

TEST(FadeOpacity, RisesToTheCoverAndFallsToClearWithTheClock)
{
    EXPECT_EQ(FadeOpacity(0, 500, true), 0);
    EXPECT_EQ(FadeOpacity(250, 500, true), 127);
    EXPECT_EQ(FadeOpacity(499, 500, true), 254);
    EXPECT_EQ(FadeOpacity(500, 500, true), kFadeOpaque);
    EXPECT_EQ(FadeOpacity(0, 500, false), kFadeOpaque);
    EXPECT_EQ(FadeOpacity(250, 500, false), 128);
    EXPECT_EQ(FadeOpacity(9000, 500, false), 0);
    EXPECT_EQ(FadeOpacity(0xFFFFFFFEu, 0xFFFFFFFFu, true), 254) << "no overflow";
}

// With the fade on, each saver starts behind the cover's picture and comes in from it with
// the clock, about 60 steps a second; once its time is up it goes out to the picture,
// still running, and only then gets the stop. Between the fades the waits are the saver's.
TEST_F(RunLoopTest, SaversFadeInAtTheirStartAndOutAtTheSwitch)
{
    PrepareRotation();
    m_env.fadeMs = 500;
    m_env.now = 1000;
    // R runs its minute; P is ended by the user half a minute in.
    m_env.inputAt = 1000 + 60000 + 500 + 30000;
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    EXPECT_EQ(m_env.now, m_env.inputAt);
    const Log& log = m_env.log;
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 3), (Log{"black", "start R", "fade 255"}));

    const auto& fades = m_env.fades;
    size_t i = 1;
    for (; i < fades.size() && fades[i].second != 0; ++i)
        EXPECT_EQ(fades[i].second, FadeOpacity(fades[i].first - 1000, 500, false)) << i;
    ASSERT_LT(i, fades.size());
    EXPECT_EQ(fades[i].first, 1000u + 500u - 500u % kFadeStepMs + kFadeStepMs) << "hidden";
    EXPECT_GE(i, 500u / kFadeStepMs) << "about 60 steps a second";

    size_t out = i + 1;
    ASSERT_LT(out, fades.size());
    EXPECT_EQ(fades[out].first, 61000u + kFadeStepMs) << "out from the deadline on";
    for (; out < fades.size() && fades[out].first < 61500u; ++out)
        EXPECT_EQ(fades[out].second, FadeOpacity(fades[out].first - 61000, 500, true)) << out;
    const auto stop = std::find(log.begin(), log.end(), "stop");
    ASSERT_NE(stop, log.end());
    ASSERT_GE(log.end() - stop, 4);
    EXPECT_EQ(*(stop - 2), "fade 255") << "stopped only once out";
    EXPECT_EQ(Log(stop + 1, stop + 4), (Log{"black", "start P", "fade 255"}));
    for (const DWORD timeout : m_env.timeouts)
        EXPECT_TRUE(timeout <= kFadeStepMs || timeout >= 29000) << timeout;
}

// Messages that wake the loop faster than the fade's steps (a saver showing window after
// window reaches the fade window's WinEvent hook) never hold the fade up: the fade in ends
// on time, with the window hidden over the saver.
TEST_F(RunLoopTest, MessagesFasterThanTheStepsNeverHoldTheFadeWindowUp)
{
    PrepareRotation();
    m_env.fadeMs = 500;
    m_env.script.assign(100, Messages(kFadeStepMs / 2));
    m_env.inputAt = 30000;
    EXPECT_EQ(Run(60000), RunEnd::ChildEnded);
    const auto& fades = m_env.fades;
    const auto hidden = std::find_if(fades.begin() + 1, fades.end(),
                                     [](const std::pair<DWORD, int>& f) { return f.second == 0; });
    ASSERT_NE(hidden, fades.end()) << "the fade window stayed over the saver";
    EXPECT_LE(hidden->first, 500u + kFadeStepMs);
}

// The user's input ends the run at once during either fade, and hides the fade window as
// soon as it is seen; a saver deaf to it is ended after the grace, as without fades.
TEST_F(RunLoopTest, InputDuringAFadeHidesTheFadeAndEndsTheRun)
{
    for (const DWORD inputAt : {200u, 60000u + 200u}) {
        SCOPED_TRACE(inputAt);
        m_env = ScriptedEnvironment();
        PrepareRotation();
        m_env.fadeMs = 500;
        m_env.inputAt = inputAt;
        m_env.deafToInput = true;
        EXPECT_EQ(Run(60000), RunEnd::InputUnheard);
        ASSERT_FALSE(m_env.fades.empty());
        EXPECT_EQ(m_env.fades.back(), (std::pair<DWORD, int>{inputAt, 0})) << "hidden at once";
        EXPECT_EQ(std::count(m_env.log.begin(), m_env.log.end(), "stop"), 0);
        EXPECT_EQ(m_env.log.back(), "end");
    }
}

// A saver that cannot start gets no fade, one that dies at once gets no fade out, and with
// none left the fade window goes: the cover alone waits for the user.
TEST_F(RunLoopTest, BrokenSaversGetNoFadeAndTheCoverWaitsWithout)
{
    PrepareRotation();
    m_env.fadeMs = 500;
    m_env.failingStarts = {"R"};
    m_env.script = {kDied, kDied};
    EXPECT_EQ(Run(60000), RunEnd::NothingStarted);
    EXPECT_EQ(m_env.log,
              (Log{"black", "fail R", "black", "stop none", "black", "start P", "fade 255", "wait",
                   "black", "black", "start Q", "fade 255", "wait", "black", "fade 0"}));
}

// The fade from the desktop darkens it with the clock and stays up; the user's input ends
// it at once with the window hidden; off, or with ShowDesktop, it does nothing.
TEST_F(RunLoopTest, FadeFromTheDesktopDarkensItUnlessTheUserComes)
{
    m_env.fadeMs = 300;
    EXPECT_TRUE(FadeFromDesktop(m_env));
    ASSERT_GE(m_env.fades.size(), 300u / kFadeStepMs);
    for (const auto& [tick, opacity] : m_env.fades)
        EXPECT_EQ(opacity, FadeOpacity(tick, 300, true)) << tick;
    EXPECT_EQ(m_env.fades.back(), (std::pair<DWORD, int>{300, kFadeOpaque}));

    m_env = ScriptedEnvironment();
    m_env.fadeMs = 300;
    m_env.inputAt = 100;
    EXPECT_FALSE(FadeFromDesktop(m_env));
    EXPECT_EQ(m_env.fades.back().second, 0);
    EXPECT_LE(m_env.now, 100 + kFadeStepMs);

    for (const bool showDesktop : {false, true}) {
        m_env = ScriptedEnvironment();
        m_env.fadeMs = showDesktop ? 300 : 0;
        m_env.showDesktop = showDesktop;
        EXPECT_TRUE(FadeFromDesktop(m_env));
        EXPECT_TRUE(m_env.log.empty());
    }
}

// Two monitors, a host each: each screen starts its own saver with "/p" and its host's
// handle, fades it in and out over its host, switches on its own clock (the first
// switches staggered) with its part of the desktop between savers, and the user's input
// ends every saver at once, before any host goes.
TEST_F(RunLoopTest, EachScreenRunsItsOwnSaversInItsHost)
{
    PrepareRotation();
    m_env.showDesktop = true;
    m_env.fadeMs = 500;
    m_env.inputAt = 70000;
    const ScreenPlan plan = {2, true, MonitorMode::DifferentOnEach, 60000};
    EXPECT_EQ(RunScreenCycles(m_rotation, plan, "/s", m_env), RunEnd::ChildEnded);
    Log log;
    for (const std::string& line : m_env.log)
        if (line != "wait" &&
            (line.rfind("fade ", 0) != 0 || line.rfind("fade 255", 0) == 0 ||
             line.rfind("fade 0", 0) == 0))
            log.push_back(line);
    EXPECT_EQ(log,
              (Log{"host",       "desktop",    "start R", "fade 255", "host 1",    "desktop 1",
                   "start P",    "fade 255 1", "fade 0",  "fade 0 1", "fade 255",  "black",
                   "stop",       "host",       "desktop", "start Q",  "fade 255",  "fade 0",
                   "fade 255 1", "black 1",    "stop",    "host 1",   "desktop 1", "start P",
                   "fade 255 1", "fade 0 1",   "end",     "end",      "close",     "close 1"}));
    ASSERT_EQ(m_env.commandLines.size(), 4u);
    EXPECT_EQ(m_env.commandLines[0], "C:\\Savers\\R.scr /p 256");
    EXPECT_EQ(m_env.commandLines[1], "C:\\Savers\\P.scr /p 257");
    EXPECT_EQ(m_env.commandLines[2], "C:\\Savers\\Q.scr /p 256");
    EXPECT_EQ(m_env.startTicks[2], 30000u + 500u) << "out, then the next";
    EXPECT_EQ(m_env.startTicks[3], 60000u + 500u);
}

// A screen whose savers all fail rests while the other shows its saver, and tries again
// after the retry time. Each failure is noted: a saver with a window of its own cannot
// preview; three in a row leave a saver out, which a retry then passes over unstarted.
TEST_F(RunLoopTest, ScreenWhoseSaversAllFailRestsAndTriesAgainWhileTheOtherShows)
{
    const auto path = [](const char* name) { return AnsiString("C:\\Savers\\") + name + ".scr"; };
    MakeSaverFiles();
    SaverHealth health(true);
    PrepareRotation();
    m_env.failingStarts = {"P"};
    m_env.ownWindows = {"R"};
    m_env.inputAt = 3 * kFailedShowRetryMs + 1000;
    const ScreenPlan plan = {2, true, MonitorMode::DifferentOnEach, 0};
    EXPECT_EQ(RunScreenCycles(m_rotation, plan, "/s", m_env, &health), RunEnd::ChildEnded);
    EXPECT_EQ(std::count(m_env.log.begin(), m_env.log.end(), "start Q"), 1) << "Q showed on";
    SaverHealthRecord record;
    ASSERT_TRUE(health.Find(path("R"), &record));
    EXPECT_EQ(record.m_fault, SaverFault::CannotPreview);
    EXPECT_TRUE(record.IsLeftOut());
    ASSERT_TRUE(health.Find(path("P"), &record));
    EXPECT_EQ(record.m_fault, SaverFault::CouldNotStart);
    EXPECT_TRUE(record.IsLeftOut());
    EXPECT_FALSE(health.Find(path("Q"), nullptr));
    const auto retried = [this](DWORD from) {
        return std::any_of(m_env.failTicks.begin(), m_env.failTicks.end(),
                           [from](DWORD tick) { return tick >= from && tick < from + 1000; });
    };
    EXPECT_TRUE(retried(kFailedShowRetryMs)) << "no retry after a minute";
    EXPECT_EQ(m_env.failTicks.size(), 3u) << "left out: no start at the later retries";
    EXPECT_EQ(m_env.log.back(), "close 1");
}
