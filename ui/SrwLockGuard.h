#pragma once
#include <windows.h>

// Holds a slim reader/writer lock exclusively for as long as it lives.
class SrwLockGuard {
public:
    explicit SrwLockGuard(SRWLOCK& lock) noexcept
        : m_lock(lock)
    {
        ::AcquireSRWLockExclusive(&m_lock);
    }
    SrwLockGuard(const SrwLockGuard&) = delete;
    SrwLockGuard& operator=(const SrwLockGuard&) = delete;
    ~SrwLockGuard() { ::ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};
