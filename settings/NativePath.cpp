#include "settings/NativePath.h"

#include <windows.h>

#include <string>

namespace {

constexpr char kSystem32[] = "\\System32";
constexpr char kSysnative[] = "\\Sysnative";

std::string UpperCase(std::string text)
{
    if (!text.empty())
        ::CharUpperBuffA(&text[0], static_cast<DWORD>(text.length()));
    return text;
}

// %windir%\System32 as the path's prefix to look for, upper-cased; empty where this process
// is not redirected.
const std::string& RedirectedPrefix()
{
    static const std::string prefix = [] {
        char szWindows[MAX_PATH] = {};
        const UINT cch = ::GetWindowsDirectoryA(szWindows, MAX_PATH);
        if (!IsWow64Redirected() || cch == 0 || cch >= MAX_PATH)
            return std::string();
        std::string windows(szWindows, cch);
        while (!windows.empty() && windows.back() == '\\')
            windows.pop_back();
        return UpperCase(windows + kSystem32);
    }();
    return prefix;
}

}  // namespace

bool IsWow64Redirected()
{
    static const bool bWow64 = [] {
        BOOL b = FALSE;
        return ::IsWow64Process(::GetCurrentProcess(), &b) && b;
    }();
    return bWow64;
}

AnsiString NativePath(const AnsiString& path)
{
    const std::string& prefix = RedirectedPrefix();
    const std::string& text = path.str();
    if (prefix.empty() || text.length() < prefix.length())
        return path;
    // Only the folder itself or a path inside it: "System32x" is another folder.
    if (text.length() > prefix.length() && text[prefix.length()] != '\\')
        return path;
    if (UpperCase(text.substr(0, prefix.length())) != prefix)
        return path;
    const size_t nWindows = prefix.length() - (sizeof(kSystem32) - 1);
    return AnsiString(text.substr(0, nWindows) + kSysnative + text.substr(prefix.length()));
}
