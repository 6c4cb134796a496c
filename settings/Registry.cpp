#include "settings/Registry.h"

#include "ui/UniqueRegKey.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Read, write values, make subkeys: all the settings store does with a key.
constexpr REGSAM kKeyAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

// Name buffer for counting; a value whose name is longer still counts.
constexpr DWORD kCountNameBuffer = 512;

// First buffer for a value name, enough for any name the store writes.
constexpr DWORD kShortNameBuffer = 64;

// Tries at reading data that keeps growing between the size query and the read.
constexpr int kMaxReadAttempts = 4;

struct RootName {
    const char* pszLong;
    const char* pszShort;
    HKEY hRoot;
};

const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", "HKPD", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", "HKDD", HKEY_DYN_DATA},
};

UniqueRegKey OpenKey(const AnsiString& keyPath, bool bCreate)
{
    return UniqueRegKey(RegOpenKeyPath(keyPath, bCreate));
}

}  // namespace

HKEY RegParseKeyPath(const AnsiString& keyPath, AnsiString* pSubKey)
{
    if (pSubKey != nullptr)
        *pSubKey = AnsiString();
    if (keyPath.empty())
        return nullptr;
    std::string path = keyPath.str();
    std::replace(path.begin(), path.end(), '/', '\\');
    const size_t nSlash = path.find('\\');
    if (nSlash == std::string::npos)
        return nullptr;
    const std::string root = path.substr(0, nSlash);
    for (const RootName& name : kRootNames) {
        if (root == name.pszLong || root == name.pszShort) {
            if (pSubKey != nullptr)
                *pSubKey = AnsiString(path.substr(nSlash + 1));
            return name.hRoot;
        }
    }
    return nullptr;
}

HKEY RegOpenKeyPath(const AnsiString& keyPath, bool bCreate)
{
    AnsiString subKey;
    const HKEY hRoot = RegParseKeyPath(keyPath, &subKey);
    if (hRoot == nullptr)
        return nullptr;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(hRoot, subKey.c_str(), 0, kKeyAccess, &hKey) == ERROR_SUCCESS &&
        hKey != nullptr)
        return hKey;
    hKey = nullptr;
    if (bCreate &&
        ::RegCreateKeyExA(hRoot, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kKeyAccess,
                          nullptr, &hKey, nullptr) == ERROR_SUCCESS)
        return hKey;
    return nullptr;
}

bool RegKeyPathExists(const AnsiString& keyPath)
{
    return static_cast<bool>(OpenKey(keyPath, false));
}

bool RegDeleteKeyPath(const AnsiString& keyPath)
{
    AnsiString subKey;
    const HKEY hRoot = RegParseKeyPath(keyPath, &subKey);
    if (hRoot == nullptr || subKey.empty())
        return false;
    return ::SHDeleteKeyA(hRoot, subKey.c_str()) == ERROR_SUCCESS;
}

bool RegDeleteValuePath(const AnsiString& keyPath, const char* pszName)
{
    const UniqueRegKey key = OpenKey(keyPath, false);
    if (!key)
        return true;
    const LSTATUS status = ::RegDeleteValueA(key.get(), pszName);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RegWriteDword(const AnsiString& keyPath, const char* pszName, DWORD dwValue)
{
    const UniqueRegKey key = OpenKey(keyPath, true);
    if (!key)
        return false;
    return ::RegSetValueExA(key.get(), pszName, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue)) == ERROR_SUCCESS;
}

bool RegWriteString(const AnsiString& keyPath, const char* pszName, const AnsiString& value)
{
    if (value.length() >= MAXDWORD)
        return false;
    const UniqueRegKey key = OpenKey(keyPath, true);
    if (!key)
        return false;
    const DWORD cbData = value.empty() ? 0 : static_cast<DWORD>(value.length() + 1);
    return ::RegSetValueExA(key.get(), pszName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), cbData) == ERROR_SUCCESS;
}

bool RegReadValue(const AnsiString& keyPath, const char* pszName, void* pBuffer, DWORD cbBuffer)
{
    if (pBuffer != nullptr)
        std::memset(pBuffer, 0, cbBuffer);
    const UniqueRegKey key = OpenKey(keyPath, false);
    if (!key)
        return false;
    DWORD cbData = cbBuffer;
    if (::RegQueryValueExA(key.get(), pszName, nullptr, nullptr, static_cast<BYTE*>(pBuffer),
                           &cbData) == ERROR_SUCCESS)
        return true;
    // A refused read may leave part of the data behind; callers rely on zeros.
    if (pBuffer != nullptr)
        std::memset(pBuffer, 0, cbBuffer);
    return false;
}

bool RegGetValueType(const AnsiString& keyPath, const char* pszName, DWORD* pdwType)
{
    if (pdwType != nullptr)
        *pdwType = REG_NONE;
    const UniqueRegKey key = OpenKey(keyPath, false);
    if (!key)
        return false;
    return ::RegQueryValueExA(key.get(), pszName, nullptr, pdwType, nullptr, nullptr) ==
        ERROR_SUCCESS;
}

bool RegReadDword(const AnsiString& keyPath, const char* pszName, DWORD* pdwValue)
{
    BYTE data[sizeof(DWORD)];
    const bool bRead = RegReadValue(keyPath, pszName, data, sizeof(data));
    if (pdwValue != nullptr)
        *pdwValue = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
            static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return bRead;
}

DWORD RegCountValues(const AnsiString& keyPath)
{
    const UniqueRegKey key = OpenKey(keyPath, true);
    if (!key)
        return 0;
    DWORD nCount = 0;
    for (;;) {
        char szName[kCountNameBuffer];
        DWORD cchName = kCountNameBuffer;
        const LONG lResult = ::RegEnumValueA(key.get(), nCount, szName, &cchName, nullptr, nullptr,
                                             nullptr, nullptr);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA)
            return nCount;
        ++nCount;
    }
}

bool RegGetValueName(const AnsiString& keyPath, DWORD dwIndex, AnsiString* pName)
{
    if (pName != nullptr)
        *pName = AnsiString();
    const UniqueRegKey key = OpenKey(keyPath, true);
    if (!key)
        return false;
    // Most names fit a small buffer; asking for the longest name costs a walk over every
    // value of the key, which would make reading a long list quadratic.
    char szName[kShortNameBuffer];
    DWORD cchShort = kShortNameBuffer;
    const LONG lShort =
        ::RegEnumValueA(key.get(), dwIndex, szName, &cchShort, nullptr, nullptr, nullptr, nullptr);
    if (lShort == ERROR_SUCCESS) {
        if (pName != nullptr)
            *pName = AnsiString(szName, std::min<size_t>(cchShort, kShortNameBuffer - 1));
        return true;
    }
    if (lShort != ERROR_MORE_DATA)
        return false;
    DWORD cchMaxName = 0;
    if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &cchMaxName, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // The longest name is counted in characters; in a multi-byte code page its ANSI form
    // can take more bytes, so a refused name gets a larger buffer.
    std::vector<char> name(static_cast<size_t>(cchMaxName) + 1);
    for (int nAttempt = 0; nAttempt < kMaxReadAttempts; ++nAttempt) {
        DWORD cchName = static_cast<DWORD>(name.size());
        const LONG lResult = ::RegEnumValueA(key.get(), dwIndex, name.data(), &cchName, nullptr,
                                             nullptr, nullptr, nullptr);
        if (lResult == ERROR_SUCCESS) {
            if (pName != nullptr)
                *pName = AnsiString(name.data(), std::min<size_t>(cchName, name.size() - 1));
            return true;
        }
        if (lResult != ERROR_MORE_DATA)
            return false;
        name.resize(name.size() * 2);
    }
    return false;
}

bool RegReadText(const AnsiString& keyPath, const char* pszName, AnsiString* pText, DWORD cbBuffer)
{
    if (pText != nullptr)
        *pText = AnsiString();
    if (cbBuffer == 0)
        return false;
    const UniqueRegKey key = OpenKey(keyPath, false);
    if (!key)
        return false;
    std::vector<char> data(cbBuffer);
    DWORD cbData = cbBuffer;
    LONG lResult = ::RegQueryValueExA(key.get(), pszName, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(data.data()), &cbData);
    // Longer data is read whole into a buffer of the size the registry asks for, then cut.
    for (int nAttempt = 0; lResult == ERROR_MORE_DATA && nAttempt < kMaxReadAttempts; ++nAttempt) {
        data.assign(std::max<size_t>(cbData, data.size() * 2), '\0');
        cbData = static_cast<DWORD>(data.size());
        lResult = ::RegQueryValueExA(key.get(), pszName, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(data.data()), &cbData);
    }
    if (lResult != ERROR_SUCCESS)
        return false;
    const size_t cbLimit =
        std::min<size_t>({cbData, data.size(), static_cast<size_t>(cbBuffer) - 1});
    const char* const pEnd = std::find(data.data(), data.data() + cbLimit, '\0');
    if (pText != nullptr)
        *pText = AnsiString(data.data(), static_cast<size_t>(pEnd - data.data()));
    return true;
}

std::vector<RegTextValue> RegReadTextValues(const AnsiString& keyPath, DWORD cbBuffer)
{
    std::vector<RegTextValue> values;
    if (cbBuffer == 0)
        return values;
    const UniqueRegKey key = OpenKey(keyPath, true);
    if (!key)
        return values;
    std::vector<char> data(cbBuffer);
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[kShortNameBuffer];
        DWORD cchName = kShortNameBuffer;
        DWORD cbData = cbBuffer;
        const LONG lResult = ::RegEnumValueA(key.get(), dwIndex, szName, &cchName, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(data.data()), &cbData);
        RegTextValue value;
        if (lResult == ERROR_SUCCESS) {
            value.name = AnsiString(szName, std::min<size_t>(cchName, kShortNameBuffer - 1));
            const size_t cbLimit = std::min<size_t>(cbData, static_cast<size_t>(cbBuffer) - 1);
            const char* const pEnd = std::find(data.data(), data.data() + cbLimit, '\0');
            value.text = AnsiString(data.data(), static_cast<size_t>(pEnd - data.data()));
        } else if (lResult == ERROR_MORE_DATA) {
            // A long name or long data: read the way single values are read.
            if (!RegGetValueName(keyPath, dwIndex, &value.name) ||
                !RegReadText(keyPath, value.name.c_str(), &value.text, cbBuffer))
                continue;
        } else {
            break;
        }
        values.push_back(std::move(value));
    }
    return values;
}
