#include "saver/SaverCommandLine.h"

#include <windows.h>

#include <string>

namespace {

// What ends a program's own name on the command line when it is not quoted.
const char kCommandLineBlanks[] = " \t";

bool HasBlank(const std::string& text)
{
    return text.find_first_of(kCommandLineBlanks) != std::string::npos;
}

// The file's short path; empty when the system gives none (no such file, a folder that
// cannot be listed).
std::string ShortPath(const AnsiString& path)
{
    const DWORD nNeeded = ::GetShortPathNameA(path.c_str(), nullptr, 0);
    if (nNeeded == 0)
        return std::string();
    std::string shortPath(nNeeded, '\0');
    const DWORD nGot = ::GetShortPathNameA(path.c_str(), &shortPath[0], nNeeded);
    // The file may have been renamed between the two calls.
    if (nGot == 0 || nGot >= nNeeded)
        return std::string();
    shortPath.resize(nGot);
    return shortPath;
}

}  // namespace

AnsiString SaverCommandLine(const AnsiString& path, const AnsiString& switches)
{
    const std::string shortPath = ShortPath(path);
    if (!shortPath.empty() && !HasBlank(shortPath))
        return AnsiString(shortPath) + switches;
    if (HasBlank(path.str()))
        return AnsiString("\"") + path + "\"" + switches;
    return path + switches;
}
