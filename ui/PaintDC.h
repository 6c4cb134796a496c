#pragma once
#include <windows.h>

// BeginPaint and EndPaint around the handling of one WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND hWnd) noexcept
        : m_hWnd(hWnd)
        , m_ps()
        , m_hdc(::BeginPaint(hWnd, &m_ps))
    {
    }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { ::EndPaint(m_hWnd, &m_ps); }

    HDC get() const noexcept { return m_hdc; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps;
    HDC m_hdc;
};
