#pragma once
#include <windows.h>

// Selects an object into a DC and selects the earlier one back when it goes.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC hdc, HGDIOBJ hObject) noexcept
        : m_hdc(hdc)
        , m_hOld(hdc != nullptr && hObject != nullptr ? ::SelectObject(hdc, hObject) : nullptr)
    {
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;
    ~SelectObjectGuard()
    {
        if (m_hOld != nullptr && m_hOld != HGDI_ERROR)
            ::SelectObject(m_hdc, m_hOld);
    }

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};
