#pragma once
#include <windows.h>

// Owns a registry key opened or created by this code (never a predefined root):
// RegCloseKey once, where it was opened.
class UniqueRegKey {
public:
    UniqueRegKey() noexcept = default;
    explicit UniqueRegKey(HKEY h) noexcept
        : m_h(h)
    {
    }
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& other) noexcept
        : m_h(other.release())
    {
    }
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueRegKey() { reset(); }

    HKEY get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    HKEY release() noexcept
    {
        HKEY h = m_h;
        m_h = nullptr;
        return h;
    }
    void reset(HKEY h = nullptr) noexcept
    {
        if (m_h != nullptr)
            ::RegCloseKey(m_h);
        m_h = h;
    }

private:
    HKEY m_h = nullptr;
};
