#pragma once
#include <windows.h>

// A memory DC compatible with another DC, deleted with DeleteDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC hdcCompatible) noexcept
        : m_hdc(::CreateCompatibleDC(hdcCompatible))
    {
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC()
    {
        if (m_hdc != nullptr)
            ::DeleteDC(m_hdc);
    }

    HDC get() const noexcept { return m_hdc; }
    explicit operator bool() const noexcept { return m_hdc != nullptr; }

private:
    HDC m_hdc;
};
