#include "run/SSFadeWnd.h"

#include "run/SSCoverWnd.h"
#include "saver/ChildSaver.h"
#include "tests/app/ChildTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/run/RunTestSupport.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

namespace {

// Hang guard only.
const DWORD kGuardMs = 30000;

}  // namespace

// A saver's window, shown by another process while the fade window is up, lands above it;
// the fade window comes back above it as it is shown, with no step of a fade, and never
// takes the activation.
TEST(SSFadeWnd, ComesBackAboveASaverAsItsWindowIsShown)
{
    SSCoverWnd cover;
    ASSERT_TRUE(cover.CreateCover());
    SSFadeWnd fade;
    ASSERT_TRUE(fade.CreateFade(cover));
    fade.SetOpacity(kFadeOpaque);
    ASSERT_TRUE(::IsWindowVisible(fade));

    const std::string path = FixturePath(fixture::kSampleAurora.fileName);
    UniqueHandle saver = StartChildSaver(path.c_str(), AnsiString(path + " /s"));
    ASSERT_TRUE(saver);
    HWND hWndSaver = nullptr;
    const DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < kGuardMs) {
        hWndSaver = ::FindWindowA(fixture::kSaverWindowClass, nullptr);
        if (hWndSaver != nullptr && ::IsWindowVisible(hWndSaver) && IsAbove(fade, hWndSaver))
            break;
        apptest::PumpFor(10);
    }
    ASSERT_NE(hWndSaver, nullptr) << "the saver showed no window";
    EXPECT_TRUE(IsAbove(fade, hWndSaver)) << "the saver's window stayed above the fade";
    EXPECT_NE(::GetForegroundWindow(), static_cast<HWND>(fade));
    ::TerminateProcess(saver.get(), 0);
    ::WaitForSingleObject(saver.get(), kGuardMs);
    ::DestroyWindow(cover);
}
