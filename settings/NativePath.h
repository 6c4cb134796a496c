#pragma once
#include "ui/AnsiString.h"

// The 32-bit build under WOW64 sees SysWOW64 where a path names %windir%\System32. Saver
// paths are stored and shown with System32, so that both builds share one selection; every
// file access and process start takes the path through NativePath, which reaches the real
// System32 by %windir%\Sysnative. Switching the redirection off for the thread instead
// would break the loading of system DLLs.

// The path to touch the file by: System32 under %windir% as Sysnative where this process
// is redirected by WOW64, else the path unchanged.
AnsiString NativePath(const AnsiString& path);
// Whether this is a 32-bit process under WOW64, whose view of System32 is redirected.
bool IsWow64Redirected();
