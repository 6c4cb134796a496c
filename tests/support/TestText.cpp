#include "tests/support/TestText.h"

#include <windows.h>

std::string Utf8(const WideString& text)
{
    if (text.empty())
        return std::string();
    const int nUnits = static_cast<int>(text.length());
    const int nBytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), nUnits, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), nUnits, &utf8[0], nBytes, nullptr, nullptr);
    return utf8;
}
