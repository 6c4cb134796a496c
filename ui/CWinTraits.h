#pragma once
#include <windows.h>

// Default styles of a window class, used when a caller passes style 0.
template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0> class CWinTraits {
public:
    static DWORD GetWndStyle(DWORD dwStyle) noexcept { return dwStyle == 0 ? t_dwStyle : dwStyle; }
    static DWORD GetWndExStyle(DWORD dwExStyle) noexcept
    {
        return dwExStyle == 0 ? t_dwExStyle : dwExStyle;
    }
};

using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;
