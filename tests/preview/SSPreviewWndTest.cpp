// The preview in this process: the picture drawn into memory DCs, and RunPreview in a
// host window of the test.
#include "preview/SSPreviewWnd.h"
#include "preview/RunPreview.h"
#include "res/resource.h"
#include "tests/preview/HostWindow.h"
#include "tests/preview/PixelImage.h"
#include "tests/preview/PreviewAreas.h"
#include "ui/WindowDC.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const COLORREF kUntouched = RGB(12, 34, 56);
const std::uint32_t kUntouchedPixel = 0x0C2238;
const int kLogoWidth = 152;
const int kLogoHeight = 112;

struct AreaCase {
    const char* name;
    int width;
    int height;
};

std::ostream& operator<<(std::ostream& os, const AreaCase& c) { return os << c.name; }

const AreaCase kAreas[] = {
    {"LogoSize", kLogoWidth, kLogoHeight}, {"LargerEven", 200, 150},   {"LargerOdd", 201, 151},
    {"OnePixelLarger", 153, 113},          {"SmallerEven", 100, 80},   {"SmallerOdd", 101, 81},
    {"OnePixelSmaller", 151, 111},         {"WiderButLower", 300, 61}, {"SinglePixel", 1, 1},
};

class DrawPictureTest : public testing::TestWithParam<AreaCase> { };

TEST(PreviewLogo, IsA152By112BitmapOf24Bits)
{
    // LoadBitmapA gives a bitmap of the screen's depth; the resource itself tells its own.
    HMODULE self = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(self, MAKEINTRESOURCEA(IDB_LOGO), RT_BITMAP);
    ASSERT_NE(nullptr, found);
    ASSERT_GE(::SizeofResource(self, found), sizeof(BITMAPINFOHEADER));
    const auto* header =
        static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(self, found)));
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(kLogoWidth, header->biWidth);
    EXPECT_EQ(kLogoHeight, header->biHeight);
    EXPECT_EQ(24, header->biBitCount);

    // The comparisons below only mean something if the logo is not plain white.
    const PixelImage pixels = LoadLogoPixels();
    ASSERT_EQ(kLogoWidth, pixels.width);
    ASSERT_EQ(kLogoHeight, pixels.height);
    size_t coloured = 0;
    for (auto p : pixels.pixels)
        coloured += p != kWhitePixel ? 1 : 0;
    EXPECT_GT(coloured, pixels.pixels.size() / 4);
}

TEST_P(DrawPictureTest, ShowsTheLogoCentredOnWhite)
{
    const AreaCase& area = GetParam();
    const PixelImage logo = LoadLogoPixels();
    ASSERT_EQ(kLogoWidth, logo.width);
    DibCanvas canvas(area.width, area.height);
    ASSERT_TRUE(canvas.ok());
    canvas.Fill(kUntouched);

    EXPECT_TRUE(SSPreviewWnd::DrawPicture(canvas.dc(), SIZE{area.width, area.height}));
    EXPECT_TRUE(SameImage(ExpectedPreview(logo, area.width, area.height), canvas.Pixels()));
}

TEST_P(DrawPictureTest, DrawsTheSameAgain)
{
    // Every paint starts afresh: the second picture is the first one again.
    const AreaCase& area = GetParam();
    DibCanvas first(area.width, area.height);
    DibCanvas second(area.width, area.height);
    ASSERT_TRUE(first.ok() && second.ok());
    second.Fill(kUntouched);
    ASSERT_TRUE(SSPreviewWnd::DrawPicture(first.dc(), SIZE{area.width, area.height}));
    ASSERT_TRUE(SSPreviewWnd::DrawPicture(second.dc(), SIZE{area.width, area.height}));
    EXPECT_TRUE(SameImage(first.Pixels(), second.Pixels()));
}

INSTANTIATE_TEST_SUITE_P(Areas, DrawPictureTest, testing::ValuesIn(kAreas),
                         [](const testing::TestParamInfo<AreaCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(DrawPicture, DrawsOnlyInsideTheGivenSize)
{
    // A DC larger than the window: nothing beyond the window's own size is touched.
    const PixelImage logo = LoadLogoPixels();
    DibCanvas canvas(kLogoWidth + 40, kLogoHeight + 30);
    ASSERT_TRUE(canvas.ok());
    canvas.Fill(kUntouched);
    ASSERT_TRUE(SSPreviewWnd::DrawPicture(canvas.dc(), SIZE{kLogoWidth + 1, kLogoHeight + 1}));
    const PixelImage drawn = canvas.Pixels();
    const PixelImage expected = ExpectedPreview(logo, kLogoWidth + 1, kLogoHeight + 1);
    size_t wrong = 0;
    for (int y = 0; y < drawn.height; ++y)
        for (int x = 0; x < drawn.width; ++x) {
            const bool inside = x < expected.width && y < expected.height;
            wrong += drawn.At(x, y) != (inside ? expected.At(x, y) : kUntouchedPixel) ? 1 : 0;
        }
    EXPECT_EQ(0u, wrong);
}

TEST(DrawPicture, EmptyOrNegativeSizeDrawsNothing)
{
    DibCanvas canvas(8, 8);
    ASSERT_TRUE(canvas.ok());
    canvas.Fill(kUntouched);
    EXPECT_TRUE(SSPreviewWnd::DrawPicture(canvas.dc(), SIZE{0, 0}));
    EXPECT_TRUE(SSPreviewWnd::DrawPicture(canvas.dc(), SIZE{8, 0}));
    EXPECT_TRUE(SSPreviewWnd::DrawPicture(canvas.dc(), SIZE{-5, 8}));
    const PixelImage pixels = canvas.Pixels();
    for (auto p : pixels.pixels)
        ASSERT_EQ(kUntouchedPixel, p);
    EXPECT_FALSE(SSPreviewWnd::DrawPicture(nullptr, SIZE{8, 8}));
}

// What the timer saw of the preview window while RunPreview ran its loop.
struct Observation {
    HWND hWndHost = nullptr;
    HWND hWndPreview = nullptr;
    HWND hWndParent = nullptr;
    LONG style = 0;
    LONG exStyle = 0;
    DWORD classStyle = 0;
    RECT client = {};
    POINT origin = {-1, -1};
    bool pendingPaint = true;
    bool printed = false;
    PixelImage printClient;
    PixelImage onScreen;
    LRESULT eraseResult = -1;
    PixelImage afterErase;
};

Observation g_seen;

void CALLBACK QuitWaiting(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(1); }

void CALLBACK ObserveAndCloseHost(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    ::KillTimer(nullptr, idEvent);
    Observation& o = g_seen;
    o.hWndPreview = ::FindWindowExA(o.hWndHost, nullptr, nullptr, "QuillmixPreview");
    if (o.hWndPreview != nullptr) {
        o.hWndParent = ::GetParent(o.hWndPreview);
        o.style = ::GetWindowLongA(o.hWndPreview, GWL_STYLE);
        o.exStyle = ::GetWindowLongA(o.hWndPreview, GWL_EXSTYLE);
        o.classStyle = static_cast<DWORD>(::GetClassLongPtrA(o.hWndPreview, GCL_STYLE));
        ::GetClientRect(o.hWndPreview, &o.client);
        o.origin = POINT{0, 0};
        ::MapWindowPoints(o.hWndPreview, o.hWndHost, &o.origin, 1);
        o.pendingPaint = ::GetUpdateRect(o.hWndPreview, nullptr, FALSE) != FALSE;

        const int cx = o.client.right;
        const int cy = o.client.bottom;
        {
            WindowDC dc(o.hWndPreview);
            o.onScreen = ReadPixels(dc.get(), 0, 0, cx, cy);
        }
        DibCanvas print(cx, cy);
        print.Fill(kUntouched);
        ::SendMessageA(o.hWndPreview, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(print.dc()),
                       PRF_CLIENT);
        o.printClient = print.Pixels();

        DibCanvas erase(cx, cy);
        erase.Fill(kUntouched);
        o.eraseResult =
            ::SendMessageA(o.hWndPreview, WM_ERASEBKGND, reinterpret_cast<WPARAM>(erase.dc()), 0);
        o.afterErase = erase.Pixels();
    }
    ::DestroyWindow(o.hWndHost);
}

class RunPreviewTest : public testing::TestWithParam<PreviewArea> { };

TEST_P(RunPreviewTest, DrawsInAChildOfTheHostUntilTheHostIsDestroyed)
{
    const int width = GetParam().width;
    const int height = GetParam().height;
    const PixelImage logo = LoadLogoPixels();
    ASSERT_EQ(kLogoWidth, logo.width);
    HostWindow host(width, height);
    ASSERT_NE(nullptr, host.get());
    g_seen = Observation();
    g_seen.hWndHost = host.get();
    // The loop paints first (WM_PAINT comes before WM_TIMER), then the timer looks.
    ASSERT_NE(0u, ::SetTimer(nullptr, 0, 300, ObserveAndCloseHost));

    EXPECT_TRUE(RunPreview(host.get()));

    const Observation& o = g_seen;
    ASSERT_NE(nullptr, o.hWndPreview) << "no child window with the text QuillmixPreview";
    EXPECT_EQ(host.get(), o.hWndParent);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE), o.style);
    EXPECT_EQ(0, o.exStyle);
    EXPECT_EQ(static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), o.classStyle);
    EXPECT_EQ(0, o.origin.x);
    EXPECT_EQ(0, o.origin.y);
    EXPECT_EQ(width, o.client.right);
    EXPECT_EQ(height, o.client.bottom);
    EXPECT_FALSE(o.pendingPaint);

    // The window's own pixels (what its paint left on the screen) and what it prints.
    const PixelImage expected = ExpectedPreview(logo, width, height);
    EXPECT_TRUE(SameImage(expected, o.onScreen)) << "painted";
    EXPECT_TRUE(SameImage(expected, o.printClient)) << "WM_PRINTCLIENT";
    EXPECT_EQ(0, o.eraseResult);
    DibCanvas untouched(width, height);
    untouched.Fill(kUntouched);
    EXPECT_TRUE(SameImage(untouched.Pixels(), o.afterErase)) << "WM_ERASEBKGND painted";

    EXPECT_FALSE(::IsWindow(o.hWndPreview));
    MSG msg;
    EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "a quit message was left for the caller";
}

INSTANTIATE_TEST_SUITE_P(Hosts, RunPreviewTest, testing::ValuesIn(kPreviewAreas),
                         [](const testing::TestParamInfo<PreviewArea>& param) {
                             return std::string(param.param.name);
                         });

TEST(RunPreview, ReturnsAtOnceForAHandleThatNamesNoWindow)
{
    HWND gone = nullptr;
    {
        HostWindow host(20, 20);
        gone = host.get();
    }
    ASSERT_NE(nullptr, gone);
    ASSERT_FALSE(::IsWindow(gone));
    // Were RunPreview to wait for a quit message here, nobody would post one; the guard
    // below makes such a hang fail instead of stopping the test run.
    const UINT_PTR guard = ::SetTimer(nullptr, 0, 15000, QuitWaiting);
    EXPECT_FALSE(RunPreview(gone));
    EXPECT_FALSE(RunPreview(reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7FFFFFF0))));
    ::KillTimer(nullptr, guard);
}
}  // namespace
