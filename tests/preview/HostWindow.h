#pragma once
#include <windows.h>

#include <functional>

// A top-level window of the tests that stands in for the screen-saver host's preview
// window: borderless, visible, with a client area of the given size filled with a colour
// the preview never draws, so any pixel the preview leaves uncovered shows.
class HostWindow {
public:
    static const COLORREF kBackground;

    HostWindow(int clientWidth, int clientHeight);
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow();

    HWND get() const { return m_hWnd; }
    // Where the client area's top-left pixel is on the screen.
    POINT ClientOrigin() const;
    void Destroy();

private:
    HWND m_hWnd = nullptr;
};

// Dispatches this thread's messages until done() holds, or until capMs have passed (a guard
// against hanging, not a limit on how fast anything must be). True when done() held.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD capMs);
