// Helpers of the programs that drive the built Quillmix.scr in run mode: its settings key,
// the running product, the pointer and the Escape keys that the product injects. The
// product reads the real HKEY_CURRENT_USER of the Wine prefix.
#pragma once
#include "ui/UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The window text of the product's cover.
constexpr char kCoverWindowText[] = "Quillmix";

// The product's settings key, written by the caller and removed before and after it. The
// setters return false when the key or value could not be written.
class ProductSettings {
public:
    ProductSettings();
    ProductSettings(const ProductSettings&) = delete;
    ProductSettings& operator=(const ProductSettings&) = delete;
    ~ProductSettings();

    bool SetDword(const char* name, DWORD value) const;
    bool SetString(const char* name, const std::string& value) const;
    // The selection, as the configuration dialog stores it: "000", "001", ... An empty
    // list still makes the subkey, which means that no saver is selected.
    bool SetSavers(const std::vector<std::string>& paths) const;
    // The paths under a subkey of the settings key, as the store writes its lists.
    bool SetSaversIn(const char* subKey, const std::vector<std::string>& paths) const;
    // A string value as stored; "" when it is missing or not a string.
    std::string GetString(const char* name) const;
    // Whether the value is a REG_SZ whose stored size is its text and one terminating NUL,
    // with no other NUL inside: a value written whole, not cut or padded.
    bool IsCleanString(const char* name) const;
    // The string values of a subkey, in the registry's order.
    std::vector<std::string> StringsIn(const char* subKey) const;
    // A value of any type in a subkey (the subkey is made).
    bool SetValueIn(const char* subKey, const std::string& name, DWORD type,
                    const std::vector<BYTE>& data) const;
};

// The product in run mode, started with the given switches; terminated if the caller
// leaves it running.
class RunningProduct {
public:
    explicit RunningProduct(const std::string& switches);
    RunningProduct(const RunningProduct&) = delete;
    RunningProduct& operator=(const RunningProduct&) = delete;
    ~RunningProduct();

    explicit operator bool() const { return static_cast<bool>(m_process); }
    HANDLE get() const { return m_process.get(); }
    DWORD ProcessId() const { return m_pid; }
    bool HasEnded() const;

    // Waits, dispatching this thread's messages, until the condition holds while the
    // product still runs; false when it ended first.
    bool RunsUntil(const std::function<bool()>& condition) const;
    // The cover window, once it is shown; nullptr when the product ended first.
    HWND WaitForCover() const;
    // The process of the fixture saver whose window with that description is shown,
    // opened to wait on; empty when the product ended first.
    UniqueHandle WaitForSaver(const char* description) const;
    // Waits for the end under a hang guard; the exit code, STILL_ACTIVE when it hangs.
    DWORD WaitForExitCode(DWORD guardMs) const;
    // The user's input, given again every little while until the product has ended (a
    // single input can be lost while a new window takes its first pointer position); then
    // the exit code as WaitForExitCode gives it.
    DWORD EndByUser(const std::function<void()>& input, DWORD guardMs) const;
    // Tells the cover the display's state as the system does: WM_POWERBROADCAST with a
    // GUID_CONSOLE_DISPLAY_STATE setting that lies in the product's own memory (no system
    // carries this message's lParam across processes); false when it could not be posted.
    bool ReportDisplayState(HWND cover, MONITOR_DISPLAY_STATE state) const;

private:
    UniqueHandle m_process;
    DWORD m_pid = 0;
};

// Whether the mouse pointer is shown, as the foreground window's thread has it.
bool PointerShown();

// The system's time now, in the units of the process times (100 ns).
ULONGLONG FileTimeNow();
// When an ended process exited, in those units; 0 when that cannot be read.
ULONGLONG ExitTimeOf(HANDLE hProcess);
// When a process was created, in those units; 0 when that cannot be read.
ULONGLONG CreationTimeOf(HANDLE hProcess);
constexpr ULONGLONG kFileTimePerMs = 10000;

// The moments of the injected Escape key presses that a low-level keyboard hook of this
// thread sees while the object lives (this thread must dispatch its messages meanwhile).
// Only one watch may exist at a time.
class InjectedEscapeWatch {
public:
    InjectedEscapeWatch();
    InjectedEscapeWatch(const InjectedEscapeWatch&) = delete;
    InjectedEscapeWatch& operator=(const InjectedEscapeWatch&) = delete;
    ~InjectedEscapeWatch();

    bool IsHooked() const { return m_hook != nullptr; }
    // The system time of the first injected Escape, 0 before there was one.
    ULONGLONG SeenAt() const;
    // The system times of every injected Escape so far, in order.
    const std::vector<ULONGLONG>& SeenTimes() const;

private:
    HHOOK m_hook = nullptr;
};

}  // namespace e2e
