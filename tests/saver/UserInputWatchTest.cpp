// The watch on the user's input, on its own thread, against input injected here as the
// stop and the user give it, and against the records a device would hand on.
#include "saver/UserInputWatch.h"

#include "saver/ChildSaver.h"
#include "tests/run/RunTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Turns a hang into a failure; the watch hears input within milliseconds.
const DWORD kHangGuardMs = 30000;
// Input in this long a time after a switch was once passed over for being early.
const DWORD kBeyondOldSettleMs = 300;
const LONG kDeviceJitter = 1;

// Waits until the watch has passed over that many records of run mode's own input.
bool WaitForOwnRecords(const UserInputWatch& watch, ULONG nRecords)
{
    const DWORD dwStart = ::GetTickCount();
    while (watch.GetOwnRecordCount() < nRecords) {
        if (::GetTickCount() - dwStart > kHangGuardMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

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

// The stop's records carry the mark and never count, however late they come; the same
// input without the mark is the user's, and the event tells of it.
TEST_F(UserInputWatchTest, StopInputNeverCountsTheUsersInputDoes)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install());
    ASSERT_EQ(watch.GetSource(), UserInputWatch::Source::Hooks);
    watch.Forget();
    ::Sleep(kBeyondOldSettleMs);
    const ULONG nBefore = watch.GetOwnRecordCount();
    ASSERT_EQ(SendStopInput(), 5u);
    ASSERT_TRUE(WaitForOwnRecords(watch, nBefore + 5));
    EXPECT_FALSE(watch.HasUserInput());
    EXPECT_EQ(::WaitForSingleObject(watch.GetInputEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    const DWORD dwSent = ::GetTickCount();
    ASSERT_EQ(SendKeyPress(VK_SHIFT), 2u);
    ASSERT_EQ(::WaitForSingleObject(watch.GetInputEvent(), kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_TRUE(watch.HasUserInput());
    EXPECT_GE(static_cast<LONG>(watch.GetInputTick() - dwSent), 0);
}

// The stop moves the pointer while the device stays where it was; after the switch the
// device reports the pointer's new place, and a jitter of a pixel from there is no input.
TEST_F(UserInputWatchTest, DeviceMovesCountFromWhereTheDeviceIsAfterEachSwitch)
{
    UserInputWatch watch;
    ASSERT_TRUE(watch.Install());
    POINT pt = {};
    ASSERT_TRUE(::GetCursorPos(&pt));
    watch.NoteMouseMove(false, pt);
    const ULONG nBefore = watch.GetOwnRecordCount();
    ASSERT_EQ(SendStopInput(), 5u);
    ASSERT_TRUE(WaitForOwnRecords(watch, nBefore + 5));
    POINT moved = {};
    ASSERT_TRUE(::GetCursorPos(&moved));
    ASSERT_NE(moved.x, pt.x) << "the stop did not move the pointer";

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
