#pragma once
#include <windows.h>

// A borrowed window handle: holds it, never destroys it.
class CWindow {
public:
    explicit CWindow(HWND hWnd = nullptr) noexcept
        : m_hWnd(hWnd)
    {
    }

    operator HWND() const noexcept { return m_hWnd; }
    bool IsWindow() const noexcept { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }

    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendMessageA(m_hWnd, uMsg, wParam, lParam);
    }
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }

    HWND m_hWnd;
};
