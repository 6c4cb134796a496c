#pragma once
#include <ostream>

// Client areas a preview is checked at: the logo's own size, larger and smaller with odd
// differences both ways (the spare pixel right or below, the missing one cut left or
// above), and one wider but lower than the logo.
struct PreviewArea {
    const char* name;
    int width;
    int height;
};

inline std::ostream& operator<<(std::ostream& os, const PreviewArea& area)
{
    return os << area.name;
}

constexpr PreviewArea kPreviewAreas[] = {
    {"LogoSizeNoBorder", 152, 112},
    {"LargerOddDifferences", 201, 151},
    {"SmallerOddDifferences", 101, 81},
    {"WiderButLower", 300, 101},
};
