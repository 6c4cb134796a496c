// Starting, waiting for and stopping real child savers (the fixture savers).
#include "saver/ChildSaver.h"

#include "tests/app/ChildTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace apptest;

namespace {

// Turns a hang into a failure; nothing waited for here comes near it.
const DWORD kHangGuardMs = 30000;

// The pointer in the middle of the screen, so that the injected move of 10, 10 is not
// cut off at an edge and the child's start position is known.
// A saver started the moment after SetCursorPos can get a first move from the pointer's
// place before it and end at once (seen once under Wine 10): the pointer settles first.
const DWORD kPointerSettleMs = 200;

void CenterCursor()
{
    ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2);
    PumpFor(kPointerSettleMs);
}

// Waits until the child's full-screen window is up; false when the child ended first.
bool WaitForSaverWindow(HANDLE hProcess)
{
    const DWORD pid = ::GetProcessId(hProcess);
    return PumpUntil(hProcess, [pid] {
        return FindProcessWindow(pid, fixture::kSaverWindowClass, nullptr) != nullptr;
    });
}

// Ends a child that a failed check left running.
void Kill(HANDLE hProcess)
{
    if (hProcess != nullptr && ::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(hProcess, 1);
        ::WaitForSingleObject(hProcess, INFINITE);
    }
}

void WaitUntilEnded(HANDLE hProcess)
{
    ASSERT_EQ(WaitForChildPumpingUntilEnd(hProcess), WAIT_OBJECT_0);
}

class ChildSaverTest : public ::testing::Test {
protected:
    void SetUp() override { CenterCursor(); }

    ScratchDir m_dir;
    RecordFile m_record{m_dir};
};

TEST_F(ChildSaverTest, ChildSeesExactlyTheCommandLineGiven)
{
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    // Preview of a window that does not exist: the Recorder writes its line and ends.
    const std::string cmdLine = recorder + " /p 1 Mixed  Case \t\"quoted\" last";
    UniqueHandle child = StartChildSaver(recorder.c_str(), cmdLine);
    ASSERT_TRUE(child);
    WaitUntilEnded(child.get());
    const std::vector<std::string> lines = m_record.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), fixture::kRecordCmdLinePrefix + cmdLine);
    EXPECT_EQ(ExitCodeOf(child.get()), fixture::kFixtureExitCode);
}

TEST_F(ChildSaverTest, PathWithBlanksIsStartedUnquoted)
{
    const std::string copy =
        m_dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Recorder copy.scr");
    ASSERT_FALSE(copy.empty());
    ASSERT_NE(copy.find(' '), std::string::npos);
    const std::string cmdLine = copy + " /p 1";
    UniqueHandle child = StartChildSaver(copy.c_str(), cmdLine);
    ASSERT_TRUE(child);
    WaitUntilEnded(child.get());
    const std::vector<std::string> lines = m_record.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), fixture::kRecordCmdLinePrefix + cmdLine);
}

TEST_F(ChildSaverTest, StartOfAMissingFileFailsWithoutHandle)
{
    const std::string missing = m_dir.PathOf("Missing.scr");
    UniqueHandle child = StartChildSaver(missing.c_str(), missing + " /s");
    EXPECT_FALSE(child);
}

// The stop closes the saver as the task list's End task does: no input reaches it, and the
// pointer stays where it was.
TEST_F(ChildSaverTest, StopClosesTheRecorderWithNoInput)
{
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    UniqueHandle child = StartChildSaver(recorder.c_str(), recorder + " /s");
    ASSERT_TRUE(child);
    ASSERT_TRUE(
        PumpUntil(child.get(), [this] { return m_record.Contains(fixture::kRecordReady); }));
    ASSERT_TRUE(WaitForSaverWindow(child.get()));
    POINT before = {};
    ::GetCursorPos(&before);

    EXPECT_TRUE(StopChildSaver(child.get())) << "the child was terminated";
    EXPECT_EQ(ExitCodeOf(child.get()), fixture::kFixtureExitCode);
    const std::vector<std::string> lines = m_record.Lines();
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    EXPECT_TRUE(HasInOrder(lines, {fixture::kRecordReady, fixture::kRecordClose})) << all;
    for (const std::string& line : lines)
        EXPECT_NE(line.rfind(fixture::kRecordKeyDownPrefix, 0), 0u) << all;
    EXPECT_FALSE(m_record.Contains(fixture::kRecordLButtonDown)) << all;
    POINT after = {};
    ::GetCursorPos(&after);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    Kill(child.get());
}

TEST_F(ChildSaverTest, StopClosesEveryWellBehavedSample)
{
    for (const fixture::FixtureSaver& sample : fixture::kSamples) {
        SCOPED_TRACE(sample.fileName);
        const std::string path = FixturePath(sample.fileName);
        UniqueHandle child = StartChildSaver(path.c_str(), path + " /s");
        ASSERT_TRUE(child);
        ASSERT_TRUE(WaitForSaverWindow(child.get()));
        EXPECT_TRUE(StopChildSaver(child.get()));
        EXPECT_EQ(ExitCodeOf(child.get()), fixture::kFixtureExitCode);
        Kill(child.get());
    }
}

TEST_F(ChildSaverTest, ChildThatIgnoresInputIsTerminatedAfterTheGrace)
{
    const std::string path = FixturePath(fixture::kIgnoreInput.fileName);
    UniqueHandle child = StartChildSaver(path.c_str(), path + " /s");
    ASSERT_TRUE(child);
    ASSERT_TRUE(WaitForSaverWindow(child.get()));

    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(StopChildSaver(child.get()));
    const DWORD elapsed = ::GetTickCount() - start;
    // GetTickCount moves in steps of a timer tick or so: allow for that, no more.
    EXPECT_GE(elapsed, kChildStopGraceMs - 100);
    EXPECT_EQ(::WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0)
        << "still running after the stop";
    EXPECT_EQ(ExitCodeOf(child.get()), 0u);
    Kill(child.get());
}

// A window of the test that notes, when its message comes, whether the child still ran.
class MessageProbe {
public:
    static constexpr UINT kProbeMessage = WM_APP + 17;

    MessageProbe()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "QuillmixMessageProbe";
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    MessageProbe(const MessageProbe&) = delete;
    MessageProbe& operator=(const MessageProbe&) = delete;
    ~MessageProbe() { ::DestroyWindow(m_hWnd); }

    HWND Window() const { return m_hWnd; }

    HANDLE m_hChild = nullptr;
    bool m_bTerminateChild = false;
    int m_nHandled = 0;
    bool m_bChildRanWhenHandled = false;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<MessageProbe*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        if (msg != kProbeMessage || self == nullptr)
            return ::DefWindowProcA(hWnd, msg, wParam, lParam);
        ++self->m_nHandled;
        self->m_bChildRanWhenHandled = ::WaitForSingleObject(self->m_hChild, 0) == WAIT_TIMEOUT;
        if (self->m_bTerminateChild)
            ::TerminateProcess(self->m_hChild, 0);
        return 0;
    }

    HWND m_hWnd = nullptr;
};

TEST_F(ChildSaverTest, WaitDispatchesTheCallersMessagesWhileTheChildRuns)
{
    const std::string path = FixturePath(fixture::kIgnoreInput.fileName);
    UniqueHandle child = StartChildSaver(path.c_str(), path + " /s");
    ASSERT_TRUE(child);
    ASSERT_TRUE(WaitForSaverWindow(child.get()));
    MessageProbe probe;
    probe.m_hChild = child.get();

    // One wait: it comes back after dispatching the message, with the child still there.
    ASSERT_TRUE(::PostMessageA(probe.Window(), MessageProbe::kProbeMessage, 0, 0));
    EXPECT_EQ(WaitForChildPumping(child.get(), INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(probe.m_nHandled, 1);
    EXPECT_TRUE(probe.m_bChildRanWhenHandled);

    // The wait to the end: the message is handled while the child runs, and the wait ends
    // when the handler has ended the child.
    probe.m_bTerminateChild = true;
    ASSERT_TRUE(::PostMessageA(probe.Window(), MessageProbe::kProbeMessage, 0, 0));
    EXPECT_EQ(WaitForChildPumpingUntilEnd(child.get()), WAIT_OBJECT_0);
    EXPECT_EQ(probe.m_nHandled, 2);
    EXPECT_TRUE(probe.m_bChildRanWhenHandled);
    Kill(child.get());
}

TEST_F(ChildSaverTest, WaitTimesOutWhileTheChildRuns)
{
    const std::string path = FixturePath(fixture::kIgnoreInput.fileName);
    UniqueHandle child = StartChildSaver(path.c_str(), path + " /s");
    ASSERT_TRUE(child);
    ASSERT_TRUE(WaitForSaverWindow(child.get()));
    DWORD result;
    do {
        result = WaitForChildPumping(child.get(), 50);
    } while (result == WAIT_OBJECT_0 + 1);
    EXPECT_EQ(result, static_cast<DWORD>(WAIT_TIMEOUT));
    Kill(child.get());
}

// A saver in a job is every process it starts: the waits move on from a launcher to the
// saver it started, a stop ends that one, and the job's last handle ends a helper.
TEST_F(ChildSaverTest, SaverInAJobIsEveryProcessItStarts)
{
    const std::string launcher = FixturePath(fixture::kLauncher.fileName);
    ChildSaver saver = ChildSaver::Start(launcher.c_str(), launcher + " /s");
    ASSERT_TRUE(saver);
    EXPECT_TRUE(saver.HasJob());
    const DWORD launcherPid = ::GetProcessId(saver.Process());
    while (saver.WaitPumping(INFINITE) == WAIT_OBJECT_0 + 1 &&
           ::GetProcessId(saver.Process()) == launcherPid) { }
    EXPECT_NE(::GetProcessId(saver.Process()), launcherPid) << "the launcher's saver was lost";
    ASSERT_TRUE(
        PumpUntil(saver.Process(), [this] { return m_record.Contains(fixture::kRecordReady); }));
    ASSERT_TRUE(WaitForSaverWindow(saver.Process()));
    EXPECT_TRUE(saver.Stop());
    EXPECT_TRUE(m_record.Contains(fixture::kRecordClose));

    const std::string withHelper = FixturePath(fixture::kWithHelper.fileName);
    saver = ChildSaver::Start(withHelper.c_str(), withHelper + " /s");
    ASSERT_TRUE(saver);
    HWND helperWindow = nullptr;
    ASSERT_TRUE(PumpUntil(saver.Process(), [&] {
        helperWindow = ::FindWindowA(fixture::kSaverWindowClass, fixture::kHelper.description);
        return helperWindow != nullptr;
    }));
    DWORD helperPid = 0;
    ::GetWindowThreadProcessId(helperWindow, &helperPid);
    UniqueHandle helper(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, helperPid));
    ASSERT_TRUE(helper);
    saver = ChildSaver();
    EXPECT_EQ(::WaitForSingleObject(helper.get(), kHangGuardMs), WAIT_OBJECT_0)
        << "the helper outlived its job";
    Kill(helper.get());
}

// A saver may die between the end of its time and the stop: the stop then has nothing to do.
TEST_F(ChildSaverTest, SaverThatHasEndedIsStoppedAtOnce)
{
    const std::string path = FixturePath(fixture::kExitAtOnce.fileName);
    ChildSaver saver = ChildSaver::Start(path.c_str(), path + " /s");
    ASSERT_TRUE(saver);
    ASSERT_EQ(::WaitForSingleObject(saver.Process(), kHangGuardMs), WAIT_OBJECT_0);
    UniqueHandle plain = StartChildSaver(path.c_str(), path + " /s");
    ASSERT_TRUE(plain);
    ASSERT_EQ(::WaitForSingleObject(plain.get(), kHangGuardMs), WAIT_OBJECT_0);

    POINT before = {};
    ::GetCursorPos(&before);
    EXPECT_TRUE(saver.Stop());
    EXPECT_TRUE(StopChildSaver(plain.get()));
    POINT after = {};
    ::GetCursorPos(&after);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
}

TEST_F(ChildSaverTest, NullHandleFailsTheWaitAndInjectsNothing)
{
    const int kMessageRounds = 100;
    // Windows fails a wait on a null handle at once; Wine first reports messages that are
    // waiting, also ones that arrive meanwhile (and the function dispatches them), so the
    // wait is asked again after those, a bounded number of times.
    // A time-out long enough that a wait that does not fail would show in the result.
    DWORD result = WAIT_OBJECT_0 + 1;
    for (int i = 0; i < kMessageRounds && result == WAIT_OBJECT_0 + 1; ++i)
        result = WaitForChildPumping(nullptr, 30000);
    EXPECT_EQ(result, WAIT_FAILED);
    EXPECT_EQ(WaitForChildPumpingUntilEnd(nullptr), WAIT_FAILED);

    POINT before = {};
    ::GetCursorPos(&before);
    EXPECT_FALSE(StopChildSaver(nullptr));
    POINT after = {};
    ::GetCursorPos(&after);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);

    // The same look at the pointer does see an injected move.
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = 10;
    move.mi.dy = 10;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    ASSERT_EQ(::SendInput(1, &move, sizeof(INPUT)), 1u);
    POINT moved = {};
    ::GetCursorPos(&moved);
    EXPECT_NE(moved.x, before.x);
}

}  // namespace
