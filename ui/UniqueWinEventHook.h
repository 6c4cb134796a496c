#pragma once
#include <windows.h>

// Owns a hook from SetWinEventHook: removed once, on the thread that set it.
class UniqueWinEventHook {
public:
    UniqueWinEventHook() noexcept = default;
    explicit UniqueWinEventHook(HWINEVENTHOOK h) noexcept
        : m_h(h)
    {
    }
    UniqueWinEventHook(const UniqueWinEventHook&) = delete;
    UniqueWinEventHook& operator=(const UniqueWinEventHook&) = delete;
    UniqueWinEventHook(UniqueWinEventHook&& other) noexcept
        : m_h(other.m_h)
    {
        other.m_h = nullptr;
    }
    UniqueWinEventHook& operator=(UniqueWinEventHook&& other) noexcept
    {
        if (this != &other) {
            reset(other.m_h);
            other.m_h = nullptr;
        }
        return *this;
    }
    ~UniqueWinEventHook() { reset(); }

    HWINEVENTHOOK get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    void reset(HWINEVENTHOOK h = nullptr) noexcept
    {
        if (m_h != nullptr)
            ::UnhookWinEvent(m_h);
        m_h = h;
    }

private:
    HWINEVENTHOOK m_h = nullptr;
};
