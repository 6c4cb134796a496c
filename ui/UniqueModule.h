#pragma once
#include <windows.h>

// Owns a module from LoadLibraryExA (as an image or as a data file): FreeLibrary once,
// where it was loaded.
class UniqueModule {
public:
    UniqueModule() noexcept = default;
    explicit UniqueModule(HMODULE h) noexcept
        : m_h(h)
    {
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;
    ~UniqueModule()
    {
        if (m_h != nullptr)
            ::FreeLibrary(m_h);
    }

    HMODULE get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != nullptr; }

private:
    HMODULE m_h = nullptr;
};
