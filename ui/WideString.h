#pragma once
#include <string>

// Text in UTF-16, for what reaches the screen in any script (a saver's description).
// Traits of its own keep the static runtime's explicit instantiation of std::wstring, which
// links whole (about 40 KB with its unwind tables), out of the executable: only the members
// used are compiled in.
struct WideCharTraits : std::char_traits<wchar_t> { };
using WideString = std::basic_string<wchar_t, WideCharTraits>;
