#pragma once
#include <windows.h>

// The DC of a window (nullptr: the screen) from GetDC, given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND hWnd) noexcept
        : m_hWnd(hWnd)
        , m_hdc(::GetDC(hWnd))
    {
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC()
    {
        if (m_hdc != nullptr)
            ::ReleaseDC(m_hWnd, m_hdc);
    }

    HDC get() const noexcept { return m_hdc; }
    explicit operator bool() const noexcept { return m_hdc != nullptr; }

private:
    HWND m_hWnd;
    HDC m_hdc;
};
