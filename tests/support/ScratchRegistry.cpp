#include "tests/support/ScratchRegistry.h"

#include <shlwapi.h>

#include <atomic>
#include <stdexcept>

ScratchRegistry::ScratchRegistry()
{
    static std::atomic<unsigned> counter{0};
    m_path = "Software\\QuillmixTests\\" + std::to_string(::GetCurrentProcessId()) + "_" +
        std::to_string(counter++);
    // Undo any earlier override so that the scratch key lands in the real HKCU.
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the scratch registry key");
    if (::RegOverridePredefKey(HKEY_CURRENT_USER, m_hKey) != ERROR_SUCCESS)
        throw std::runtime_error("cannot override HKEY_CURRENT_USER");
}

ScratchRegistry::~ScratchRegistry()
{
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(m_hKey);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
}
