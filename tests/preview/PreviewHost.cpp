// A stand-in for the screen-saver host's preview area, used by the demo:
//   PreviewHost.exe SAVER [WIDTH HEIGHT]      (default 152 by 112, the usual preview size)
// It makes a window with a client area of that size, starts "SAVER /p <window>" in it as
// the display settings do, and stays until it is closed (Escape or its close box). Then
// it waits for the saver to end and exits with the saver's exit code.
//
// Wine before 10 draws no child window whose parent belongs to another process, and a DC
// cannot be handed to another process for WM_PRINTCLIENT or PrintWindow to fill, so there
// the saver's picture cannot be shown in the host at all. On such a Wine only, the host
// writes into its own client area what it sees of the preview window instead (its text,
// size and process), so that a screenshot says plainly what it shows.
#include "tests/preview/WineVersion.h"
#include "ui/GdiObject.h"
#include "ui/PaintDC.h"
#include "ui/UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
const char kHostClass[] = "QuillmixPreviewHost";
const char kHostTitle[] = "Quillmix Preview Host";
const char kPreviewText[] = "QuillmixPreview";
const int kDefaultWidth = 152;
const int kDefaultHeight = 112;
const int kMaxExtent = 4096;
const int kHostLeft = 60;
const int kHostTop = 60;
const COLORREF kHostColor = RGB(0, 96, 128);
const COLORREF kNoteColor = RGB(255, 255, 255);
const int kNoteMargin = 6;
const UINT_PTR kLookTimer = 1;
const UINT kLookEveryMs = 250;
// How long the saver has to end once its host window is gone (Wine can take some
// seconds to destroy a child window of another process).
const DWORD kSaverEndMs = 20000;
const int kExitBadUsage = 2;
const int kExitNoSaver = 3;
const int kExitSaverHung = 4;

// The note the host shows on a Wine that does not draw the preview window itself.
std::string g_note;

std::string DescribePreview(HWND hWndHost)
{
    HWND child = ::FindWindowExA(hWndHost, nullptr, nullptr, kPreviewText);
    if (child == nullptr)
        return "Waiting for the saver's preview window.";
    RECT rc = {};
    ::GetClientRect(child, &rc);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(child, &pid);
    char text[320];
    std::snprintf(text, sizeof(text),
                  "The saver (process %lu) has made its window \"%s\" of %ld x %ld here.\n"
                  "This Wine does not draw a child window of another process's window, so its "
                  "picture cannot be seen here.",
                  static_cast<unsigned long>(pid), kPreviewText, rc.right, rc.bottom);
    return text;
}

LRESULT OnPaint(HWND hWnd)
{
    PaintDC dc(hWnd);
    if (!g_note.empty()) {
        RECT rc = {};
        ::GetClientRect(hWnd, &rc);
        ::InflateRect(&rc, -kNoteMargin, -kNoteMargin);
        ::SetBkMode(dc.get(), TRANSPARENT);
        const COLORREF oldColor = ::SetTextColor(dc.get(), kNoteColor);
        ::DrawTextA(dc.get(), g_note.c_str(), -1, &rc, DT_WORDBREAK | DT_NOPREFIX);
        ::SetTextColor(dc.get(), oldColor);
    }
    return 0;
}

LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_TIMER: {
        std::string note = DescribePreview(hWnd);
        if (note != g_note) {
            g_note.swap(note);
            ::InvalidateRect(hWnd, nullptr, TRUE);
        }
        return 0;
    }
    case WM_PAINT:
        return OnPaint(hWnd);
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            ::DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

HWND CreateHostWindow(int width, int height)
{
    static GdiObject<HBRUSH> background(::CreateSolidBrush(kHostColor));
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background.get();
    wc.lpszClassName = kHostClass;
    if (::RegisterClassExA(&wc) == 0)
        return nullptr;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT frame = {0, 0, width, height};
    ::AdjustWindowRect(&frame, style, FALSE);
    return ::CreateWindowExA(0, kHostClass, kHostTitle, style, kHostLeft, kHostTop,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                             instance, nullptr);
}

UniqueHandle StartSaver(const std::string& saver, HWND hWndHost, std::string& cmd)
{
    cmd = "\"" + saver + "\" /p " +
        std::to_string(static_cast<long long>(reinterpret_cast<LONG_PTR>(hWndHost)));
    std::vector<char> cmdLine(cmd.begin(), cmd.end());
    cmdLine.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return UniqueHandle();
    ::CloseHandle(pi.hThread);
    return UniqueHandle(pi.hProcess);
}

// Dispatches this thread's messages until the process ends or the guard runs out.
bool WaitForEndPumping(HANDLE hProcess, DWORD capMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= capMs)
            return false;
        if (::MsgWaitForMultipleObjects(1, &hProcess, FALSE, capMs - spent, QS_ALLINPUT) ==
            WAIT_OBJECT_0)
            return true;
    }
}

bool ReadExtent(const char* text, int& value)
{
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n <= 0 || n > kMaxExtent)
        return false;
    value = static_cast<int>(n);
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    if ((argc != 2 && argc != 4) ||
        (argc == 4 && !(ReadExtent(argv[2], width) && ReadExtent(argv[3], height)))) {
        std::fprintf(stderr, "usage: PreviewHost.exe SAVER [WIDTH HEIGHT]\n");
        return kExitBadUsage;
    }

    HWND host = CreateHostWindow(width, height);
    if (host == nullptr) {
        std::fprintf(stderr, "PreviewHost: cannot make the host window\n");
        return kExitNoSaver;
    }
    std::string cmd;
    UniqueHandle saver = StartSaver(argv[1], host, cmd);
    if (!saver) {
        std::fprintf(stderr, "PreviewHost: cannot start %s (error %lu)\n", cmd.c_str(),
                     static_cast<unsigned long>(::GetLastError()));
        ::DestroyWindow(host);
        return kExitNoSaver;
    }
    std::printf("PreviewHost: client area %d x %d; started %s\n", width, height, cmd.c_str());
    std::fflush(stdout);
    if (WineHidesOtherProcessesChildren())
        ::SetTimer(host, kLookTimer, kLookEveryMs, nullptr);

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }

    if (!WaitForEndPumping(saver.get(), kSaverEndMs)) {
        std::fprintf(stderr, "PreviewHost: the saver outlived its host window\n");
        ::TerminateProcess(saver.get(), static_cast<UINT>(kExitSaverHung));
        return kExitSaverHung;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(saver.get(), &code);
    std::printf("PreviewHost: the saver ended with exit code %lu\n",
                static_cast<unsigned long>(code));
    return static_cast<int>(code);
}
