#pragma once
#include <windows.h>

// Owns a GDI object (bitmap, brush, font...): DeleteObject once, where it was made.
template <class THandle> class GdiObject {
public:
    GdiObject() noexcept = default;
    explicit GdiObject(THandle h) noexcept
        : m_h(h)
    {
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept
        : m_h(other.release())
    {
    }
    GdiObject& operator=(GdiObject&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~GdiObject() { reset(); }

    THandle get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    THandle release() noexcept
    {
        THandle h = m_h;
        m_h = nullptr;
        return h;
    }
    void reset(THandle h = nullptr) noexcept
    {
        if (m_h != nullptr)
            ::DeleteObject(m_h);
        m_h = h;
    }

private:
    THandle m_h = nullptr;
};

using BitmapHandle = GdiObject<HBITMAP>;
