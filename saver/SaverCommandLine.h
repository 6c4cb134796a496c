#pragma once
#include "ui/AnsiString.h"

// The command line a saver is started with: its path as no saver's parser splits it, then
// the switch text as given (" /s", " /p 1234", " /c 1234"). The path is the file's short
// (8.3) form where that has no blank: every parser reads it, also one that ends its own
// name at the first blank or takes the first letter after it for the switch. Else a path
// with a blank goes in quotes, which the C runtime and the common screen-saver library
// read; a path without one stays as it is. The application name, the stored paths and the
// records keep the long path.
AnsiString SaverCommandLine(const AnsiString& path, const AnsiString& switches);
