#include "tests/e2e/ProductTestSupport.h"

#include "saver/ChildSaver.h"
#include "tests/app/ChildTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/support/TestPaths.h"
#include "ui/UniqueRegKey.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace e2e {

namespace {

const char kSettingsKey[] = "Software\\Brindlecraft\\Quillmix";
const char kSaversSubKey[] = "Savers";
// GetTickCount advances in steps of up to this much.
const DWORD kClockStepMs = 20;

UniqueRegKey CreateKey(const char* path)
{
    HKEY h = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                          nullptr) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(h);
}

bool SetStringIn(const char* path, const char* name, const std::string& value)
{
    UniqueRegKey key = CreateKey(path);
    return key &&
        ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

void RemoveSettings() { ::SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

ULONGLONG FromFileTime(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::vector<ULONGLONG> s_injectedTimes;

LRESULT CALLBACK OnLowLevelKey(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && (key->flags & LLKHF_INJECTED) != 0)
        s_injectedTimes.push_back(FileTimeNow());
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK OnLowLevelMouse(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* mouse = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && (mouse->flags & LLMHF_INJECTED) != 0)
        s_injectedTimes.push_back(FileTimeNow());
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

ProductSettings::ProductSettings() { RemoveSettings(); }

ProductSettings::~ProductSettings() { RemoveSettings(); }

bool ProductSettings::SetDword(const char* name, DWORD value) const
{
    UniqueRegKey key = CreateKey(kSettingsKey);
    return key &&
        ::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof(value)) == ERROR_SUCCESS;
}

std::vector<std::string> ProductSettings::StringsIn(const char* subKey) const
{
    std::vector<std::string> strings;
    UniqueRegKey key = CreateKey((std::string(kSettingsKey) + "\\" + subKey).c_str());
    for (DWORD i = 0; key; ++i) {
        char name[MAX_PATH] = {};
        char data[MAX_PATH + 1] = {};
        DWORD cchName = sizeof(name);
        DWORD cbData = MAX_PATH;
        DWORD type = REG_NONE;
        if (::RegEnumValueA(key.get(), i, name, &cchName, nullptr, &type,
                            reinterpret_cast<BYTE*>(data), &cbData) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ)
            strings.emplace_back(data);
    }
    return strings;
}

bool ProductSettings::SetValueIn(const char* subKey, const std::string& name, DWORD type,
                                 const std::vector<BYTE>& data) const
{
    UniqueRegKey key = CreateKey((std::string(kSettingsKey) + "\\" + subKey).c_str());
    return key &&
        ::RegSetValueExA(key.get(), name.c_str(), 0, type, data.data(),
                         static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool ProductSettings::SetString(const char* name, const std::string& value) const
{
    return SetStringIn(kSettingsKey, name, value);
}

bool ProductSettings::SetSavers(const std::vector<std::string>& paths) const
{
    return SetSaversIn(kSaversSubKey, paths);
}

bool ProductSettings::SetSaversIn(const char* pszSubKey,
                                  const std::vector<std::string>& paths) const
{
    const std::string subKey = std::string(kSettingsKey) + "\\" + pszSubKey;
    bool ok = static_cast<bool>(CreateKey(subKey.c_str()));
    for (size_t i = 0; i < paths.size(); ++i) {
        char name[8];
        std::snprintf(name, sizeof(name), "%03u", static_cast<unsigned>(i));
        ok = SetStringIn(subKey.c_str(), name, paths[i]) && ok;
    }
    return ok;
}

std::string ProductSettings::GetString(const char* name) const
{
    char buf[MAX_PATH] = {};
    DWORD size = sizeof(buf) - 1;
    if (::SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, nullptr, buf, &size) != ERROR_SUCCESS)
        return std::string();
    return buf;
}

bool ProductSettings::IsCleanString(const char* name) const
{
    UniqueRegKey key = CreateKey(kSettingsKey);
    DWORD type = 0;
    DWORD size = 0;
    if (!key ||
        ::RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size == 0)
        return false;
    std::vector<char> data(size);
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS ||
        size != data.size())
        return false;
    return data.back() == '\0' && std::strlen(data.data()) + 1 == size;
}

RunningProduct::RunningProduct(const std::string& switches)
{
    const std::string product = ProductPath();
    m_process = StartChildSaver(product.c_str(), product + " " + switches);
    m_pid = m_process ? ::GetProcessId(m_process.get()) : 0;
}

RunningProduct::~RunningProduct()
{
    if (m_process && !HasEnded()) {
        ::TerminateProcess(m_process.get(), 1);
        ::WaitForSingleObject(m_process.get(), INFINITE);
    }
}

bool RunningProduct::HasEnded() const
{
    return ::WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
}

bool RunningProduct::RunsUntil(const std::function<bool()>& condition) const
{
    return apptest::PumpUntil(m_process.get(), condition) && !HasEnded();
}

HWND RunningProduct::WaitForCover() const
{
    HWND cover = nullptr;
    RunsUntil([&] {
        cover = apptest::FindProcessWindow(m_pid, nullptr, kCoverWindowText);
        return cover != nullptr;
    });
    return cover;
}

UniqueHandle RunningProduct::WaitForSaver(const char* description) const
{
    HWND saver = nullptr;
    if (!RunsUntil([&] {
            saver = ::FindWindowA(fixture::kSaverWindowClass, description);
            return saver != nullptr && ::IsWindowVisible(saver);
        }))
        return UniqueHandle();
    DWORD pid = 0;
    ::GetWindowThreadProcessId(saver, &pid);
    return UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

DWORD RunningProduct::WaitForExitCode(DWORD guardMs) const
{
    const DWORD start = ::GetTickCount();
    while (!HasEnded() && ::GetTickCount() - start < guardMs)
        apptest::PumpFor(kClockStepMs);
    return apptest::ExitCodeOf(m_process.get());
}

DWORD RunningProduct::EndByUser(const std::function<void()>& input, DWORD guardMs) const
{
    const DWORD kRepeatMs = 500;
    const DWORD start = ::GetTickCount();
    while (!HasEnded() && ::GetTickCount() - start < guardMs) {
        input();
        const DWORD given = ::GetTickCount();
        while (!HasEnded() && ::GetTickCount() - given < kRepeatMs)
            apptest::PumpFor(kClockStepMs);
    }
    return apptest::ExitCodeOf(m_process.get());
}

bool RunningProduct::HasChildLeft() const
{
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    if (snapshot.get() == INVALID_HANDLE_VALUE || !::Process32First(snapshot.get(), &entry))
        return false;
    const ULONGLONG started = CreationTimeOf(m_process.get());
    do {
        // A process that has just ended may still be listed under Wine.
        UniqueHandle child(entry.th32ParentProcessID == m_pid
                               ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                               FALSE, entry.th32ProcessID)
                               : nullptr);
        // The product's id may be one that an ended process had before, and that process's
        // children (Wine's services.exe and explorer.exe among them) still name it.
        if (!child || ::WaitForSingleObject(child.get(), 0) != WAIT_TIMEOUT)
            continue;
        const ULONGLONG created = CreationTimeOf(child.get());
        if (created == 0 || created >= started)
            return true;
    } while (::Process32Next(snapshot.get(), &entry));
    return false;
}

bool RunningProduct::ReportDisplayState(HWND cover, MONITOR_DISPLAY_STATE state) const
{
    const DWORD value = state;
    std::vector<BYTE> report(offsetof(POWERBROADCAST_SETTING, Data) + sizeof(value));
    auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(report.data());
    setting->PowerSetting = GUID_CONSOLE_DISPLAY_STATE;
    setting->DataLength = sizeof(value);
    std::memcpy(setting->Data, &value, sizeof(value));
    // The product may read it until it ends.
    void* remote = ::VirtualAllocEx(m_process.get(), nullptr, report.size(),
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return remote != nullptr &&
        ::WriteProcessMemory(m_process.get(), remote, report.data(), report.size(), nullptr) &&
        ::PostMessageA(cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                       reinterpret_cast<LPARAM>(remote));
}

bool PointerShown()
{
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    return ::GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) != 0;
}

ULONGLONG FileTimeNow()
{
    FILETIME ft = {};
    ::GetSystemTimeAsFileTime(&ft);
    return FromFileTime(ft);
}

ULONGLONG ExitTimeOf(HANDLE hProcess)
{
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    return ::GetProcessTimes(hProcess, &creation, &exit, &kernel, &user) ? FromFileTime(exit) : 0;
}

ULONGLONG CreationTimeOf(HANDLE hProcess)
{
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    return ::GetProcessTimes(hProcess, &creation, &exit, &kernel, &user) ? FromFileTime(creation)
                                                                         : 0;
}

InjectedInputWatch::InjectedInputWatch()
{
    s_injectedTimes.clear();
    const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
    m_keyHook.reset(::SetWindowsHookExA(WH_KEYBOARD_LL, OnLowLevelKey, hInstance, 0));
    m_mouseHook.reset(::SetWindowsHookExA(WH_MOUSE_LL, OnLowLevelMouse, hInstance, 0));
}

const std::vector<ULONGLONG>& InjectedInputWatch::SeenTimes() const { return s_injectedTimes; }

}  // namespace e2e
