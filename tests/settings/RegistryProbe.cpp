#include "tests/settings/RegistryProbe.h"

#include <shlwapi.h>

#include <stdexcept>

namespace settingstest {

bool RawExists(const std::string& subKey)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

RawValue RawQuery(const std::string& subKey, const std::string& name)
{
    RawValue value;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return value;
    DWORD cb = 0;
    if (::RegQueryValueExA(hKey, name.c_str(), nullptr, &value.type, nullptr, &cb) ==
        ERROR_SUCCESS) {
        value.data.resize(cb);
        if (::RegQueryValueExA(hKey, name.c_str(), nullptr, &value.type,
                               reinterpret_cast<BYTE*>(&value.data[0]), &cb) == ERROR_SUCCESS) {
            value.exists = true;
            value.data.resize(cb);
        }
    }
    ::RegCloseKey(hKey);
    return value;
}

void RawSet(const std::string& subKey, const std::string& name, DWORD type, const std::string& data)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot make the key " + subKey);
    const LONG result =
        ::RegSetValueExA(hKey, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
    ::RegCloseKey(hKey);
    if (result != ERROR_SUCCESS)
        throw std::runtime_error("cannot write the value " + name);
}

void RawSetDword(const std::string& subKey, const std::string& name, DWORD value)
{
    RawSet(subKey, name, REG_DWORD,
           std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

void RawSetString(const std::string& subKey, const std::string& name, const std::string& text)
{
    RawSet(subKey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void RawDelete(const std::string& subKey) { ::SHDeleteKeyA(HKEY_CURRENT_USER, subKey.c_str()); }

std::vector<std::pair<std::string, std::string>> RawValues(const std::string& subKey)
{
    std::vector<std::pair<std::string, std::string>> values;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD cchName = sizeof(name);
        char data[1024];
        DWORD cbData = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueA(hKey, i, name, &cchName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &cbData) != ERROR_SUCCESS)
            break;
        std::string text(data, cbData);
        if (!text.empty() && text.back() == '\0')
            text.pop_back();
        values.emplace_back(std::string(name, cchName), text);
    }
    ::RegCloseKey(hKey);
    return values;
}

}  // namespace settingstest
