#include "tests/preview/HostWindow.h"

namespace {
const char kHostClass[] = "QuillmixTestPreviewHost";
const int kHostLeft = 40;
const int kHostTop = 40;
const DWORD kPumpSliceMs = 20;

ATOM RegisterHostClass()
{
    static ATOM atom = 0;
    if (atom == 0) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        // Made once for the process and never deleted: the class uses it until exit.
        wc.hbrBackground = ::CreateSolidBrush(HostWindow::kBackground);
        wc.lpszClassName = kHostClass;
        atom = ::RegisterClassExA(&wc);
    }
    return atom;
}
}  // namespace

const COLORREF HostWindow::kBackground = RGB(255, 0, 255);

HostWindow::HostWindow(int clientWidth, int clientHeight)
{
    RegisterHostClass();
    m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, kHostClass, "Preview host", WS_POPUP | WS_VISIBLE,
                               kHostLeft, kHostTop, clientWidth, clientHeight, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
    if (m_hWnd != nullptr)
        ::UpdateWindow(m_hWnd);
}

HostWindow::~HostWindow() { Destroy(); }

POINT HostWindow::ClientOrigin() const
{
    POINT pt = {0, 0};
    ::ClientToScreen(m_hWnd, &pt);
    return pt;
}

void HostWindow::Destroy()
{
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD capMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount() - start >= capMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPumpSliceMs, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}
