// A saver per monitor, end to end, on two monitors side by side (monitors_test.sh gives
// the Wine session a display of two RandR outputs): the built Quillmix.scr started with
// "/s" makes a host window over each monitor and starts a saver in each with "/p" and the
// host's handle; the user's input ends them all and the run.
#include "run/SSFadeWnd.h"
#include "settings/SaverHealth.h"
#include "tests/app/ChildTestSupport.h"
#include "tests/e2e/ProductTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/run/RunTestSupport.h"
#include "tests/support/TestPaths.h"
#include "ui/UniqueHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using e2e::ProductSettings;
using e2e::RunningProduct;

const char kHostText[] = "Quillmix Monitor";
const LONG kUserMove = 40;
// Hang guard only.
const DWORD kEndGuardMs = 30000;
// The run ends this soon after the user's input, whatever a saver does: the grace and a
// little for the X server and Wine.
const ULONGLONG kEndAfterInputMs = 2500;

BOOL CALLBACK AddMonitor(HMONITOR hMonitor, HDC, LPRECT, LPARAM lParam)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoA(hMonitor, &info))
        reinterpret_cast<std::vector<RECT>*>(lParam)->push_back(info.rcMonitor);
    return TRUE;
}

std::vector<RECT> Monitors()
{
    std::vector<RECT> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

std::string RectText(const RECT& rc)
{
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + "-" + std::to_string(rc.right) +
        "," + std::to_string(rc.bottom);
}

// The fades' length in the case that switches: long enough to be seen between polls.
const DWORD kFadeMs = 1500;
// The colour of each monitor's part of the desktop.
const COLORREF kMonitorColors[] = {kBackdropColor, RGB(40, 160, 90)};

// The rectangles of the product's fade windows now shown.
std::vector<RECT> FadesShown(const RunningProduct& product)
{
    std::vector<RECT> shown;
    for (HWND hWnd = ::FindWindowA(nullptr, kFadeWindowText); hWnd != nullptr;
         hWnd = ::FindWindowExA(nullptr, hWnd, nullptr, kFadeWindowText)) {
        DWORD pid = 0;
        RECT rc = {};
        ::GetWindowThreadProcessId(hWnd, &pid);
        if (pid == product.ProcessId() && ::IsWindowVisible(hWnd) && ::GetWindowRect(hWnd, &rc))
            shown.push_back(rc);
    }
    return shown;
}

// What one monitor's host shows: its rectangle, its handle, the saver window in it and
// that saver's process.
struct HostView {
    HWND host;
    RECT rc;
    HWND saver;
    DWORD saverPid;
};

struct HostSearch {
    DWORD productPid;
    std::vector<HostView> views;
};

BOOL CALLBACK AddHost(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<HostSearch*>(lParam);
    char text[64] = {};
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != search->productPid || !::IsWindowVisible(hWnd) ||
        ::GetWindowTextA(hWnd, text, sizeof(text)) == 0 || std::string(text) != kHostText)
        return TRUE;
    HostView view = {
        hWnd, {}, ::FindWindowExA(hWnd, nullptr, fixture::kSaverWindowClass, nullptr), 0};
    ::GetWindowRect(hWnd, &view.rc);
    if (view.saver != nullptr)
        ::GetWindowThreadProcessId(view.saver, &view.saverPid);
    search->views.push_back(view);
    return TRUE;
}

std::vector<HostView> Hosts(const RunningProduct& product)
{
    HostSearch search = {product.ProcessId(), {}};
    ::EnumWindows(AddHost, reinterpret_cast<LPARAM>(&search));
    return search.views;
}

// The product's hosts once there is one per monitor and every one shows a saver.
std::vector<HostView> WaitForSaverOnEachMonitor(const RunningProduct& product, size_t nMonitors)
{
    std::vector<HostView> views;
    product.RunsUntil([&] {
        views = Hosts(product);
        if (views.size() != nMonitors)
            return false;
        for (const HostView& view : views)
            if (view.saver == nullptr)
                return false;
        return true;
    });
    return views;
}

// The saver path each host's saver was started with, from "cmdline: PATH /p HANDLE" (the
// command line spells it short).
std::map<HWND, std::string> StartedByHost(const RecordFile& record)
{
    std::map<HWND, std::string> started;
    for (const std::string& line : record.LinesStartingWith(fixture::kRecordCmdLinePrefix)) {
        const std::string text = line.substr(std::string(fixture::kRecordCmdLinePrefix).size());
        const size_t at = text.rfind(" /p ");
        if (at == std::string::npos)
            continue;
        const unsigned long handle = std::stoul(text.substr(at + 4));
        started[reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle))] =
            LongPathOf(text.substr(0, at));
    }
    return started;
}

// Each host is exactly one monitor's rectangle, every monitor has one, and each saver was
// started with "/p" and the decimal handle of its host.
void ExpectOneHostPerMonitor(const std::vector<HostView>& views, const RecordFile& record)
{
    std::set<std::string> hostRects;
    std::set<std::string> monitorRects;
    for (const HostView& view : views)
        hostRects.insert(RectText(view.rc));
    for (const RECT& rc : Monitors())
        monitorRects.insert(RectText(rc));
    EXPECT_EQ(hostRects, monitorRects);
    const std::map<HWND, std::string> started = StartedByHost(record);
    for (const HostView& view : views)
        EXPECT_EQ(started.count(view.host), 1u) << "no saver started with /p " << view.host;
}

void ExpectEnded(const std::vector<HostView>& views)
{
    for (const HostView& view : views) {
        UniqueHandle saver(::OpenProcess(SYNCHRONIZE, FALSE, view.saverPid));
        EXPECT_TRUE(!saver || ::WaitForSingleObject(saver.get(), kEndGuardMs) == WAIT_OBJECT_0)
            << "saver " << view.saverPid << " left running";
    }
}

class MonitorsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(Monitors().size(), 2u) << "the session has no two monitors";
        recorders = {dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Saver A.scr"),
                     dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Saver B.scr"),
                     dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Saver C.scr")};
    }

    apptest::ScratchDir dir;
    std::vector<std::string> recorders;
};

}  // namespace

// A different saver on each monitor, with a saver that ends at once under "/p" first in
// the stored round: it is passed over on its monitor, which shows the round's next saver,
// while the other monitor keeps its own. With switching every minute both monitors move
// on, one after the other, each saver fading out over its own monitor while it still runs.
// With the desktop shown between savers, every saver finds its own monitor's part of the
// desktop at its start. A key ends both savers and the run, with exit code 0.
TEST_F(MonitorsEndToEnd, DifferentSaversPassOverOneThatEndsAndMoveOnOnEachMonitor)
{
    const std::string exitAtOnce = FixturePath(fixture::kExitAtOnce.fileName);
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({exitAtOnce, recorders[0], recorders[1], recorders[2]}));
    ASSERT_TRUE(settings.SetDword("MonitorMode", 1));
    ASSERT_TRUE(settings.SetDword("ShuffleSavers", 1));
    ASSERT_TRUE(settings.SetDword("ShuffleDelay", 1));
    ASSERT_TRUE(settings.SetDword("ShowDesktop", 1));
    ASSERT_TRUE(settings.SetDword("FadeMs", kFadeMs));
    // The round as run mode stores it, none of it shown yet: the broken saver comes first.
    ASSERT_TRUE(settings.SetDword("ShuffleRoundShown", 0));
    ASSERT_TRUE(settings.SetSaversIn("ShuffleRound",
                                     {exitAtOnce, recorders[0], recorders[1], recorders[2]}));
    // Each monitor's part of the desktop has a colour of its own.
    const std::vector<RECT> monitors = Monitors();
    std::vector<std::unique_ptr<Backdrop>> backdrops;
    std::string seen;
    for (size_t i = 0; i < monitors.size(); ++i) {
        backdrops.push_back(std::make_unique<Backdrop>(monitors[i], kMonitorColors[i]));
        ASSERT_TRUE(ScreenShows(monitors[i], kMonitorColors[i], &seen)) << seen;
    }
    RecordFile record;
    RunningProduct product("/s");
    ASSERT_TRUE(product);

    const std::vector<HostView> first = WaitForSaverOnEachMonitor(product, 2);
    ASSERT_EQ(first.size(), 2u);
    ExpectOneHostPerMonitor(first, record);
    std::map<HWND, std::string> started = StartedByHost(record);
    EXPECT_NE(started[first[0].host], started[first[1].host]) << "the same saver on both";
    EXPECT_EQ(std::set<std::string>({started[first[0].host], started[first[1].host]}),
              std::set<std::string>({recorders[0], recorders[1]}))
        << "the broken saver was not passed over for the round's next";
    // From now on only the snapshot taken at the start can show these colours.
    backdrops.clear();

    // Both monitors move on: each shows a saver of a new process, in a new host, after
    // a fade over that monitor while its old saver still ran.
    std::map<std::string, DWORD> firstPid;
    for (const HostView& view : first)
        firstPid[RectText(view.rc)] = view.saverPid;
    std::set<std::string> movedOn;
    std::set<std::string> fadedOut;
    std::vector<HostView> now;
    ASSERT_TRUE(product.RunsUntil([&] {
        for (const RECT& rc : FadesShown(product)) {
            UniqueHandle old(::OpenProcess(SYNCHRONIZE, FALSE, firstPid[RectText(rc)]));
            if (old && ::WaitForSingleObject(old.get(), 0) == WAIT_TIMEOUT)
                fadedOut.insert(RectText(rc));
        }
        now = Hosts(product);
        for (const HostView& view : now)
            if (view.saver != nullptr && view.saverPid != firstPid[RectText(view.rc)])
                movedOn.insert(RectText(view.rc));
        return movedOn.size() == 2;
    })) << "the run ended while switching";
    now = WaitForSaverOnEachMonitor(product, 2);
    ExpectOneHostPerMonitor(now, record);
    EXPECT_EQ(fadedOut, movedOn) << "a monitor switched without a fade";
    const DWORD fadesStart = ::GetTickCount();
    product.RunsUntil(
        [&] { return FadesShown(product).empty() || ::GetTickCount() - fadesStart > kEndGuardMs; });
    EXPECT_TRUE(FadesShown(product).empty()) << "a fade window stayed over a saver";
    // Two starts on each monitor, each finding its monitor's colour.
    std::multiset<std::string> screens;
    for (const std::string& line : record.LinesStartingWith(fixture::kRecordScreenPrefix))
        screens.insert(line);
    EXPECT_EQ(
        screens,
        std::multiset<std::string>({ScreenLine(kMonitorColors[0]), ScreenLine(kMonitorColors[0]),
                                    ScreenLine(kMonitorColors[1]), ScreenLine(kMonitorColors[1])}));

    EXPECT_EQ(product.EndByUser([] { XKeyPress("space"); }, kEndGuardMs), 0u);
    ExpectEnded(now);
    EXPECT_TRUE(Hosts(product).empty());
}

// A saver built on the common library under "C:\Program Files", which an unquoted path
// would send to its settings, previews in its monitor's window beside a recorder.
TEST_F(MonitorsEndToEnd, LibrarySaverUnderProgramFilesShowsInItsMonitorsWindow)
{
    const std::string probe = fixture::kSpaceProbePath;
    ::CreateDirectoryA(probe.substr(0, probe.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(
        ::CopyFileA(FixturePath(fixture::kLibraryAurora.fileName).c_str(), probe.c_str(), FALSE));
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({probe, recorders[0]}));
    ASSERT_TRUE(settings.SetDword("MonitorMode", 1));
    RunningProduct product("/s");
    bool bShown = false;
    for (const HostView& view : WaitForSaverOnEachMonitor(product, 2)) {
        char text[64] = {};
        ::GetWindowTextA(view.saver, text, sizeof(text));
        bShown = bShown || std::string(text) == fixture::kLibraryAurora.description;
    }
    EXPECT_TRUE(bShown) << "not in a monitor's window";
    EXPECT_EQ(product.EndByUser([] { XKeyPress("space"); }, kEndGuardMs), 0u);
    ::DeleteFileA(probe.c_str());
}

// The same saver on each monitor. While the display is off neither monitor runs a saver;
// when it is on again each shows one again. A mouse move ends both savers and the run,
// exit code 0, and no saver process is left.
TEST_F(MonitorsEndToEnd, SameSaverOnEachMonitorEndsOnAMouseMove)
{
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({recorders[0], recorders[1]}));
    ASSERT_TRUE(settings.SetDword("MonitorMode", 2));
    RecordFile record;
    RunningProduct product("/s");
    ASSERT_TRUE(product);

    const std::vector<HostView> views = WaitForSaverOnEachMonitor(product, 2);
    ASSERT_EQ(views.size(), 2u);
    ExpectOneHostPerMonitor(views, record);
    std::map<HWND, std::string> started = StartedByHost(record);
    EXPECT_EQ(started[views[0].host], started[views[1].host]);
    EXPECT_NE(views[0].saverPid, views[1].saverPid) << "one process per monitor";

    const HWND cover = product.WaitForCover();
    ASSERT_NE(cover, nullptr);
    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorOff));
    const DWORD dwOff = ::GetTickCount();
    ASSERT_TRUE(product.RunsUntil(
        [&] { return Hosts(product).empty() || ::GetTickCount() - dwOff > kEndGuardMs; }));
    ASSERT_TRUE(Hosts(product).empty()) << "the savers kept their hosts with the display off";
    ExpectEnded(views);
    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorOn));
    const std::vector<HostView> again = WaitForSaverOnEachMonitor(product, 2);
    ASSERT_EQ(again.size(), 2u) << "no savers after the display came on";
    ExpectOneHostPerMonitor(again, record);

    EXPECT_EQ(product.EndByUser([] { XPointerGesture(kUserMove, kUserMove); }, kEndGuardMs), 0u);
    ExpectEnded(again);
}

// Switching off, and a saver that hangs in its host on one monitor: one key, through the X
// server, ends the run soon after it, and no process is left.
TEST_F(MonitorsEndToEnd, KeyAloneEndsTheRunPastASaverThatHangsInItsHost)
{
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({FixturePath(fixture::kIgnoreInput.fileName), recorders[0]}));
    ASSERT_TRUE(settings.SetDword("MonitorMode", 1));
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    const std::vector<HostView> views = WaitForSaverOnEachMonitor(product, 2);
    ASSERT_EQ(views.size(), 2u);

    const ULONGLONG given = e2e::FileTimeNow();
    ASSERT_TRUE(XKeyPress("space"));
    ASSERT_EQ(product.WaitForExitCode(kEndGuardMs), 0u) << "the key did not end the run";
    const ULONGLONG endedMs = (e2e::ExitTimeOf(product.get()) - given) / e2e::kFileTimePerMs;
    std::printf("the run ended %llu ms after the key\n", endedMs);
    EXPECT_LE(endedMs, kEndAfterInputMs);
    ExpectEnded(views);
    EXPECT_FALSE(product.HasChildLeft());
}

// Savers in hosts are noted as on the whole screen. A saver that crashed twice before
// crashes a third time and is left out, "Crashed"; one that quits at once under "/p" is
// noted "Cannot preview". Its monitor, with no other saver to show, rests and tries
// again after a minute, while the other monitor shows its saver all along.
TEST_F(MonitorsEndToEnd, SaversInHostsAreNotedAndAMonitorWhoseSaversFailTriesAgain)
{
    const std::string crash = dir.CopyIn(FixturePath(fixture::kCrash.fileName), "Crash.scr");
    const std::string exitAtOnce = FixturePath(fixture::kExitAtOnce.fileName);
    ProductSettings settings;
    for (int i = 0; i < 2; ++i)
        SaverHealth(true).NoteFailure(crash.c_str(), SaverFault::Crashed, true, 0xC0000005);
    SaverHealthRecord record;
    for (const std::string& broken : {crash, exitAtOnce}) {
        SCOPED_TRACE(broken);
        ASSERT_TRUE(settings.SetSavers({broken, recorders[0]}));
        ASSERT_TRUE(settings.SetDword("MonitorMode", 1));
        ASSERT_TRUE(settings.SetDword("ShuffleRoundShown", 0));
        ASSERT_TRUE(settings.SetSaversIn("ShuffleRound", {broken, recorders[0]}));
        const ULONGLONG start = e2e::FileTimeNow();
        RunningProduct product("/s");
        const auto failedTimes = [&](DWORD n) {
            return SaverHealth(false).Find(broken.c_str(), &record) && record.m_nFailedInRow == n;
        };
        if (broken == crash) {
            ASSERT_TRUE(product.RunsUntil([&] { return failedTimes(kLeaveOutAfterFailures); }));
            EXPECT_EQ(record.m_fault, SaverFault::Crashed);
        } else {
            ASSERT_TRUE(product.RunsUntil([&] { return failedTimes(2); }));
            EXPECT_EQ(record.m_fault, SaverFault::CannotPreview);
            ASSERT_TRUE(product.RunsUntil([&] { return failedTimes(kLeaveOutAfterFailures); }));
            EXPECT_GE((record.m_ftWhen - start) / e2e::kFileTimePerMs, 60000u) << "no retry time";
        }
        EXPECT_TRUE(record.IsLeftOut());
        // The good saver on one monitor (its window may come up after the crash), and only there.
        long nShowing = 0;
        EXPECT_TRUE(product.RunsUntil([&] {
            const std::vector<HostView> views = Hosts(product);
            nShowing = std::count_if(views.begin(), views.end(),
                                     [](const HostView& view) { return view.saver != nullptr; });
            return nShowing != 0;
        }));
        EXPECT_EQ(nShowing, 1);
        EXPECT_EQ(product.EndByUser([] { XKeyPress("space"); }, kEndGuardMs), 0u);
    }
}
