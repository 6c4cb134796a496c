// The watch on the user's input, on its own thread, against input injected here as a
// remote control gives it, against the records a device would hand on, and against a
// system that dropped the hooks.
#include "saver/UserInputWatch.h"

#include "tests/run/RunTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Turns a hang into a failure; the watch hears input within milliseconds.
const DWORD kHangGuardMs = 30000;
// Input in this long a time after a switch was once passed over for being early.
const DWORD kBeyondOldSettleMs = 300;
const LONG kDeviceJitter = 1;

// Wine starts its desktop process, without which SendInput fails, when the first window
// of a fresh prefix is made: a test run alone in a fresh session makes one first. That
// process ends a few seconds after the session's last window, and Wine takes a desktop
// process started again for no input desktop, refusing all injected input, until the
// desktop is switched to (on Windows the session's desktop is the input desktop).
class UserInputWatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_hWnd = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        ASSERT_TRUE(::SwitchDesktop(::GetThreadDesktop(::GetCurrentThreadId())));
    }
    void TearDown() override { ::DestroyWindow(m_hWnd); }

    HWND m_hWnd = nullptr;
};

}  // namespace

// Every Forget sets the hooks anew, and the watch hears the input after each; with nobody
// at the machine neither the hooks nor the time of the last input tell of any.
TEST_F(UserInputWatchTest, HooksSetAnewAtEachForgetHearTheUsersInput)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install());
    ASSERT_EQ(watch.GetSource(), UserInputWatch::Source::Hooks);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        watch.Forget();
        EXPECT_EQ(::WaitForSingleObject(watch.GetInputEvent(), 2 * kBeyondOldSettleMs + 500),
                  static_cast<DWORD>(WAIT_TIMEOUT));
        const DWORD dwSent = ::GetTickCount();
        ASSERT_EQ(SendKeyPress(VK_SHIFT), 2u);
        ASSERT_EQ(::WaitForSingleObject(watch.GetInputEvent(), kHangGuardMs), WAIT_OBJECT_0);
        EXPECT_TRUE(watch.HasUserInput());
        EXPECT_GE(static_cast<LONG>(watch.GetInputTick() - dwSent), 0);
    }
}

// A move of the last input time that the hooks saw is theirs to judge; one that no hook
// call matched by the next poll means the system dropped the hooks, and counts once the
// pointer has moved (Wine moves the time with no hook call when a window comes or goes).
TEST_F(UserInputWatchTest, LastInputTimeThatNoHookSawCountsByTheNextPoll)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install());
    watch.Forget();
    LASTINPUTINFO info = {sizeof(info), 0};
    ASSERT_TRUE(::GetLastInputInfo(&info));
    POINT pt = {};
    ASSERT_TRUE(::GetCursorPos(&pt));
    watch.NoteLastInputTime(info.dwTime + 1);
    watch.NoteMouseMove(false, pt);
    watch.NoteLastInputTime(info.dwTime + 1);
    EXPECT_FALSE(watch.HasUserInput()) << "a move the hooks saw counted";

    watch.NoteLastInputTime(info.dwTime + 2);
    EXPECT_FALSE(watch.HasUserInput()) << "counted before the hooks had their time";
    watch.NoteLastInputTime(info.dwTime + 2);
    EXPECT_FALSE(watch.HasUserInput()) << "counted with the pointer where it was";
    ASSERT_TRUE(::SetCursorPos(pt.x + 20, pt.y + 20));
    watch.NoteLastInputTime(info.dwTime + 2);
    EXPECT_TRUE(watch.HasUserInput());
}

// A saver's SetCursorPos moves the pointer while the device stays where it was; after the
// switch the device reports the pointer's new place, and a jitter of a pixel from there is
// no input.
TEST_F(UserInputWatchTest, DeviceMovesCountFromWhereTheDeviceIsAfterEachSwitch)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install());
    POINT pt = {};
    ASSERT_TRUE(::GetCursorPos(&pt));
    watch.NoteMouseMove(false, pt);
    ASSERT_TRUE(::SetCursorPos(pt.x + 10, pt.y + 10));
    POINT moved = {};
    ASSERT_TRUE(::GetCursorPos(&moved));
    ASSERT_NE(moved.x, pt.x) << "the pointer did not move";

    watch.Forget();
    watch.NoteMouseMove(false, moved);
    watch.NoteMouseMove(false, POINT{moved.x + kDeviceJitter, moved.y});
    EXPECT_FALSE(watch.HasUserInput());
    watch.NoteMouseMove(false, POINT{moved.x + 20, moved.y});
    EXPECT_TRUE(watch.HasUserInput());
}

// Where the hooks cannot be had, the time of the last input tells of the user's input.
TEST_F(UserInputWatchTest, WithoutHooksTheLastInputTimeIsPolled)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install(UserInputWatch::Source::LastInputTime));
    EXPECT_EQ(watch.GetSource(), UserInputWatch::Source::LastInputTime);
    watch.Forget();
    EXPECT_EQ(::WaitForSingleObject(watch.GetInputEvent(), 2 * kBeyondOldSettleMs + 500),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(watch.HasUserInput());
    ASSERT_EQ(SendKeyPress(VK_SHIFT), 2u);
    EXPECT_EQ(::WaitForSingleObject(watch.GetInputEvent(), kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_TRUE(watch.HasUserInput());
}
