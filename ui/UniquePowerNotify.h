#pragma once
#include <windows.h>

// Owns a registration from RegisterPowerSettingNotification: unregistered once, where it
// was made.
class UniquePowerNotify {
public:
    UniquePowerNotify() noexcept = default;
    explicit UniquePowerNotify(HPOWERNOTIFY h) noexcept
        : m_h(h)
    {
    }
    UniquePowerNotify(const UniquePowerNotify&) = delete;
    UniquePowerNotify& operator=(const UniquePowerNotify&) = delete;
    ~UniquePowerNotify() { reset(); }

    HPOWERNOTIFY get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }
    void reset(HPOWERNOTIFY h = nullptr) noexcept
    {
        if (m_h != nullptr)
            ::UnregisterPowerSettingNotification(m_h);
        m_h = h;
    }

private:
    HPOWERNOTIFY m_h = nullptr;
};
