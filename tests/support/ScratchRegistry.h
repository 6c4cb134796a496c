#pragma once
#include <windows.h>

#include <string>

// Sends this process's HKEY_CURRENT_USER to a scratch key of its own for the lifetime of
// the object, so that tests never see each other's settings or the real ones.
class ScratchRegistry {
public:
    ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;
    ~ScratchRegistry();

    // Path of the scratch key below the real HKEY_CURRENT_USER.
    const std::string& KeyPath() const { return m_path; }

private:
    std::string m_path;
    HKEY m_hKey = nullptr;
};
