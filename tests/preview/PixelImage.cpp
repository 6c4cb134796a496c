#include "tests/preview/PixelImage.h"

#include "res/resource.h"

#include <cstdio>

namespace {
const std::uint32_t kRgbMask = 0xFFFFFF;

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

HBITMAP MakeDib(int width, int height, void** bits)
{
    const BITMAPINFO bi = TopDown32(width, height);
    return ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Where the logo's left (top) edge lands in an area of the given extent.
int ExpectedOffset(int area, int logo)
{
    if (area >= logo)
        return (area - logo) / 2;
    return -((logo - area + 1) / 2);
}
}  // namespace

DibCanvas::DibCanvas(int width, int height)
    : m_width(width)
    , m_height(height)
    , m_dc(nullptr)
    , m_bitmap(MakeDib(width, height, &m_bits))
    , m_select(m_dc.get(), m_bitmap.get())
{
}

void DibCanvas::Fill(COLORREF color)
{
    GdiObject<HBRUSH> brush(::CreateSolidBrush(color));
    const RECT rc = {0, 0, m_width, m_height};
    ::FillRect(m_dc.get(), &rc, brush.get());
    ::GdiFlush();
}

PixelImage DibCanvas::Pixels() const
{
    ::GdiFlush();
    PixelImage image;
    image.width = m_width;
    image.height = m_height;
    const auto* src = static_cast<const std::uint32_t*>(m_bits);
    image.pixels.assign(src, src + static_cast<size_t>(m_width) * m_height);
    for (auto& p : image.pixels)
        p &= kRgbMask;
    return image;
}

PixelImage LoadLogoPixels()
{
    PixelImage image;
    BitmapHandle logo(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LOGO)));
    BITMAP bm = {};
    if (!logo || ::GetObjectA(logo.get(), sizeof(bm), &bm) != sizeof(bm))
        return image;
    BITMAPINFO bi = TopDown32(bm.bmWidth, bm.bmHeight);
    std::vector<std::uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    MemoryDC dc(nullptr);
    if (::GetDIBits(dc.get(), logo.get(), 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS) !=
        bm.bmHeight)
        return image;
    for (auto& p : pixels)
        p &= kRgbMask;
    image.width = bm.bmWidth;
    image.height = bm.bmHeight;
    image.pixels = std::move(pixels);
    return image;
}

PixelImage ReadPixels(HDC hdc, int x, int y, int width, int height)
{
    DibCanvas canvas(width, height);
    if (!canvas.ok() || !::BitBlt(canvas.dc(), 0, 0, width, height, hdc, x, y, SRCCOPY))
        return PixelImage();
    return canvas.Pixels();
}

PixelImage ExpectedPreview(const PixelImage& logo, int width, int height)
{
    PixelImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * height, kWhitePixel);
    const int left = ExpectedOffset(width, logo.width);
    const int top = ExpectedOffset(height, logo.height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int lx = x - left;
            const int ly = y - top;
            if (lx >= 0 && lx < logo.width && ly >= 0 && ly < logo.height)
                image.pixels[static_cast<size_t>(y) * width + x] = logo.At(lx, ly);
        }
    }
    return image;
}

testing::AssertionResult SameImage(const PixelImage& expected, const PixelImage& actual)
{
    if (expected.width != actual.width || expected.height != actual.height)
        return testing::AssertionFailure()
            << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
            << "x" << expected.height;
    size_t differing = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            if (expected.At(x, y) == actual.At(x, y))
                continue;
            if (differing++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (differing == 0)
        return testing::AssertionSuccess();
    char detail[128];
    std::snprintf(detail, sizeof(detail), "first at (%d,%d): 0x%06X, expected 0x%06X", firstX,
                  firstY, static_cast<unsigned>(actual.At(firstX, firstY)),
                  static_cast<unsigned>(expected.At(firstX, firstY)));
    return testing::AssertionFailure()
        << differing << " of " << expected.pixels.size() << " pixels differ; " << detail;
}
