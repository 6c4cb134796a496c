#include "run/SSCoverWnd.h"
#include "run/SSMonitorHostWnd.h"

#include "tests/run/RunTestSupport.h"

#include "ui/GdiObject.h"
#include "ui/MemoryDC.h"
#include "ui/SelectObjectGuard.h"
#include "ui/WindowDC.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kOverdrawColor = RGB(20, 220, 40);

// What the cover paints at the points (default: the sample points of its client area),
// rendered through WM_PRINTCLIENT into a white memory bitmap.
std::vector<COLORREF> PrintedPixels(HWND hWnd, std::vector<POINT> points = {})
{
    RECT rc = {};
    ::GetClientRect(hWnd, &rc);
    WindowDC screen(nullptr);
    MemoryDC memory(screen.get());
    BitmapHandle bitmap(::CreateCompatibleBitmap(screen.get(), rc.right, rc.bottom));
    SelectObjectGuard select(memory.get(), bitmap.get());
    GdiObject<HBRUSH> white(::CreateSolidBrush(kWhite));
    ::FillRect(memory.get(), &rc, white.get());
    ::SendMessageA(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
    if (points.empty())
        points = SamplePoints(rc.right, rc.bottom);
    std::vector<COLORREF> pixels;
    for (const POINT& pt : points)
        pixels.push_back(::GetPixel(memory.get(), pt.x, pt.y));
    return pixels;
}

// A small window of one colour at a given place of the screen.
class Marker {
public:
    Marker(const RECT& rc, COLORREF color)
        : m_brush(::CreateSolidBrush(color))
    {
        static const char kClass[] = "QuillmixCoverTestMarker";
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, kClass, "marker", WS_POPUP | WS_VISIBLE, rc.left,
                                   rc.top, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        ::SetClassLongPtrA(m_hWnd, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(m_brush.get()));
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        ::UpdateWindow(m_hWnd);
    }
    Marker(const Marker&) = delete;
    Marker& operator=(const Marker&) = delete;
    ~Marker() { ::DestroyWindow(m_hWnd); }

private:
    GdiObject<HBRUSH> m_brush;
    HWND m_hWnd = nullptr;
};

// The pixels of the window's own surface, as a paint left them.
std::vector<COLORREF> WindowPixels(HWND hWnd)
{
    RECT rc = {};
    ::GetClientRect(hWnd, &rc);
    WindowDC dc(hWnd);
    std::vector<COLORREF> pixels;
    for (const POINT& pt : SamplePoints(rc.right, rc.bottom))
        pixels.push_back(::GetPixel(dc.get(), pt.x, pt.y));
    return pixels;
}

// Paints straight into the window without invalidating it: only a repaint undoes it.
void Overdraw(HWND hWnd)
{
    RECT rc = {};
    ::GetClientRect(hWnd, &rc);
    WindowDC dc(hWnd);
    GdiObject<HBRUSH> brush(::CreateSolidBrush(kOverdrawColor));
    ::FillRect(dc.get(), &rc, brush.get());
    ::GdiFlush();
}

class SSCoverWndTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (m_cover.IsWindow())
            ::DestroyWindow(m_cover);
        PumpMessages();
    }

    SSCoverWnd m_cover;
};

// The system's power-setting report (POWERBROADCAST_SETTING) with a DWORD of data.
struct DisplayReport {
    GUID setting;
    DWORD length;
    DWORD value;
};
static_assert(offsetof(DisplayReport, value) == offsetof(POWERBROADCAST_SETTING, Data),
              "the layout of the system's report");

std::vector<COLORREF> All(COLORREF c)
{
    return std::vector<COLORREF>(SamplePoints(2, 2).size(), c);
}

}  // namespace

TEST_F(SSCoverWndTest, IsAHiddenTopmostPopupOverTheVirtualScreen)
{
    ASSERT_TRUE(m_cover.CreateCover());
    char text[32] = {};
    ::GetWindowTextA(m_cover, text, sizeof(text));
    EXPECT_STREQ(text, "Quillmix");
    EXPECT_EQ(::GetWindowLongPtrA(m_cover, GWL_STYLE) & ~WS_CLIPSIBLINGS, WS_POPUP);
    EXPECT_NE(::GetWindowLongPtrA(m_cover, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(::GetParent(m_cover), nullptr);
    EXPECT_FALSE(::IsWindowVisible(m_cover));
    RECT rc = {};
    ::GetWindowRect(m_cover, &rc);
    const RECT vs = VirtualScreen();
    EXPECT_EQ(rc.left, vs.left);
    EXPECT_EQ(rc.top, vs.top);
    EXPECT_EQ(rc.right, vs.right);
    EXPECT_EQ(rc.bottom, vs.bottom);
    EXPECT_EQ(::FindWindowA(nullptr, "Quillmix"), m_cover.m_hWnd);
}

// The test display has one screen at 0, 0, so a virtual screen that starts elsewhere (on
// Windows, monitors left of or above the primary one put its corner at negative
// coordinates) is given to the cover as a rectangle: the window lies on it, and its
// snapshot is taken from it, pixel for pixel.
TEST_F(SSCoverWndTest, WindowAndSnapshotStartAtTheVirtualScreensCorner)
{
    const RECT area = {100, 50, 500, 350};
    const RECT corner = {area.left, area.top, area.left + 10, area.top + 10};
    const COLORREF kMarkerColor = RGB(30, 90, 250);
    {
        Backdrop backdrop;
        Marker marker(corner, kMarkerColor);
        std::string seen;
        ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
        WindowDC screen(nullptr);
        ASSERT_EQ(::GetPixel(screen.get(), corner.left, corner.top), kMarkerColor);
        ASSERT_TRUE(m_cover.CreateCover(area));
    }
    RECT rc = {};
    ::GetWindowRect(m_cover, &rc);
    EXPECT_TRUE(::EqualRect(&rc, &area));
    m_cover.SetPaintDesktop(true);
    // The marker at the area's corner is the snapshot's corner; beside it the backdrop.
    EXPECT_EQ(PrintedPixels(m_cover, {{0, 0}, {9, 9}, {10, 10}, {399, 299}}),
              (std::vector<COLORREF>{kMarkerColor, kMarkerColor, kBackdropColor, kBackdropColor}));

    // A monitor's host within the area paints black, or its own part of the snapshot.
    SSMonitorHostWnd host;
    ASSERT_TRUE(host.CreateHost(m_cover, {area.left + 5, area.top + 5, area.left + 205, 205}));
    EXPECT_EQ(PrintedPixels(host, {{0, 0}, {5, 5}}), (std::vector<COLORREF>{kBlack, kBlack}));
    host.SetPaintDesktop(true);
    EXPECT_EQ(PrintedPixels(host, {{0, 0}, {4, 4}, {5, 5}}),
              (std::vector<COLORREF>{kMarkerColor, kMarkerColor, kBackdropColor}));
    ::DestroyWindow(host);
}

TEST_F(SSCoverWndTest, FreshCoverPaintsBlackOverEverything)
{
    Backdrop backdrop;
    ASSERT_TRUE(m_cover.CreateCover());
    EXPECT_EQ(PrintedPixels(m_cover), All(kBlack));
    m_cover.ShowCover(true);
    ::UpdateWindow(m_cover);
    std::string seen;
    EXPECT_TRUE(ScreenShows(kBlack, &seen)) << seen;
    EXPECT_EQ(::WindowFromPoint(POINT{VirtualScreen().left + 5, VirtualScreen().top + 5}),
              m_cover.m_hWnd);
}

TEST_F(SSCoverWndTest, DesktopStateShowsTheScreenAsItWasBeforeTheCover)
{
    {
        Backdrop backdrop;
        std::string seen;
        ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
        ASSERT_TRUE(m_cover.CreateCover());
    }
    m_cover.ShowCover(true);
    ::UpdateWindow(m_cover);
    m_cover.SetPaintDesktop(true);
    EXPECT_TRUE(m_cover.GetPaintDesktop());
    EXPECT_EQ(PrintedPixels(m_cover), All(kBackdropColor));
    std::string seen;
    EXPECT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
    m_cover.SetPaintDesktop(false);
    EXPECT_EQ(PrintedPixels(m_cover), All(kBlack));
    EXPECT_TRUE(ScreenShows(kBlack, &seen)) << seen;
}

TEST_F(SSCoverWndTest, SetPaintDesktopRepaintsAtOnceAndOnlyOnAChange)
{
    {
        Backdrop backdrop;
        std::string seen;
        ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
        ASSERT_TRUE(m_cover.CreateCover());
    }
    m_cover.ShowCover(true);
    ::UpdateWindow(m_cover);
    EXPECT_EQ(WindowPixels(m_cover), All(kBlack));

    // False on a fresh cover changes nothing, so nothing is painted.
    Overdraw(m_cover);
    m_cover.SetPaintDesktop(false);
    EXPECT_EQ(WindowPixels(m_cover), All(kOverdrawColor));

    // The first true paints before it returns, with no message pumped in between.
    m_cover.SetPaintDesktop(true);
    EXPECT_EQ(WindowPixels(m_cover), All(kBackdropColor));

    Overdraw(m_cover);
    m_cover.SetPaintDesktop(true);
    EXPECT_EQ(WindowPixels(m_cover), All(kOverdrawColor));

    m_cover.SetPaintDesktop(false);
    EXPECT_EQ(WindowPixels(m_cover), All(kBlack));
}

TEST_F(SSCoverWndTest, ShowingHidesThePointerAndDestroyingShowsItOnce)
{
    const int before = CursorCount();
    ASSERT_TRUE(m_cover.CreateCover());
    EXPECT_EQ(CursorCount(), before);
    m_cover.ShowCover(true);
    EXPECT_TRUE(::IsWindowVisible(m_cover));
    EXPECT_EQ(CursorCount(), before - 1);
    ::DestroyWindow(m_cover);
    EXPECT_EQ(m_cover.m_hWnd, nullptr);
    EXPECT_EQ(CursorCount(), before);
}

TEST_F(SSCoverWndTest, HidingShowsThePointerAgain)
{
    const int before = CursorCount();
    ASSERT_TRUE(m_cover.CreateCover());
    m_cover.ShowCover(true);
    m_cover.ShowCover(false);
    EXPECT_FALSE(::IsWindowVisible(m_cover));
    EXPECT_EQ(CursorCount(), before);
    // The counter moves on every call; destroying after a hide raises it once more.
    ::DestroyWindow(m_cover);
    EXPECT_EQ(CursorCount(), before + 1);
    ::ShowCursor(FALSE);
}

TEST_F(SSCoverWndTest, EraseBackgroundPaintsNothing)
{
    ASSERT_TRUE(m_cover.CreateCover());
    WindowDC screen(nullptr);
    MemoryDC memory(screen.get());
    BitmapHandle bitmap(::CreateCompatibleBitmap(screen.get(), 4, 4));
    SelectObjectGuard select(memory.get(), bitmap.get());
    const RECT rc = {0, 0, 4, 4};
    GdiObject<HBRUSH> white(::CreateSolidBrush(kWhite));
    ::FillRect(memory.get(), &rc, white.get());
    EXPECT_EQ(::SendMessageA(m_cover, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.get()), 0), 0);
    EXPECT_EQ(::GetPixel(memory.get(), 1, 1), kWhite);
}

TEST_F(SSCoverWndTest, PaintWithoutAWindowOrSnapshotStillFillsBlack)
{
    // The desktop state without a snapshot: black rather than whatever the DC held.
    m_cover.SetPaintDesktop(true);
    WindowDC screen(nullptr);
    MemoryDC memory(screen.get());
    BitmapHandle bitmap(::CreateCompatibleBitmap(screen.get(), 4, 4));
    SelectObjectGuard select(memory.get(), bitmap.get());
    const RECT rc = {0, 0, 4, 4};
    GdiObject<HBRUSH> white(::CreateSolidBrush(kWhite));
    ::FillRect(memory.get(), &rc, white.get());
    m_cover.Paint(memory.get(), rc);
    EXPECT_EQ(::GetPixel(memory.get(), 3, 3), kBlack);
}

TEST_F(SSCoverWndTest, InputCountsOnlyWhileAskedFor)
{
    ASSERT_TRUE(m_cover.CreateCover());
    ::SendMessageA(m_cover, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    ::SendMessageA(m_cover, WM_MOUSEMOVE, 0, MAKELPARAM(300, 300));
    ::SendMessageA(m_cover, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 300));
    ::SendMessageA(m_cover, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(m_cover.HasUserInput());
}

TEST_F(SSCoverWndTest, MovesCountFromWhereThePointerStoodOnceBeyondTheThreshold)
{
    ASSERT_TRUE(m_cover.CreateCover());
    POINT origin = {};
    ASSERT_TRUE(::GetCursorPos(&origin));
    m_cover.SetEndOnInput(true);
    // The move Windows sends when the window appears comes at the pointer's own spot.
    auto move = [&](int dx, int dy) {
        POINT pt = {origin.x + dx, origin.y + dy};
        ::ScreenToClient(m_cover, &pt);
        ::SendMessageA(m_cover, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
    };
    move(0, 0);
    move(3, -3);
    move(-4, 4);
    EXPECT_FALSE(m_cover.HasUserInput());
    // One real move is enough, however it arrives.
    move(20, 0);
    EXPECT_TRUE(m_cover.HasUserInput());
    m_cover.SetEndOnInput(true);
    move(0, -6);
    EXPECT_TRUE(m_cover.HasUserInput());
}

TEST_F(SSCoverWndTest, ClicksAndKeysCountAtOnce)
{
    ASSERT_TRUE(m_cover.CreateCover());
    const UINT messages[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_KEYDOWN,
                             WM_SYSKEYDOWN};
    for (UINT msg : messages) {
        m_cover.SetEndOnInput(true);
        EXPECT_FALSE(m_cover.HasUserInput());
        ::SendMessageA(m_cover, msg, 0, 0);
        EXPECT_TRUE(m_cover.HasUserInput()) << "message " << msg;
    }
}

// The display's state follows the system's reports of either setting. Anything else leaves
// it as it was: another setting, other data, a value out of range, a dimmed monitor power
// (which has none), and a report that runs past the readable memory.
TEST_F(SSCoverWndTest, DisplayStateFollowsTheSystemsReportsAndNothingElse)
{
    ASSERT_TRUE(m_cover.CreateCover());
    // Wine's RegisterPowerSettingNotification is a stub that takes any setting and never
    // reports: every report here comes from the test, as Windows would send it.
    EXPECT_TRUE(m_cover.ListenForDisplayState());
    EXPECT_EQ(m_cover.GetDisplayState(), DisplayState::On);
    const DWORD n = sizeof(DWORD);
    const std::pair<DisplayReport, DisplayState> reports[] = {
        {{GUID_CONSOLE_DISPLAY_STATE, n, 0}, DisplayState::Off},
        {{GUID_CONSOLE_DISPLAY_STATE, n, 2}, DisplayState::Dimmed},
        {{GUID_MONITOR_POWER_ON, n, 0}, DisplayState::Off},
        {{GUID_MONITOR_POWER_ON, n, 2}, DisplayState::Off},
        {{GUID_MONITOR_POWER_ON, n, 1}, DisplayState::On},
        {{GUID_ACDC_POWER_SOURCE, n, 0}, DisplayState::On},
        {{GUID_CONSOLE_DISPLAY_STATE, 1, 0}, DisplayState::On},
        {{GUID_CONSOLE_DISPLAY_STATE, n, 3}, DisplayState::On},
    };
    for (const auto& r : reports) {
        EXPECT_EQ(::SendMessageA(m_cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                                 reinterpret_cast<LPARAM>(&r.first)),
                  TRUE);
        EXPECT_EQ(m_cover.GetDisplayState(), r.second) << r.first.value << " of " << r.first.length;
    }

    SYSTEM_INFO si = {};
    ::GetSystemInfo(&si);
    auto* pages =
        static_cast<BYTE*>(::VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    ASSERT_NE(::VirtualAlloc(pages, si.dwPageSize, MEM_COMMIT, PAGE_READWRITE), nullptr);
    // Its value runs two bytes into the page that is not there.
    auto* edge =
        reinterpret_cast<DisplayReport*>(pages + si.dwPageSize - sizeof(DisplayReport) + 2);
    edge->setting = GUID_CONSOLE_DISPLAY_STATE;
    edge->length = n;
    ::SendMessageA(m_cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                   reinterpret_cast<LPARAM>(edge));
    EXPECT_EQ(m_cover.GetDisplayState(), DisplayState::On);
    ::VirtualFree(pages, 0, MEM_RELEASE);
}
