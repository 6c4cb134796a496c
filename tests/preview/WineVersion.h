#pragma once
#include <windows.h>

#include <cstdlib>

// True under a Wine before 10, which gives a child window whose parent belongs to another
// process no drawable: what such a child paints never reaches the screen. Windows and
// Wine 10 draw it on the screen like any other child window.
inline bool WineHidesOtherProcessesChildren()
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    using WineGetVersion = const char*(CDECL*)();
    const auto wineGetVersion = ntdll == nullptr
        ? nullptr
        : reinterpret_cast<WineGetVersion>(
              reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
    const int kFirstWineThatDraws = 10;
    return wineGetVersion != nullptr && std::atoi(wineGetVersion()) < kFirstWineThatDraws;
}
