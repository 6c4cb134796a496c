#include "tests/support/TestPaths.h"

#include <windows.h>

#include <vector>

std::string EnvOr(const char* name, const std::string& fallback)
{
    const DWORD n = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (n == 0)
        return fallback;
    std::vector<char> buf(n);
    ::GetEnvironmentVariableA(name, buf.data(), n);
    return std::string(buf.data());
}

std::string WindowsPathOf(const std::string& unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/')
        return unixPath;
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string FixtureDir() { return WindowsPathOf(EnvOr("QUILLMIX_FIXTURES")); }

std::string FixturePath(const std::string& fileName) { return FixtureDir() + "\\" + fileName; }

std::string ProductPath() { return WindowsPathOf(EnvOr("QUILLMIX_SCR")); }

std::string ShortPathOf(const std::string& path)
{
    char text[MAX_PATH] = {};
    const DWORD n = ::GetShortPathNameA(path.c_str(), text, MAX_PATH);
    return n > 0 && n < MAX_PATH ? text : path;
}

std::string LongPathOf(const std::string& path)
{
    char text[MAX_PATH] = {};
    const DWORD n = ::GetLongPathNameA(path.c_str(), text, MAX_PATH);
    return n > 0 && n < MAX_PATH ? text : path;
}
