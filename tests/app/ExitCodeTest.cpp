// The built Quillmix.scr exits with code 0 after every mode.
#include "saver/ChildSaver.h"

#include "tests/app/ChildTestSupport.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

using namespace apptest;

namespace {

const char kDialogClass[] = "#32770";
const char kDialogTitle[] = "Quillmix Configuration";
const char kPreviewWindowText[] = "QuillmixPreview";
const char kCoverWindowText[] = "Quillmix";
// How long a preview is left to draw before its host goes; not a limit on anything.
const DWORD kPreviewShowMs = 500;
// Between two rounds of injected input while run mode runs.
const DWORD kRunInputPauseMs = 300;
// Turns a hang into a failure; a process that ends at once comes nowhere near it.
const DWORD kHangGuardMs = 30000;

UniqueHandle StartProduct(const std::string& switches)
{
    const std::string product = ProductPath();
    return StartChildSaver(product.c_str(), product + " " + switches);
}

void Kill(HANDLE hProcess)
{
    if (hProcess != nullptr && ::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(hProcess, 1);
        ::WaitForSingleObject(hProcess, INFINITE);
    }
}

// The user comes back: the mouse moves and Esc is pressed until run mode has ended.
void EndRunModeAsTheUser(HANDLE hProduct)
{
    LONG step = 20;
    while (WaitForChildPumping(hProduct, kRunInputPauseMs) != WAIT_OBJECT_0) {
        INPUT inputs[3] = {};
        inputs[0].type = INPUT_MOUSE;
        inputs[0].mi.dx = step;
        inputs[0].mi.dy = step;
        inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE;
        inputs[1].type = INPUT_KEYBOARD;
        inputs[1].ki.wVk = VK_ESCAPE;
        inputs[2].type = INPUT_KEYBOARD;
        inputs[2].ki.wVk = VK_ESCAPE;
        inputs[2].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(ARRAYSIZE(inputs), inputs, sizeof(INPUT));
        step = -step;
    }
}

// Shows the configuration dialog, cancels it as Esc would, and gives the exit code.
DWORD ExitCodeAfterCancelledDialog(const std::string& switches)
{
    UniqueHandle product = StartProduct(switches);
    if (!product)
        return 0xFFFFFFFFu;
    const DWORD pid = ::GetProcessId(product.get());
    HWND dialog = nullptr;
    const bool shown = PumpUntil(product.get(), [&] {
        dialog = FindProcessWindow(pid, kDialogClass, kDialogTitle);
        return dialog != nullptr;
    });
    EXPECT_TRUE(shown) << switches << ": no \"" << kDialogTitle << "\" dialog";
    if (shown)
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitForChildPumpingUntilEnd(product.get());
    const DWORD code = ExitCodeOf(product.get());
    Kill(product.get());
    return code;
}

TEST(ProductExitCode, ConfigurationMode) { EXPECT_EQ(ExitCodeAfterCancelledDialog("/c"), 0u); }

TEST(ProductExitCode, PreviewWithoutWindowFallsToConfigurationMode)
{
    EXPECT_EQ(ExitCodeAfterCancelledDialog("/p 0"), 0u);
}

// A visible top-level window of the test standing in for the screen-saver host's preview.
HWND CreatePreviewHost()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuillmixTestPreviewHost";
    ::RegisterClassA(&wc);
    return ::CreateWindowExA(0, wc.lpszClassName, "Preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             40, 40, 200, 170, nullptr, nullptr, wc.hInstance, nullptr);
}

std::string HandleText(HWND hWnd) { return std::to_string(reinterpret_cast<LONG_PTR>(hWnd)); }

TEST(ProductExitCode, PreviewMode)
{
    HWND host = CreatePreviewHost();
    ASSERT_NE(host, nullptr);
    UniqueHandle product = StartProduct("/p " + HandleText(host));
    ASSERT_TRUE(product);
    // The preview runs until its host window is gone: it must neither end at once nor
    // while the host is still there.
    const bool shown = PumpUntil(product.get(), [host] {
        return ::FindWindowExA(host, nullptr, nullptr, kPreviewWindowText) != nullptr;
    });
    PumpFor(kPreviewShowMs);
    const bool ranWithHost = ::WaitForSingleObject(product.get(), 0) == WAIT_TIMEOUT;
    ::DestroyWindow(host);
    EXPECT_TRUE(shown) << "the preview ended without showing its window in the host";
    EXPECT_TRUE(ranWithHost) << "the preview ended while its host window was still there";
    EXPECT_EQ(WaitForChildPumpingUntilEnd(product.get()), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(product.get()), 0u);
    Kill(product.get());
}

// Run mode ends on the user's input (through the saver it shows, or on its black cover
// when it has none), so the test keeps moving the mouse and pressing Esc until it ends.
// The cover must be up first: a run mode that returned at once would pass otherwise.
TEST(ProductExitCode, RunModeEndedByInput)
{
    UniqueHandle product = StartProduct("/s");
    ASSERT_TRUE(product);
    const DWORD pid = ::GetProcessId(product.get());
    ASSERT_TRUE(PumpUntil(product.get(), [pid] {
        return FindProcessWindow(pid, nullptr, kCoverWindowText) != nullptr;
    })) << "run mode ended before its cover was shown";
    EndRunModeAsTheUser(product.get());
    EXPECT_EQ(ExitCodeOf(product.get()), 0u);
}

// Run mode is tried before preview mode: with both switches the cover window comes, and
// no preview window is made in the host.
TEST(ProductExitCode, RunModeBeforePreviewMode)
{
    HWND host = CreatePreviewHost();
    ASSERT_NE(host, nullptr);
    UniqueHandle product = StartProduct("/p " + HandleText(host) + " /s");
    ASSERT_TRUE(product);
    const DWORD pid = ::GetProcessId(product.get());
    HWND cover = nullptr;
    HWND preview = nullptr;
    PumpUntil(product.get(), [&] {
        cover = FindProcessWindow(pid, nullptr, kCoverWindowText);
        preview = ::FindWindowExA(host, nullptr, nullptr, kPreviewWindowText);
        return cover != nullptr || preview != nullptr;
    });
    // Gone before any check: it would also end a preview that ran by mistake.
    ::DestroyWindow(host);
    EXPECT_NE(cover, nullptr) << "no cover window titled \"" << kCoverWindowText << "\"";
    EXPECT_EQ(preview, nullptr) << "preview mode ran";
    EndRunModeAsTheUser(product.get());
    EXPECT_EQ(ExitCodeOf(product.get()), 0u);
}

// A fatal error of the runtime ends the process at once with a code of its own (255), not
// through abort: no box of the runtime waits under the cover for somebody to close it.
// (Wine's abort shows no box and ends with code 3, so the code tells the two apart.)
// So does a crash of run mode (the probe with "crash"), past the system's crash dialog,
// which Wine would show whatever the error mode.
TEST(ProductExitCode, FatalErrorEndsTheProcessAtOnce)
{
    const std::string probe =
        WindowsPathOf(EnvOr("QUILLMIX_BIN") + "/tests/app/app_fatal_error_probe.exe");
    for (const char* switches : {"", " crash"}) {
        SCOPED_TRACE(switches);
        UniqueHandle process = StartChildSaver(probe.c_str(), probe + switches);
        ASSERT_TRUE(process) << probe;
        const bool ended = ::WaitForSingleObject(process.get(), kHangGuardMs) == WAIT_OBJECT_0;
        const DWORD pid = ::GetProcessId(process.get());
        EXPECT_TRUE(ended) << "still running, with a window: "
                           << (FindProcessWindow(pid, nullptr, nullptr) != nullptr);
        EXPECT_EQ(ExitCodeOf(process.get()), 255u);
        Kill(process.get());
    }
}

}  // namespace
