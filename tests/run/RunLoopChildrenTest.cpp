// The run loop with its real environment: the cover, child savers as processes, the
// injected input and termination, with switch delays of a second or two instead of
// minutes.
#include "run/CoverRunEnvironment.h"
#include "run/RunLoop.h"
#include "run/RunMode.h"
#include "run/SSCoverWnd.h"
#include "run/SaverRotation.h"

#include "saver/ChildSaver.h"
#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/run/RunTestSupport.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
// A mouse move that ends a well-behaved saver.
const LONG kUserMove = 40;

// The real environment, watched: what the screen shows before each start, when each
// start returns, how long each stop takes, whether the saver's window had come up and what
// the screen shows after it. A start may be held up first, as by a slow CreateProcess.
class WatchedEnvironment final : public RunEnvironment {
public:
    struct Start {
        std::string path;
        DWORD tick;
        bool bScreenAsExpected;
        std::string screen;
    };
    struct Stop {
        DWORD begin;
        DWORD end;
        bool bEndedByItself;
        bool bBlackAfter;
        bool bWindowUp;
    };

    WatchedEnvironment(SSCoverWnd& cover, SSSettings& settings, COLORREF beforeStart)
        : m_real(cover, settings)
        , m_beforeStart(beforeStart)
    {
    }

    std::vector<Start> starts;
    std::vector<Stop> stops;
    unsigned ends = 0;  // savers ended after the user's input went unheard
    size_t maxStarts = 12;
    DWORD startBlockMs = 0;
    std::atomic<bool> blocking{false};
    // When each wait would time out at the latest, and when the unheard input came.
    std::vector<DWORD> deadlines;
    DWORD inputTickAtEnd = 0;

    DWORD GetTicks() override { return m_real.GetTicks(); }
    bool GetShowDesktop() override { return m_real.GetShowDesktop(); }
    void SetPaintDesktop(size_t nScreen, bool bDesktop) override
    {
        m_real.SetPaintDesktop(nScreen, bDesktop);
    }
    HWND OpenHost(size_t nScreen) override { return m_real.OpenHost(nScreen); }
    void CloseHost(size_t nScreen) override { m_real.CloseHost(nScreen); }
    bool ShowsOwnWindow(ChildSaver& child) override { return m_real.ShowsOwnWindow(child); }

    ChildSaver StartChild(const AnsiString& path, const AnsiString& commandLine) override
    {
        // A run that would never end (the user's input lost) fails instead: no more starts
        // end the cycles after one round of failures.
        if (starts.size() >= maxStarts)
            return ChildSaver();
        Start start = {path.str(), 0, false, std::string()};
        start.bScreenAsExpected = ScreenShows(m_beforeStart, &start.screen);
        blocking = true;
        ::Sleep(startBlockMs);
        blocking = false;
        ChildSaver child = m_real.StartChild(path, commandLine);
        start.tick = ::GetTickCount();
        starts.push_back(start);
        return child;
    }

    DWORD WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount, DWORD dwTimeoutMs) override
    {
        deadlines.push_back(::GetTickCount() + dwTimeoutMs);
        return m_real.WaitForSavers(ppSavers, nCount, dwTimeoutMs);
    }

    bool StopChild(ChildSaver& child) override
    {
        // A start that failed has nothing to stop.
        if (!child)
            return m_real.StopChild(child);
        const bool bWindowUp = WaitForProcessWindow(child.Process());
        Stop stop = {::GetTickCount(), 0, false, false, bWindowUp};
        stop.bEndedByItself = m_real.StopChild(child);
        stop.end = ::GetTickCount();
        std::string seen;
        stop.bBlackAfter = ScreenShows(kBlack, &seen);
        stops.push_back(stop);
        return stop.bEndedByItself;
    }

    void EndChild(ChildSaver& child) override
    {
        ++ends;
        inputTickAtEnd = m_real.GetUserInputTick();
        m_real.EndChild(child);
    }
    bool ForgetUserInput() override { return m_real.ForgetUserInput(); }
    bool HasUserInput() override { return m_real.HasUserInput(); }
    DWORD GetUserInputTick() override { return m_real.GetUserInputTick(); }
    DisplayState GetDisplayState() override { return m_real.GetDisplayState(); }
    DWORD WaitForMessages(DWORD dwTimeoutMs) override
    {
        return m_real.WaitForMessages(dwTimeoutMs);
    }
    DWORD GetFadeMs() override { return m_real.GetFadeMs(); }
    void SetFade(size_t nScreen, BYTE nAlpha) override { m_real.SetFade(nScreen, nAlpha); }

private:
    // Waits until the process shows a fixture saver's window; false when it ended first.
    static bool WaitForProcessWindow(HANDLE hProcess)
    {
        const DWORD pid = ::GetProcessId(hProcess);
        for (int step = 0; step < kWindowWaitSteps; ++step) {
            for (HWND hWnd = ::FindWindowA(fixture::kSaverWindowClass, nullptr); hWnd != nullptr;
                 hWnd = ::FindWindowExA(nullptr, hWnd, fixture::kSaverWindowClass, nullptr)) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(hWnd, &owner);
                if (owner == pid && ::IsWindowVisible(hWnd))
                    return true;
            }
            if (::WaitForSingleObject(hProcess, kWindowWaitStepMs) != WAIT_TIMEOUT)
                return false;
        }
        return false;
    }

    static constexpr int kWindowWaitSteps = 200;
    static constexpr DWORD kWindowWaitStepMs = 50;

    CoverRunEnvironment m_real;
    COLORREF m_beforeStart;
};

// The user moving the mouse, again and again until the saver has heard it or the run has
// ended: a single move can be lost while a new saver's window takes its first pointer
// position. (The recording saver waits on after each input, so it must not get more.)
class MovingUser {
public:
    explicit MovingUser(
        std::function<bool()> ready, std::function<bool()> heard = [] { return false; })
        : m_thread([this, ready = std::move(ready), heard = std::move(heard)] {
            // Input in the first moments of a saver after a switch is taken for the
            // switch's own.
            if (!ready())
                return;
            ::Sleep(kAfterSwitchMs);
            LONG dx = kUserMove;
            for (int i = 0; i < kMaxMoves && !m_done && !heard(); ++i, dx = -dx) {
                SendMouseMove(dx, kUserMove);
                ::Sleep(kMovePauseMs);
            }
        })
    {
    }
    MovingUser(const MovingUser&) = delete;
    MovingUser& operator=(const MovingUser&) = delete;
    ~MovingUser() { Stop(); }

    void Stop()
    {
        m_done = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    static constexpr DWORD kAfterSwitchMs = 500;
    static constexpr int kMaxMoves = 200;
    static constexpr DWORD kMovePauseMs = 150;

    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

PathList Savers(std::initializer_list<std::string> paths)
{
    PathList list;
    for (const std::string& path : paths)
        list.Add(AnsiString(path));
    return list;
}

AnsiString LastStarted()
{
    char buffer[MAX_PATH] = {};
    RegReadValue(kSettingsKey, kLastStartedValue, buffer, MAX_PATH - 1);
    return AnsiString(buffer);
}

// True when the lines hold the wanted ones in this order, others in between allowed.
bool HasInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted)
{
    size_t next = 0;
    for (const std::string& line : lines)
        if (next < wanted.size() && line == wanted[next])
            ++next;
    return next == wanted.size();
}

class RunLoopChildrenTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (m_cover.IsWindow())
            ::DestroyWindow(m_cover);
        PumpMessages();
    }

    // The cover over a desktop of the backdrop colour, which is gone again before the
    // cover is shown: only the snapshot can show that colour afterwards.
    void ShowCoverOverBackdrop()
    {
        {
            Backdrop backdrop;
            std::string seen;
            ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
            ASSERT_TRUE(m_cover.CreateCover());
        }
        m_cover.ShowCover(true);
    }

    ScratchRegistry m_registry;
    SSCoverWnd m_cover;
    SSSettings m_settings;
    SaverRotation m_rotation;
};

}  // namespace

TEST_F(RunLoopChildrenTest, SaverThatIgnoresInputIsTerminatedAfterTheGraceAndTheNextStarts)
{
    const std::string ignoring = FixturePath(fixture::kIgnoreInput.fileName);
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    // With two savers, the one that was not started first last time comes first.
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, recorder));
    m_rotation.Prepare(Savers({ignoring, recorder}), MakeShuffleSeed());
    ASSERT_EQ(m_rotation.CurrentPath().str(), ignoring);
    ASSERT_EQ(LastStarted().str(), ignoring);

    RecordFile record;
    ShowCoverOverBackdrop();
    m_settings.SetShowDesktop(true);
    WatchedEnvironment env(m_cover, m_settings, kBackdropColor);
    MovingUser user([&] { return record.WaitForLine(fixture::kRecordReady); },
                    [&] {
                        for (const std::string& line : record.Lines()) {
                            if (line.compare(0, 11, fixture::kRecordMouseMovePrefix) == 0 &&
                                line != "mouse move 0 0")
                                return true;
                        }
                        return false;
                    });
    const DWORD kDelayMs = 1500;
    const RunEnd end = RunSaverCycles(m_rotation, "/s", kDelayMs, env);
    user.Stop();

    EXPECT_EQ(end, RunEnd::ChildEnded);
    ASSERT_EQ(env.starts.size(), 2u);
    ASSERT_EQ(env.stops.size(), 1u);
    EXPECT_EQ(env.starts[0].path, ignoring);
    EXPECT_EQ(env.starts[1].path, recorder);
    // The snapshot of the desktop is on the screen before each start.
    EXPECT_TRUE(env.starts[0].bScreenAsExpected) << env.starts[0].screen;
    EXPECT_TRUE(env.starts[1].bScreenAsExpected) << env.starts[1].screen;
    // The switch comes when the time is up, counted from the start's return.
    EXPECT_GE(env.stops[0].begin - env.starts[0].tick, kDelayMs);
    // Terminated only after the whole grace, then black until the next start.
    EXPECT_FALSE(env.stops[0].bEndedByItself);
    EXPECT_GE(env.stops[0].end - env.stops[0].begin, kChildStopGraceMs);
    EXPECT_TRUE(env.stops[0].bBlackAfter);
    std::printf(
        "switch: time-up after %lu ms, stop took %lu ms, next start %lu ms after the stop\n",
        static_cast<unsigned long>(env.stops[0].begin - env.starts[0].tick),
        static_cast<unsigned long>(env.stops[0].end - env.stops[0].begin),
        static_cast<unsigned long>(env.starts[1].tick - env.stops[0].end));

    EXPECT_EQ(record.LinesStartingWith(fixture::kRecordCmdLinePrefix),
              std::vector<std::string>{fixture::kRecordCmdLinePrefix + recorder + " /s"});
    // The switch did not touch the record of the first saver.
    EXPECT_EQ(LastStarted().str(), ignoring);
}

// At the switch the saver is closed, with no input: the next saver gets nothing of it.
TEST_F(RunLoopChildrenTest, SaverIsClosedAtTheSwitchWithNoInput)
{
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    const std::string tiles = FixturePath(fixture::kSampleTiles.fileName);
    ASSERT_TRUE(RegWriteString(kSettingsKey, kLastStartedValue, tiles));
    m_rotation.Prepare(Savers({tiles, recorder}), MakeShuffleSeed());
    ASSERT_EQ(m_rotation.CurrentPath().str(), recorder);

    RecordFile record;
    ShowCoverOverBackdrop();
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    MovingUser user([&] {
        return record.WaitForLine(fixture::kRecordClose) &&
            WaitForSaverWindow(fixture::kSampleTiles.description) != nullptr;
    });
    // The user moves half a second after the second saver's window has come, which took
    // up to a second on a loaded machine: its time must outlast that.
    const DWORD kDelayMs = 3000;
    const RunEnd end = RunSaverCycles(m_rotation, "/s", kDelayMs, env);
    user.Stop();

    EXPECT_EQ(end, RunEnd::ChildEnded);
    ASSERT_EQ(env.starts.size(), 2u);
    ASSERT_EQ(env.stops.size(), 1u);
    EXPECT_EQ(env.starts[1].path, tiles);
    // ShowDesktop off: black before every start.
    EXPECT_TRUE(env.starts[0].bScreenAsExpected) << env.starts[0].screen;
    EXPECT_TRUE(env.starts[1].bScreenAsExpected) << env.starts[1].screen;
    // Ended by itself on the close, not terminated after the grace.
    EXPECT_TRUE(env.stops[0].bEndedByItself);
    const std::vector<std::string> lines = record.Lines();
    EXPECT_TRUE(HasInOrder(lines, {fixture::kRecordReady, fixture::kRecordClose}))
        << testing::PrintToString(lines);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.rfind(fixture::kRecordKeyDownPrefix, 0) != 0 &&
                    line != fixture::kRecordLButtonDown)
            << "input reached the saver: " << line;
    EXPECT_EQ(LastStarted().str(), recorder);
}

// With nobody at the machine a saver's own end is no wish to end the run: a selection of
// savers that only die leaves the cycles after one round, for the black cover to wait.
TEST_F(RunLoopChildrenTest, SaverThatCrashesIsPassedOver)
{
    m_rotation.Prepare(Savers({FixturePath(fixture::kCrash.fileName)}), MakeShuffleSeed());
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 60000, env), RunEnd::NothingStarted);
    EXPECT_EQ(env.starts.size(), 1u);
    EXPECT_TRUE(env.stops.empty());
}

TEST_F(RunLoopChildrenTest, SaverThatExitsAtOnceIsPassedOverWithSwitchingOff)
{
    m_rotation.Prepare(Savers({FixturePath(fixture::kExitAtOnce.fileName)}), MakeShuffleSeed());
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 0, env), RunEnd::NothingStarted);
    EXPECT_EQ(env.starts.size(), 1u);
}

TEST_F(RunLoopChildrenTest, SaversThatCannotStartSendNoInput)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string missing = std::string(temp) + "QuillmixMissing.scr";
    const std::string notAProgram = std::string(temp) + "QuillmixNotAProgram.scr";
    {
        std::ofstream text(notAProgram);
        text << "not a program\n";
    }
    m_rotation.Prepare(Savers({missing, notAProgram}), MakeShuffleSeed());
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    POINT before = {};
    ::GetCursorPos(&before);
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 60000, env), RunEnd::NothingStarted);
    EXPECT_EQ(env.starts.size(), 2u);
    PumpMessages();
    POINT after = {};
    ::GetCursorPos(&after);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    ::DeleteFileA(notAProgram.c_str());
}

// Run mode's thread held up in a long call (here a start that blocks for 3 s) does not hold
// up the watch on the input: the user's input during it is seen when it comes, and a saver
// deaf to it is ended kChildStopGraceMs after that input, with switching off.
TEST_F(RunLoopChildrenTest, InputWhileRunModeIsBlockedEndsADeafSaverTheGraceAfterTheInput)
{
    m_rotation.Prepare(Savers({FixturePath(fixture::kIgnoreInput.fileName)}), MakeShuffleSeed());
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    env.startBlockMs = 3000;
    std::atomic<DWORD> inputSent{0};
    std::thread user([&] {
        while (!env.blocking)
            ::Sleep(10);
        ::Sleep(2000);
        inputSent = ::GetTickCount();
        SendMouseMove(kUserMove, kUserMove);
    });
    const RunEnd end = RunSaverCycles(m_rotation, "/s", 0, env);
    user.join();

    EXPECT_EQ(end, RunEnd::InputUnheard);
    ASSERT_EQ(env.starts.size(), 1u);
    EXPECT_EQ(env.ends, 1u);
    const DWORD inputTick = env.inputTickAtEnd;
    // Seen when it came, while the start was still blocked.
    EXPECT_GE(static_cast<LONG>(inputTick - inputSent), 0) << "input counted before it was given";
    EXPECT_LT(static_cast<LONG>(inputTick - env.starts[0].tick), 0)
        << "the input was seen only " << inputTick - env.starts[0].tick
        << " ms after the start returned";
    // The last wait ran to the grace after the input, not after the start's return.
    ASSERT_FALSE(env.deadlines.empty());
    EXPECT_LT(static_cast<LONG>(env.deadlines.back() - (env.starts[0].tick + kChildStopGraceMs)),
              0);
    EXPECT_GE(static_cast<LONG>(env.deadlines.back() - (inputTick + kChildStopGraceMs)), 0);
}

// The stop's input never reaches the next saver, which would end on it: savers built like
// the common library (they end on any input and on the loss of the activation) each come up
// and run until their switch, 20 switches in a row.
TEST_F(RunLoopChildrenTest, EverySwitchBringsUpTheNextLibrarySaver)
{
    const size_t kSwitches = 20;
    PathList savers;
    for (const fixture::FixtureSaver& saver : fixture::kLibrarySavers)
        savers.Add(AnsiString(FixturePath(saver.fileName)));
    m_rotation.Prepare(savers, MakeShuffleSeed());
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    WatchedEnvironment env(m_cover, m_settings, kBlack);
    env.maxStarts = kSwitches + 1;
    // After the last start the starts fail, and the cycles end after a round of them.
    EXPECT_EQ(RunSaverCycles(m_rotation, "/s", 1000, env), RunEnd::NothingStarted);

    ASSERT_EQ(env.starts.size(), kSwitches + 1);
    EXPECT_EQ(env.stops.size(), env.starts.size()) << "a saver ended before its switch";
    for (size_t i = 0; i < env.stops.size(); ++i) {
        EXPECT_TRUE(env.stops[i].bWindowUp) << "saver " << i << " never came up";
        EXPECT_TRUE(env.stops[i].bEndedByItself) << "saver " << i << " did not take the stop";
    }
}

// A saver that does not close on WM_CLOSE is terminated after the grace, also without a cover.
TEST_F(RunLoopChildrenTest, SaverDeafToTheCloseIsTerminatedWithoutACover)
{
    const std::string ignoring = FixturePath(fixture::kIgnoreInput.fileName);
    CoverRunEnvironment env(m_cover, m_settings);
    ChildSaver child = env.StartChild(AnsiString(ignoring), AnsiString(ignoring + " /s"));
    ASSERT_TRUE(child);
    ASSERT_NE(WaitForSaverWindow(fixture::kIgnoreInput.description), nullptr);
    EXPECT_FALSE(env.StopChild(child));
    EXPECT_FALSE(child.IsRunning());
}

TEST_F(RunLoopChildrenTest, WithoutSaversTheCoverEndsOnARealMoveOrKeyOnly)
{
    ASSERT_TRUE(m_cover.CreateCover());
    const int cursorBefore = CursorCount();
    m_cover.ShowCover(true);
    std::atomic<bool> keySent{false};
    std::thread user([&] {
        ::Sleep(300);
        SendMouseMove(2, 1);
        ::Sleep(300);
        SendMouseMove(-1, -2);
        ::Sleep(300);
        keySent = true;
        SendKeyPress(VK_SHIFT);
    });
    WaitForUserInput(m_cover);
    user.join();
    EXPECT_TRUE(keySent) << "a tiny move ended the wait";
    EXPECT_TRUE(m_cover.HasUserInput());
    ::DestroyWindow(m_cover);
    EXPECT_EQ(CursorCount(), cursorBefore);
}

TEST_F(RunLoopChildrenTest, WithoutSaversOneRealMoveEndsTheWait)
{
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    std::thread user([&] {
        ::Sleep(300);
        SendMouseMove(kUserMove, 0);
    });
    WaitForUserInput(m_cover);
    user.join();
    EXPECT_TRUE(m_cover.HasUserInput());
}

TEST_F(RunLoopChildrenTest, WithoutACoverWindowTheWaitReturnsAtOnce)
{
    WaitForUserInput(m_cover);
    EXPECT_FALSE(m_cover.HasUserInput());
}
