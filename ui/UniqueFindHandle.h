#pragma once
#include <windows.h>

// Owns a directory listing from FindFirstFileA or W: FindClose once, where it was made.
class UniqueFindHandle {
public:
    UniqueFindHandle() noexcept = default;
    explicit UniqueFindHandle(HANDLE h) noexcept
        : m_h(h)
    {
    }
    UniqueFindHandle(const UniqueFindHandle&) = delete;
    UniqueFindHandle& operator=(const UniqueFindHandle&) = delete;
    ~UniqueFindHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            ::FindClose(m_h);
    }

    HANDLE get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};
