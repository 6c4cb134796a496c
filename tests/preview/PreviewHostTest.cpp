// The built Quillmix.scr in preview mode, started the way the screen-saver host starts
// it ("Quillmix.scr /p <window>"), drawing into a host window of this program.
#include "tests/preview/HostWindow.h"
#include "tests/preview/PixelImage.h"
#include "tests/preview/PreviewAreas.h"
#include "tests/preview/WineVersion.h"
#include "tests/support/TestPaths.h"
#include "ui/UniqueHandle.h"
#include "ui/WindowDC.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// Hang guard for every wait below: it only turns a hang into a failure, and is generous
// because a loaded machine can be slow to start a process or to paint.
const DWORD kCapMs = 60000;
const char kPreviewText[] = "QuillmixPreview";

// One run of the product in preview mode; terminated if a failed test leaves it running.
class PreviewProcess {
public:
    PreviewProcess(const std::string& switchText, HWND hWndHost)
    {
        std::string cmd = "\"" + ProductPath() + "\" " + switchText + " " +
            std::to_string(static_cast<long>(reinterpret_cast<LONG_PTR>(hWndHost)));
        std::vector<char> cmdLine(cmd.begin(), cmd.end());
        cmdLine.push_back('\0');
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (::CreateProcessA(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi)) {
            m_process.reset(pi.hProcess);
            ::CloseHandle(pi.hThread);
            m_id = pi.dwProcessId;
        }
    }
    PreviewProcess(const PreviewProcess&) = delete;
    PreviewProcess& operator=(const PreviewProcess&) = delete;
    ~PreviewProcess()
    {
        if (m_process && !Ended())
            ::TerminateProcess(m_process.get(), 1);
    }

    bool Started() const { return static_cast<bool>(m_process); }
    DWORD Id() const { return m_id; }
    bool Ended() const { return ::WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0; }
    bool WaitForExit() const
    {
        return PumpMessagesUntil([this] { return Ended(); }, kCapMs);
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_process.get(), &code);
        return code;
    }

private:
    UniqueHandle m_process;
    DWORD m_id = 0;
};

// Every area, each started with another of the preview switches.
struct HostCase {
    PreviewArea area;
    const char* switchText;
};

std::ostream& operator<<(std::ostream& os, const HostCase& c) { return os << c.area; }

const HostCase kHostCases[] = {
    {kPreviewAreas[0], "/p"},
    {kPreviewAreas[1], "-p"},
    {kPreviewAreas[2], "/l"},
    {kPreviewAreas[3], "-l"},
};
static_assert(ARRAYSIZE(kHostCases) == ARRAYSIZE(kPreviewAreas), "one switch for every area");

class PreviewInHostTest : public testing::TestWithParam<HostCase> {
protected:
    // Starts the preview in the host and waits until its child window is shown and painted
    // (no update region left); false, with a failure recorded, when it is not.
    bool StartPainted(HostWindow& host, PreviewProcess& preview, HWND& child)
    {
        if (!preview.Started()) {
            ADD_FAILURE() << "cannot start " << ProductPath();
            return false;
        }
        const bool seen = PumpMessagesUntil(
            [&] {
                child = ::FindWindowExA(host.get(), nullptr, nullptr, kPreviewText);
                return preview.Ended() ||
                    (child != nullptr && ::IsWindowVisible(child) &&
                     !::GetUpdateRect(child, nullptr, FALSE));
            },
            kCapMs);
        if (!seen || preview.Ended()) {
            ADD_FAILURE() << (seen ? "the preview ended before its host window did"
                                   : "no painted preview window in the host");
            return false;
        }
        return true;
    }

    // Destroys the host as the screen-saver host does and waits for the preview to end.
    static void DestroyHostAndExpectExit(HostWindow& host, const PreviewProcess& preview)
    {
        host.Destroy();
        // Wine can hand WM_DESTROY to a child window of another process some seconds after
        // its parent is destroyed (Windows at once), so this waits with a hang guard only.
        ASSERT_TRUE(preview.WaitForExit()) << "the preview outlived its host window";
        EXPECT_EQ(0u, preview.ExitCode());
    }
};

TEST_P(PreviewInHostTest, FillsTheHostAndEndsWithIt)
{
    const HostCase& c = GetParam();
    HostWindow host(c.area.width, c.area.height);
    ASSERT_NE(nullptr, host.get());
    PreviewProcess preview(c.switchText, host.get());
    HWND child = nullptr;
    ASSERT_TRUE(StartPainted(host, preview, child));

    DWORD owner = 0;
    ::GetWindowThreadProcessId(child, &owner);
    EXPECT_EQ(preview.Id(), owner);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE), ::GetWindowLongA(child, GWL_STYLE));
    RECT rc = {};
    ::GetWindowRect(child, &rc);
    const POINT origin = host.ClientOrigin();
    EXPECT_EQ(origin.x, rc.left);
    EXPECT_EQ(origin.y, rc.top);
    EXPECT_EQ(c.area.width, rc.right - rc.left);
    EXPECT_EQ(c.area.height, rc.bottom - rc.top);

    DestroyHostAndExpectExit(host, preview);
}

TEST_P(PreviewInHostTest, ShowsTheLogoOnTheScreen)
{
    if (WineHidesOtherProcessesChildren())
        GTEST_SKIP() << "this Wine draws no child window of another process's window; the "
                        "picture is checked in preview_window_test";
    const HostCase& c = GetParam();
    const PixelImage logo = LoadLogoPixels();
    ASSERT_GT(logo.width, 0);
    HostWindow host(c.area.width, c.area.height);
    ASSERT_NE(nullptr, host.get());
    PreviewProcess preview(c.switchText, host.get());
    HWND child = nullptr;
    ASSERT_TRUE(StartPainted(host, preview, child));

    // BeginPaint empties the update region before the picture is copied, and the display
    // shows it a moment later: look again until it is there or the guard runs out.
    const PixelImage expected = ExpectedPreview(logo, c.area.width, c.area.height);
    const POINT origin = host.ClientOrigin();
    PixelImage shown;
    PumpMessagesUntil(
        [&] {
            WindowDC screen(nullptr);
            shown = ReadPixels(screen.get(), origin.x, origin.y, c.area.width, c.area.height);
            return static_cast<bool>(SameImage(expected, shown));
        },
        kCapMs);
    EXPECT_TRUE(SameImage(expected, shown));

    DestroyHostAndExpectExit(host, preview);
}

INSTANTIATE_TEST_SUITE_P(Hosts, PreviewInHostTest, testing::ValuesIn(kHostCases),
                         [](const testing::TestParamInfo<HostCase>& param) {
                             return std::string(param.param.area.name);
                         });

TEST(PreviewProcessTest, EndsForAHandleThatNamesNoWindow)
{
    HWND gone = nullptr;
    {
        HostWindow host(20, 20);
        gone = host.get();
    }
    ASSERT_NE(nullptr, gone);
    ASSERT_FALSE(::IsWindow(gone));
    PreviewProcess preview("/p", gone);
    ASSERT_TRUE(preview.Started()) << ProductPath();
    ASSERT_TRUE(preview.WaitForExit()) << "the preview waits for a window it never made";
    EXPECT_EQ(0u, preview.ExitCode());
}
}  // namespace
