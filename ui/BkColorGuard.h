#pragma once
#include <windows.h>

// Sets a DC's background colour and puts the earlier one back when it goes.
class BkColorGuard {
public:
    BkColorGuard(HDC hdc, COLORREF color) noexcept
        : m_hdc(hdc)
        , m_old(::SetBkColor(hdc, color))
    {
    }
    BkColorGuard(const BkColorGuard&) = delete;
    BkColorGuard& operator=(const BkColorGuard&) = delete;
    ~BkColorGuard()
    {
        if (m_old != CLR_INVALID)
            ::SetBkColor(m_hdc, m_old);
    }

private:
    HDC m_hdc;
    COLORREF m_old;
};
