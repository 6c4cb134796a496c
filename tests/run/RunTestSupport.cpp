#include "tests/run/RunTestSupport.h"

#include "tests/fixtures/FixtureNames.h"
#include "ui/GdiObject.h"
#include "ui/WindowDC.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const int kWaitSteps = 200;
const DWORD kWaitStepMs = 50;

}  // namespace

std::string ColorText(COLORREF c)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%06lx", static_cast<unsigned long>(c));
    return text;
}

std::string ScreenLine(COLORREF color)
{
    std::string line = fixture::kRecordScreenPrefix + ColorText(color);
    for (int i = 1; i < 5; ++i)
        line += " " + ColorText(color);
    return line;
}

RECT VirtualScreen()
{
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::vector<POINT> SamplePoints(int cx, int cy)
{
    return {{0, 0}, {cx - 1, 0}, {0, cy - 1}, {cx - 1, cy - 1}, {cx / 2, cy / 2}, {cx / 3, cy / 4}};
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

int CursorCount()
{
    const int n = ::ShowCursor(TRUE);
    ::ShowCursor(FALSE);
    return n - 1;
}

bool ScreenShows(COLORREF color, std::string* pSeen)
{
    return ScreenShows(VirtualScreen(), color, pSeen);
}

bool ScreenShows(const RECT& vs, COLORREF color, std::string* pSeen)
{
    for (int step = 0; step < kWaitSteps; ++step) {
        PumpMessages();
        WindowDC screen(nullptr);
        bool all = true;
        pSeen->clear();
        for (const POINT& pt : SamplePoints(vs.right - vs.left, vs.bottom - vs.top)) {
            const COLORREF c = ::GetPixel(screen.get(), vs.left + pt.x, vs.top + pt.y);
            *pSeen += ColorText(c) + " ";
            all = all && c == color;
        }
        if (all)
            return true;
        ::Sleep(kWaitStepMs);
    }
    return false;
}

bool IsAbove(HWND hWndUpper, HWND hWndLower)
{
    for (HWND h = ::GetWindow(hWndLower, GW_HWNDPREV); h != nullptr;
         h = ::GetWindow(h, GW_HWNDPREV))
        if (h == hWndUpper)
            return true;
    return false;
}

void SendMouseMove(LONG dx, LONG dy)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SendInput(1, &input, sizeof(input));
}

UINT SendKeyPress(WORD vk)
{
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = vk;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return ::SendInput(2, inputs, sizeof(INPUT));
}

namespace {

// Where setup-wine10.sh puts xdotool in Wine 10's root, and Debian on the host for Wine 8.
const char kXdotool[] = "Z:\\usr\\bin\\xdotool";

bool RunXdotool(const std::string& args)
{
    std::string cmd = std::string(kXdotool) + " " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread != nullptr)
        ::CloseHandle(pi.hThread);
    if (pi.hProcess != nullptr)
        ::CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

bool XPointerGesture(int dx, int dy)
{
    return RunXdotool("mousemove_relative -- " + std::to_string(dx) + " 0 sleep 0.05 " +
                      "mousemove_relative -- 0 " + std::to_string(dy));
}

bool XKeyPress(const char* keyName) { return RunXdotool(std::string("key ") + keyName); }

HWND WaitForSaverWindow(const char* description)
{
    for (int step = 0; step < kWaitSteps; ++step) {
        HWND hWnd = ::FindWindowA(fixture::kSaverWindowClass, description);
        if (hWnd != nullptr && ::IsWindowVisible(hWnd))
            return hWnd;
        ::Sleep(kWaitStepMs);
    }
    return nullptr;
}

namespace {

// Erases with the brush kept in the window's user data: each backdrop has a colour of its own.
LRESULT CALLBACK BackdropProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_ERASEBKGND)
        return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    ::FillRect(reinterpret_cast<HDC>(wParam), &client,
               reinterpret_cast<HBRUSH>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA)));
    return 1;
}

}  // namespace

Backdrop::Backdrop()
    : Backdrop(VirtualScreen(), kBackdropColor)
{
}

Backdrop::Backdrop(const RECT& rc, COLORREF color)
    : m_brush(::CreateSolidBrush(color))
{
    static const char kClass[] = "QuillmixRunTestBackdrop";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BackdropProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassA(&wc);
    m_hWnd = ::CreateWindowExA(0, kClass, "backdrop", WS_POPUP, rc.left, rc.top, rc.right - rc.left,
                               rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(m_brush.get()));
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::UpdateWindow(m_hWnd);
}

Backdrop::~Backdrop() { ::DestroyWindow(m_hWnd); }

RecordFile::RecordFile()
{
    char dir[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, dir);
    ::GetTempFileNameA(dir, "qmr", 0, file);
    m_path = file;
    ::SetEnvironmentVariableA(fixture::kRecordFileVariable, m_path.c_str());
}

RecordFile::~RecordFile()
{
    ::SetEnvironmentVariableA(fixture::kRecordFileVariable, nullptr);
    ::DeleteFileA(m_path.c_str());
}

std::vector<std::string> RecordFile::Lines() const
{
    std::vector<std::string> lines;
    std::ifstream in(m_path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> RecordFile::LinesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& line : Lines())
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

bool RecordFile::WaitForLine(const std::string& text, bool bPrefix) const
{
    for (int step = 0; step < kWaitSteps; ++step) {
        for (const std::string& line : Lines()) {
            if (bPrefix ? line.compare(0, text.size(), text) == 0 : line == text)
                return true;
        }
        ::Sleep(kWaitStepMs);
    }
    return false;
}
