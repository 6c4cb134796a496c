#pragma once
#include <windows.h>

// Owns a kernel handle (process, thread, event...): closed once, where it was made.
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE h) noexcept
        : m_h(h)
    {
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : m_h(other.release())
    {
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    HANDLE release() noexcept
    {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr) noexcept
    {
        if (m_h != nullptr && m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// Owns a job object. A job made with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE ends every process
// still in it when its last handle closes, also when the owning process dies.
class UniqueJob : public UniqueHandle {
public:
    using UniqueHandle::UniqueHandle;
};
