#pragma once
#include <windows.h>

// The exit code of a process ended by a fatal error: an exception that nothing caught, in
// C++ or from the system. abort's would be 3.
constexpr UINT kFatalErrorExitCode = 255;

// Run mode's start: no error box of the system for this process nor for the savers it
// starts, which inherit the mode (a box would wait under the topmost cover for nobody),
// and a crash of this process ends it at once with kFatalErrorExitCode, so that the jobs
// of its savers take them with it.
void EndAtOnceOnFatalErrors() noexcept;
