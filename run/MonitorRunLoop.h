#pragma once
#include "run/RunLoop.h"
#include "settings/SSSettings.h"

#include <windows.h>

class MonitorLayout;
class RunEnvironment;
class SaverRotation;

// A saver started with "/p" that shows a visible top-level window of its own within this
// time of its start (a settings dialog instead of a preview) is ended and passed over.
constexpr DWORD kPreviewSettleMs = 5000;
// How often that is looked at while a saver is settling.
constexpr DWORD kPreviewCheckMs = 250;

// Runs a saver in a host window on each monitor of the layout, started with "/p" and the
// host's handle, until the user's input ends all of them and the run. A saver that ends
// by itself or shows a window of its own is passed over on its monitor only; with a
// switch delay, each monitor moves on when its own time is up, the monitors staggered.
// While the display is off no saver runs on any monitor. Returns NothingStarted without
// input watch once every monitor has given up.
RunEnd RunMonitorCycles(SaverRotation& rotation, MonitorMode mode, const MonitorLayout& layout,
                        DWORD dwSwitchDelayMs, HWND hWndCover, RunEnvironment& env);
