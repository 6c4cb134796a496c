#pragma once
#include "ui/WideString.h"

#include <string>

// UTF-16 text as UTF-8, so that tests compare it with the UTF-8 literals of the sources.
std::string Utf8(const WideString& text);
