#pragma once
#include "ui/GdiObject.h"
#include "ui/MemoryDC.h"
#include "ui/SelectObjectGuard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Pixels of a picture, top row first, each 0x00RRGGBB.
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

const std::uint32_t kWhitePixel = 0xFFFFFF;

// A 32-bit DIB section selected into a memory DC: something to draw into and read back.
class DibCanvas {
public:
    DibCanvas(int width, int height);
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC dc() const { return m_dc.get(); }
    bool ok() const { return m_bits != nullptr && m_dc; }
    void Fill(COLORREF color);
    PixelImage Pixels() const;

private:
    int m_width;
    int m_height;
    void* m_bits = nullptr;
    MemoryDC m_dc;
    BitmapHandle m_bitmap;
    SelectObjectGuard m_select;
};

// Bitmap 202 of this program's own resources (the product's), read with GetDIBits.
PixelImage LoadLogoPixels();
// A block of a DC copied out with BitBlt.
PixelImage ReadPixels(HDC hdc, int x, int y, int width, int height);
// The preview of a width by height area as a person expects it: white, the logo at its
// own size centred, an odd spare pixel right or below, an odd missing one cut left or above.
PixelImage ExpectedPreview(const PixelImage& logo, int width, int height);
// Equal sizes and pixels; otherwise says how many pixels differ and where the first is.
testing::AssertionResult SameImage(const PixelImage& expected, const PixelImage& actual);
