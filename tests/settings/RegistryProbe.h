// Direct registry access for the tests, below the (overridden) HKEY_CURRENT_USER, so that
// what the product stores is checked with the system's own calls, not with its own.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace settingstest {

struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data;
};

bool RawExists(const std::string& subKey);
RawValue RawQuery(const std::string& subKey, const std::string& name);
// Writes a value of any type and data (the key is made).
void RawSet(const std::string& subKey, const std::string& name, DWORD type,
            const std::string& data);
void RawSetDword(const std::string& subKey, const std::string& name, DWORD value);
void RawSetString(const std::string& subKey, const std::string& name, const std::string& text);
void RawDelete(const std::string& subKey);
// Names and texts of every value, in the registry's enumeration order.
std::vector<std::pair<std::string, std::string>> RawValues(const std::string& subKey);

}  // namespace settingstest
