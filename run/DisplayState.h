#pragma once
#include <windows.h>

// The display's power state as the system reports it for GUID_CONSOLE_DISPLAY_STATE (for
// GUID_MONITOR_POWER_ON only off and on).
enum class DisplayState : DWORD {
    Off = 0,
    On = 1,
    Dimmed = 2,
};
