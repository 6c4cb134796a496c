#pragma once
#include <windows.h>

// Owns a hook from SetWindowsHookExA: removed once, where it was set.
class UniqueHook {
public:
    UniqueHook() noexcept = default;
    explicit UniqueHook(HHOOK h) noexcept
        : m_h(h)
    {
    }
    UniqueHook(const UniqueHook&) = delete;
    UniqueHook& operator=(const UniqueHook&) = delete;
    ~UniqueHook() { reset(); }

    HHOOK get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    void reset(HHOOK h = nullptr) noexcept
    {
        if (m_h != nullptr)
            ::UnhookWindowsHookEx(m_h);
        m_h = h;
    }

private:
    HHOOK m_h = nullptr;
};
