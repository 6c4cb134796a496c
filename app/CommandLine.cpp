#include "app/CommandLine.h"

#include <shlwapi.h>

#include <cstdlib>
#include <string>

namespace {

const char* const kRunSwitches[] = {"/s", "-s"};
const char* const kPreviewSwitches[] = {"/p", "-p", "/l", "-l"};
const char* const kConfigureSwitches[] = {"/c", "-c"};
const size_t kSwitchLength = 2;

// Position of the first switch of the list that occurs anywhere, tried in list order.
template <size_t N> size_t FindFirstOf(const std::string& text, const char* const (&switches)[N])
{
    for (const char* sw : switches) {
        const size_t pos = text.find(sw);
        if (pos != std::string::npos)
            return pos;
    }
    return std::string::npos;
}

}  // namespace

AnsiString LowerCaseCommandLine(const char* pszCmdLine)
{
    std::string text = pszCmdLine != nullptr ? pszCmdLine : "";
    // The system's mapping in the ANSI code page; a double-byte character stays whole.
    if (!text.empty())
        ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return AnsiString(std::move(text));
}

bool HasRunSwitch(const AnsiString& cmdLine)
{
    return FindFirstOf(cmdLine.str(), kRunSwitches) != std::string::npos;
}

LONG ReadPreviewHandle(const AnsiString& cmdLine)
{
    const std::string& text = cmdLine.str();
    size_t pos = FindFirstOf(text, kPreviewSwitches);
    if (pos == std::string::npos)
        return 0;
    pos += kSwitchLength;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    if (pos >= text.size())
        return 0;
    // As atol reads it, with values past the 32-bit range clamped (long is 32 bits here).
    return std::strtol(text.c_str() + pos, nullptr, 10);
}

LONG ReadConfigureOwner(const AnsiString& cmdLine)
{
    const std::string& text = cmdLine.str();
    const size_t pos = FindFirstOf(text, kConfigureSwitches);
    if (pos == std::string::npos || pos + kSwitchLength + 1 >= text.size())
        return 0;
    return ::StrToIntA(text.c_str() + pos + kSwitchLength + 1);
}

ModeChoice ChooseMode(const AnsiString& cmdLine)
{
    if (HasRunSwitch(cmdLine))
        return {SaverMode::Run, 0};
    const LONG host = ReadPreviewHandle(cmdLine);
    if (host != 0)
        return {SaverMode::Preview, host};
    return {SaverMode::Configure, ReadConfigureOwner(cmdLine)};
}
