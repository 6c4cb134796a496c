// Run mode's costs, measured on the built product and through the run loop:
//   bench_run.exe SCR FIXTURE_DIR TRIVIAL [ROUNDS] [SWITCHES]
//   bench_run.exe --monitors FIXTURE_DIR     the monitors loop alone (two monitors needed)
// SCR is Quillmix.scr, FIXTURE_DIR holds the fixture savers, TRIVIAL is a Win32 program
// that does nothing and exits. The selection is stored in the product's key of HKCU (the
// real key of this Wine prefix; removed again at the end). Printed:
//   start     per round: TRIVIAL started until it has ended, then "SCR /s" started until
//             its cover is visible (found by polling every millisecond) and until its
//             first child saver was created (the child's creation time); medians of the
//             times and of the per-round ratios to TRIVIAL. FadeMs is 0 here: the fade from
//             the desktop, FadeMs long, comes before the cover by design
//   cpu       "SCR /s" switching every minute: the user and kernel time of the product
//             process during the first 30 s of its first saver, and before it (start-up)
//   switch    in that same run, at the switch after one minute: from the end of the old
//             saver (it ends on the injected input) to the creation of the next one
//   dark      "SCR /s" with the display off (the system's report posted to its cover): its
//             child processes (Toolhelp) 30 s after its saver has ended, and while it ran
//   dark loop the run loop in this process with the real cover and a saver: this process's
//             CPU time over 30 s while the saver runs, then over 30 s with the display off,
//             its child processes then, and 100 ms of spinning read the same way; the
//             baseline is the same process over 30 s with its cover and no run loop. Wine
//             reports another process's CPU time only as it stood soon after its start (a
//             child spinning for seconds reads as 30 to 40 ms throughout), so the CPU time
//             of run mode is read in its own process
//   loop      the run loop in this process with the real cover and child savers and a
//             switch delay of one second instead of a minute: the same gap at SWITCHES
//             switches, median and maximum, without fades and then with the default fades
//             (their ratio), and the fades' steps a second
//   monitors loop  the run loop in this process as run mode runs it on the system's
//             monitors: a host window each, a different saver started with "/p" in each,
//             no switch. Once every host shows a saver, this process's CPU time over the
//             kPreviewSettleMs of settling and then over 30 s, and its child processes; the
//             user's input must then end the run with no child left. Fails with fewer than
//             two monitors
// Times come from the system clock (GetSystemTimePreciseAsFileTime) and the process
// times, which use the same clock.
#include "run/CoverRunEnvironment.h"
#include "run/MonitorLayout.h"
#include "run/RunLoop.h"
#include "run/SSCoverWnd.h"
#include "run/SSMonitorHostWnd.h"
#include "run/SaverRotation.h"
#include "saver/ChildSaver.h"
#include "settings/Registry.h"
#include "settings/SSSettings.h"
#include "ui/CAtlModule.h"
#include "ui/UniqueRegKey.h"

#include <windows.h>

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class BenchModule : public CAtlExeModuleT<BenchModule> { };

const char kKey[] = "Software\\Brindlecraft\\Quillmix";
const char kCoverText[] = "Quillmix";
// The fixture savers' full-screen window class and two of them, which end on input.
const char kSaverClass[] = "QuillmixFixtureSaver";
const char kFirstSaver[] = "SampleAurora.scr";
const char kSecondSaver[] = "SampleTiles.scr";
const DWORD kCpuWindowMs = 30000;
// A saver that has not ended this long after the display went off is taken for hung.
const DWORD kSaverEndGuardMs = 30000;
// Spinning of this length shows what the CPU time read in this process can see.
const DWORD kCalibrationSpinMs = 100;
const DWORD kLoopSwitchDelayMs = 1000;
// The argument that runs the monitors loop alone, and the monitors it needs.
const char kMonitorsMode[] = "--monitors";
const size_t kMonitorsWanted = 2;
const double kFileTimePerMs = 10000.0;
// A move that ends a fixture saver.
const LONG kUserMove = 40;
const DWORD kUserPauseMs = 300;

double NowMs()
{
    FILETIME ft = {};
    ::GetSystemTimePreciseAsFileTime(&ft);
    return static_cast<double>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                               ft.dwLowDateTime) /
        kFileTimePerMs;
}

double FileTimeMs(const FILETIME& ft)
{
    return static_cast<double>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                               ft.dwLowDateTime) /
        kFileTimePerMs;
}

struct Times {
    double created = 0;
    double exited = 0;
    double cpu = 0;  // user + kernel
};

Times TimesOf(HANDLE hProcess)
{
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    Times t;
    if (::GetProcessTimes(hProcess, &creation, &exit, &kernel, &user)) {
        t.created = FileTimeMs(creation);
        t.exited = FileTimeMs(exit);
        t.cpu = FileTimeMs(kernel) + FileTimeMs(user);
    }
    return t;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void StoreSettings(const std::vector<std::string>& savers, DWORD shuffle, DWORD delay)
{
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
    HKEY h = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    UniqueRegKey key(h);
    ::RegSetValueExA(key.get(), "ShuffleSavers", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&shuffle), sizeof(shuffle));
    ::RegSetValueExA(key.get(), "ShuffleDelay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&delay),
                     sizeof(delay));
    ::RegCreateKeyExA(key.get(), "Savers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    UniqueRegKey saversKey(h);
    for (size_t i = 0; i < savers.size(); ++i) {
        char name[8];
        std::snprintf(name, sizeof(name), "%03u", static_cast<unsigned>(i));
        ::RegSetValueExA(saversKey.get(), name, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(savers[i].c_str()),
                         static_cast<DWORD>(savers[i].size() + 1));
    }
}

// The start is measured without the fade from the desktop, which by itself takes FadeMs.
void StoreNoFade() { RegWriteDword(kSettingsKey, "FadeMs", 0); }

void SendMouseMove(LONG dx, LONG dy)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    ::SendInput(1, &input, sizeof(input));
}

// A visible fixture saver window other than the one given; nullptr when there is none.
HWND FindSaverWindow(HWND except)
{
    for (HWND hWnd = ::FindWindowA(kSaverClass, nullptr); hWnd != nullptr;
         hWnd = ::FindWindowExA(nullptr, hWnd, kSaverClass, nullptr))
        if (hWnd != except && ::IsWindowVisible(hWnd))
            return hWnd;
    return nullptr;
}

bool IsCoverVisible()
{
    HWND hWnd = ::FindWindowA(nullptr, kCoverText);
    return hWnd != nullptr && ::IsWindowVisible(hWnd);
}

// The process of a window, opened for its times and its end.
UniqueHandle ProcessOf(HWND hWnd)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    return UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

// Polls every millisecond until the condition holds; false when the process ended first.
template <typename Condition> bool PollUntil(HANDLE hProcess, Condition condition)
{
    while (!condition())
        if (::WaitForSingleObject(hProcess, 1) == WAIT_OBJECT_0)
            return false;
    return true;
}

// Ends the running saver as the user would, and with it the product.
void EndRun(HANDLE hProduct)
{
    LONG step = kUserMove;
    while (::WaitForSingleObject(hProduct, 500) != WAIT_OBJECT_0) {
        SendMouseMove(step, step);
        step = -step;
    }
}

// The processes that the process started and that still run.
int ChildProcessCount(DWORD pid)
{
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int n = 0;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry))
        n += entry.th32ParentProcessID == pid ? 1 : 0;
    return n;
}

// The system's report that the display is off, as the cover gets it: the setting in the
// product's own memory, WM_POWERBROADCAST posted to the cover.
bool ReportDisplayOff(HANDLE hProduct, HWND cover)
{
    const DWORD value = PowerMonitorOff;
    std::vector<BYTE> report(offsetof(POWERBROADCAST_SETTING, Data) + sizeof(value));
    auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(report.data());
    setting->PowerSetting = GUID_CONSOLE_DISPLAY_STATE;
    setting->DataLength = sizeof(value);
    std::memcpy(setting->Data, &value, sizeof(value));
    void* remote = ::VirtualAllocEx(hProduct, nullptr, report.size(), MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    return remote != nullptr &&
        ::WriteProcessMemory(hProduct, remote, report.data(), report.size(), nullptr) &&
        ::PostMessageA(cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                       reinterpret_cast<LPARAM>(remote));
}

struct StartRound {
    double trivialMs = 0;
    double coverMs = 0;
    double childMs = 0;
};

bool MeasureStart(const std::string& scr, const std::string& trivial, StartRound* round)
{
    double t0 = NowMs();
    UniqueHandle trivialProcess = StartChildSaver(trivial.c_str(), trivial);
    if (!trivialProcess)
        return false;
    ::WaitForSingleObject(trivialProcess.get(), INFINITE);
    round->trivialMs = TimesOf(trivialProcess.get()).exited - t0;

    t0 = NowMs();
    UniqueHandle product = StartChildSaver(scr.c_str(), scr + " /s");
    if (!product || !PollUntil(product.get(), IsCoverVisible))
        return false;
    round->coverMs = NowMs() - t0;
    HWND saver = nullptr;
    if (!PollUntil(product.get(), [&] { return (saver = FindSaverWindow(nullptr)) != nullptr; }))
        return false;
    UniqueHandle child = ProcessOf(saver);
    round->childMs = TimesOf(child.get()).created - t0;
    EndRun(product.get());
    return true;
}

// One run with switching every minute: the product's CPU time during 30 s of its first
// saver, and the gap at the switch. False when the run went wrong.
bool MeasureProductSwitch(const std::string& scr, double* startCpuMs, double* cpuMs, double* gapMs)
{
    UniqueHandle product = StartChildSaver(scr.c_str(), scr + " /s");
    HWND first = nullptr;
    if (!product ||
        !PollUntil(product.get(), [&] { return (first = FindSaverWindow(nullptr)) != nullptr; }))
        return false;
    UniqueHandle firstProcess = ProcessOf(first);
    const double cpu0 = TimesOf(product.get()).cpu;
    *startCpuMs = cpu0;
    if (::WaitForSingleObject(product.get(), kCpuWindowMs) != WAIT_TIMEOUT)
        return false;
    *cpuMs = TimesOf(product.get()).cpu - cpu0;
    HWND second = nullptr;
    if (!PollUntil(product.get(), [&] { return (second = FindSaverWindow(first)) != nullptr; }))
        return false;
    UniqueHandle secondProcess = ProcessOf(second);
    *gapMs = TimesOf(secondProcess.get()).created - TimesOf(firstProcess.get()).exited;
    EndRun(product.get());
    return true;
}

struct DarkRun {
    int childrenBefore = 0;  // while the saver ran
    int childrenAfter = 0;  // at the end of the 30 s with the display off
};

// One run whose display goes off once the saver shows; false when the run went wrong.
bool MeasureDisplayOff(const std::string& scr, DarkRun* dark)
{
    UniqueHandle product = StartChildSaver(scr.c_str(), scr + " /s");
    HWND saver = nullptr;
    if (!product ||
        !PollUntil(product.get(), [&] { return (saver = FindSaverWindow(nullptr)) != nullptr; }))
        return false;
    UniqueHandle saverProcess = ProcessOf(saver);
    const DWORD pid = ::GetProcessId(product.get());
    dark->childrenBefore = ChildProcessCount(pid);
    const HWND cover = ::FindWindowA(nullptr, kCoverText);
    if (cover == nullptr || !ReportDisplayOff(product.get(), cover) ||
        ::WaitForSingleObject(saverProcess.get(), kSaverEndGuardMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(product.get(), 1);
        return false;
    }
    if (::WaitForSingleObject(product.get(), kCpuWindowMs) != WAIT_TIMEOUT)
        return false;
    dark->childrenAfter = ChildProcessCount(pid);
    // The user's input ends the run while the display is off.
    EndRun(product.get());
    return true;
}

// The real environment of the run loop, with the old saver's end and the next saver's
// creation taken from their process times; the user ends the run at the last saver.
class GapWatch final : public RunEnvironment {
public:
    GapWatch(SSCoverWnd& cover, SSSettings& settings, size_t switches)
        : m_real(cover, settings)
        , m_switches(switches)
    {
    }
    ~GapWatch() { Finish(); }

    // The run has ended: the user stops.
    void Finish()
    {
        m_done = true;
        if (m_user.joinable())
            m_user.join();
    }

    std::vector<double> gaps;
    // Opacities set: the steps of the fades.
    size_t fadeSteps = 0;

    DWORD GetTicks() override { return m_real.GetTicks(); }
    bool GetShowDesktop() override { return m_real.GetShowDesktop(); }
    void SetPaintDesktop(size_t nScreen, bool bDesktop) override
    {
        m_real.SetPaintDesktop(nScreen, bDesktop);
    }
    HWND OpenHost(size_t nScreen) override { return m_real.OpenHost(nScreen); }
    void CloseHost(size_t nScreen) override { m_real.CloseHost(nScreen); }
    bool ShowsOwnWindow(ChildSaver& child) override { return m_real.ShowsOwnWindow(child); }

    ChildSaver StartChild(const AnsiString& path, const AnsiString& commandLine) override
    {
        ChildSaver child = m_real.StartChild(path, commandLine);
        if (m_lastEnd != 0)
            gaps.push_back(TimesOf(child.Process()).created - m_lastEnd);
        if (gaps.size() == m_switches && !m_user.joinable()) {
            // Moves until the run has ended: a move during a switch only lets the next
            // saver start.
            m_user = std::thread([this] {
                LONG step = kUserMove;
                while (!m_done) {
                    if (FindSaverWindow(nullptr) != nullptr) {
                        SendMouseMove(step, step);
                        step = -step;
                    }
                    ::Sleep(kUserPauseMs);
                }
            });
        }
        return child;
    }

    DWORD WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount, DWORD dwTimeoutMs) override
    {
        return m_real.WaitForSavers(ppSavers, nCount, dwTimeoutMs);
    }

    bool StopChild(ChildSaver& child) override
    {
        const bool bEnded = m_real.StopChild(child);
        m_lastEnd = TimesOf(child.Process()).exited;
        if (!bEnded)
            std::printf("loop: a saver was terminated instead of ending on the input\n");
        return bEnded;
    }

    void EndChild(ChildSaver& child) override { m_real.EndChild(child); }
    bool ForgetUserInput() override { return m_real.ForgetUserInput(); }
    bool HasUserInput() override { return m_real.HasUserInput(); }
    DWORD GetUserInputTick() override { return m_real.GetUserInputTick(); }
    DisplayState GetDisplayState() override { return m_real.GetDisplayState(); }
    DWORD WaitForMessages(DWORD dwTimeoutMs) override
    {
        return m_real.WaitForMessages(dwTimeoutMs);
    }
    DWORD GetFadeMs() override { return m_real.GetFadeMs(); }
    void SetFade(size_t nScreen, BYTE nAlpha) override
    {
        ++fadeSteps;
        m_real.SetFade(nScreen, nAlpha);
    }

private:
    CoverRunEnvironment m_real;
    size_t m_switches;
    double m_lastEnd = 0;
    std::atomic<bool> m_done{false};
    std::thread m_user;
};

// The run loop's world in this process: a rotation of these savers, the settings and a
// shown cover, which goes with it.
struct LoopShow {
    explicit LoopShow(const std::vector<std::string>& savers)
    {
        PathList list;
        for (const std::string& s : savers)
            list.Add(AnsiString(s));
        rotation.Prepare(list, MakeShuffleSeed());
        cover.CreateCover();
        cover.ShowCover(true);
    }
    ~LoopShow()
    {
        if (cover.IsWindow())
            ::DestroyWindow(cover);
    }
    LoopShow(const LoopShow&) = delete;
    LoopShow& operator=(const LoopShow&) = delete;

    SaverRotation rotation;
    SSSettings settings;
    SSCoverWnd cover;
};

// The gaps at the switches of a run with fades of that length (0: none), and how many
// steps of fades it took.
std::vector<double> MeasureLoopGaps(const std::vector<std::string>& savers, size_t switches,
                                    DWORD dwFadeMs, size_t* pFadeSteps)
{
    LoopShow show(savers);
    show.settings.SetFadeMs(dwFadeMs);
    GapWatch env(show.cover, show.settings, switches);
    RunSaverCycles(show.rotation, "/s", kLoopSwitchDelayMs, env);
    env.Finish();
    *pFadeSteps = env.fadeSteps;
    return env.gaps;
}

}  // namespace

// This process's CPU time (user + kernel).
double OwnCpuMs() { return TimesOf(::GetCurrentProcess()).cpu; }

// Sleeps a little at a time until the condition holds; false when it did not within
// kSaverEndGuardMs.
template <typename Condition> bool SleepUntil(Condition condition)
{
    for (DWORD waited = 0; !condition(); waited += kUserPauseMs) {
        if (waited > kSaverEndGuardMs)
            return false;
        ::Sleep(kUserPauseMs);
    }
    return true;
}

// The user moves the mouse until the run loop has ended.
void MoveUntil(const std::atomic<bool>& done)
{
    LONG step = kUserMove;
    while (!done) {
        SendMouseMove(step, step);
        step = -step;
        ::Sleep(kUserPauseMs);
    }
}

struct DarkLoop {
    double spinCpuMs = 0;  // kCalibrationSpinMs of spinning
    double idleCpuMs = 0;  // 30 s with the cover shown and no run loop: Wine's own floor
    double saverCpuMs = 0;  // 30 s while the saver runs
    double darkCpuMs = 0;  // 30 s with the display off
    int childrenSaver = 0;
    int childrenDark = 0;
    bool bEndedByInput = false;  // the user's input with the display off ended the run
};

// What the user and the system do while the run loop runs on the main thread: wait for the
// saver, measure, turn the display off, measure, then move the mouse until the run ends.
// The thread only sleeps while it measures.
void WatchDarkLoop(HWND cover, const std::atomic<bool>& done, DarkLoop* dark, bool* pOk)
{
    HWND saver = nullptr;
    if (!SleepUntil([&] { return (saver = FindSaverWindow(nullptr)) != nullptr; }))
        return;
    UniqueHandle saverProcess = ProcessOf(saver);
    const DWORD pid = ::GetCurrentProcessId();
    dark->childrenSaver = ChildProcessCount(pid);
    double cpu0 = OwnCpuMs();
    ::Sleep(kCpuWindowMs);
    dark->saverCpuMs = OwnCpuMs() - cpu0;

    // The system's report lies in the memory of the process it is sent to.
    static std::vector<BYTE> report(offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD));
    auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(report.data());
    const DWORD value = PowerMonitorOff;
    setting->PowerSetting = GUID_CONSOLE_DISPLAY_STATE;
    setting->DataLength = sizeof(value);
    std::memcpy(setting->Data, &value, sizeof(value));
    *pOk = ::PostMessageA(cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                          reinterpret_cast<LPARAM>(setting)) &&
        ::WaitForSingleObject(saverProcess.get(), kSaverEndGuardMs) == WAIT_OBJECT_0;
    cpu0 = OwnCpuMs();
    ::Sleep(kCpuWindowMs);
    dark->darkCpuMs = OwnCpuMs() - cpu0;
    dark->childrenDark = ChildProcessCount(pid);
    MoveUntil(done);
}

bool MeasureDarkLoop(const std::string& saver, DarkLoop* dark)
{
    const double spin0 = OwnCpuMs();
    for (const DWORD dwStart = ::GetTickCount(); ::GetTickCount() - dwStart < kCalibrationSpinMs;) {
    }
    dark->spinCpuMs = OwnCpuMs() - spin0;

    LoopShow show({saver});
    // The baseline: this process with its cover and nothing to do, its messages dispatched.
    const double idle0 = OwnCpuMs();
    for (const DWORD dwStart = ::GetTickCount(); ::GetTickCount() - dwStart < kCpuWindowMs;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kCpuWindowMs - (::GetTickCount() - dwStart),
                                    QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    }
    dark->idleCpuMs = OwnCpuMs() - idle0;
    bool bOk = false;
    CoverRunEnvironment env(show.cover, show.settings);
    std::atomic<bool> done{false};
    std::thread watch(WatchDarkLoop, static_cast<HWND>(show.cover), std::cref(done), dark, &bOk);
    dark->bEndedByInput =
        RunSaverCycles(show.rotation, "/s", 0, env) == RunEnd::InputWhileDisplayOff;
    done = true;
    watch.join();
    return bOk && dark->bEndedByInput;
}

struct MonitorsLoop {
    size_t nMonitors = 0;  // as the system shows them, a host each
    size_t nShowing = 0;  // hosts with a saver window in them
    // The first kPreviewSettleMs after every host shows a saver: the fades in end, and the
    // loop looks every kPreviewCheckMs whether a saver shows a window of its own.
    double settleCpuMs = 0;
    double cpuMs = 0;  // the next 30 s, while a saver runs in each host
    int children = 0;  // while the savers ran
    int childrenAfter = 0;  // once the input has ended the run
    bool bEndedByInput = false;
};

// The visible monitor hosts of this process's run with a fixture saver's window in them.
size_t HostsShowingSaver()
{
    size_t n = 0;
    for (HWND host = ::FindWindowA(nullptr, kMonitorHostWindowText); host != nullptr;
         host = ::FindWindowExA(nullptr, host, nullptr, kMonitorHostWindowText))
        if (::IsWindowVisible(host) && ::FindWindowExA(host, nullptr, kSaverClass, nullptr))
            ++n;
    return n;
}

// The user's side of the run with a saver in each host: once every host shows one, this
// process's CPU time over the settling and then over 30 s (the thread only sleeps
// meanwhile), then the input.
void WatchMonitorsLoop(size_t nHosts, const std::atomic<bool>& done, MonitorsLoop* loop, bool* pOk)
{
    *pOk = SleepUntil([&] { return (loop->nShowing = HostsShowingSaver()) == nHosts; });
    if (*pOk) {
        double cpu0 = OwnCpuMs();
        ::Sleep(kPreviewSettleMs);
        loop->settleCpuMs = OwnCpuMs() - cpu0;
        cpu0 = OwnCpuMs();
        ::Sleep(kCpuWindowMs);
        loop->cpuMs = OwnCpuMs() - cpu0;
        loop->children = ChildProcessCount(::GetCurrentProcessId());
    }
    MoveUntil(done);
}

// The run loop as run mode runs it on several monitors: a host per monitor, a different
// saver in each, no switch. False with fewer than two monitors, or when the run went wrong.
bool MeasureMonitorsLoop(const std::vector<std::string>& savers, MonitorsLoop* loop)
{
    const MonitorLayout layout = MonitorLayout::FromSystem();
    loop->nMonitors = layout.GetCount();
    if (layout.GetCount() < kMonitorsWanted)
        return false;
    LoopShow show(savers);
    CoverRunEnvironment env(show.cover, show.settings);
    env.UseHosts(layout.HostRects());
    ScreenPlan plan;
    plan.nScreens = layout.GetCount();
    plan.bHosted = true;
    plan.mode = MonitorMode::DifferentOnEach;
    bool bOk = false;
    std::atomic<bool> done{false};
    std::thread watch(WatchMonitorsLoop, layout.GetCount(), std::cref(done), loop, &bOk);
    // A preview takes no input: the run ends on the input itself.
    loop->bEndedByInput = RunScreenCycles(show.rotation, plan, "/s", env) == RunEnd::ChildEnded;
    done = true;
    watch.join();
    loop->childrenAfter = ChildProcessCount(::GetCurrentProcessId());
    return bOk && loop->bEndedByInput && loop->childrenAfter == 0;
}

// The two fixture savers of the folder that end on input.
std::vector<std::string> SampleSavers(const std::string& fixtures)
{
    return {fixtures + "\\" + kFirstSaver, fixtures + "\\" + kSecondSaver};
}

// The monitors loop alone, in a session with two monitors (run.sh makes one).
int RunMonitorsOnly(const std::vector<std::string>& savers)
{
    MonitorsLoop loop;
    const bool bOk = MeasureMonitorsLoop(savers, &loop);
    if (loop.nMonitors < kMonitorsWanted) {
        std::printf("monitors loop: measurement failed: the system shows %zu monitor(s), %zu "
                    "needed\n",
                    loop.nMonitors, kMonitorsWanted);
        return 1;
    }
    // Wine counts process times in the kernel's clock ticks (10 ms steps).
    std::printf("monitors loop (in-process, %zu monitors, %zu hosts showed a saver): CPU time "
                "over 30 s while a saver ran in each host %.1f ms (goal < 10 ms), over the %lu "
                "ms of settling before %.1f ms; child processes then %d, after the input %d "
                "(run ended by the input: %s)\n",
                loop.nMonitors, loop.nShowing, loop.cpuMs,
                static_cast<unsigned long>(kPreviewSettleMs), loop.settleCpuMs, loop.children,
                loop.childrenAfter, loop.bEndedByInput ? "yes" : "no");
    if (!bOk)
        std::printf("monitors loop: measurement failed (needs a saver in each host, and the "
                    "run ended by the input with no child left)\n");
    return bOk ? 0 : 1;
}

int main(int argc, char** argv)
{
    BenchModule module;
    if (argc == 3 && std::strcmp(argv[1], kMonitorsMode) == 0)
        return RunMonitorsOnly(SampleSavers(argv[2]));
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: bench_run SCR FIXTURE_DIR TRIVIAL [ROUNDS] [SWITCHES]\n"
                     "       bench_run %s FIXTURE_DIR\n",
                     kMonitorsMode);
        return 2;
    }
    const std::string scr = argv[1];
    const std::string fixtures = argv[2];
    const std::string trivial = argv[3];
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
    const size_t switches = argc > 5 ? static_cast<size_t>(std::atoi(argv[5])) : 5;
    const std::vector<std::string> savers = SampleSavers(fixtures);
    int failures = 0;

    StoreSettings(savers, 0, 0);
    StoreNoFade();
    std::vector<double> trivialMs, coverMs, childMs, coverRatio, childRatio;
    for (int r = 0; r < rounds; ++r) {
        StartRound round;
        if (!MeasureStart(scr, trivial, &round)) {
            ++failures;
            continue;
        }
        trivialMs.push_back(round.trivialMs);
        coverMs.push_back(round.coverMs);
        childMs.push_back(round.childMs);
        coverRatio.push_back(round.coverMs / round.trivialMs);
        childRatio.push_back(round.childMs / round.trivialMs);
    }
    std::printf("start (median of %zu rounds): trivial program %.1f ms; /s to cover shown "
                "%.1f ms (%.2fx), to first saver created %.1f ms (%.2fx)\n",
                trivialMs.size(), Median(trivialMs), Median(coverMs), Median(coverRatio),
                Median(childMs), Median(childRatio));

    StoreSettings(savers, 1, 1);
    double startCpuMs = 0;
    double cpuMs = 0;
    double gapMs = 0;
    if (MeasureProductSwitch(scr, &startCpuMs, &cpuMs, &gapMs)) {
        // Wine counts process times in the kernel's clock ticks (10 ms steps).
        std::printf("cpu: product process during 30 s of a saver: %.1f ms (goal < 10 ms); "
                    "from its start to the first saver: %.1f ms\n",
                    cpuMs, startCpuMs);
        std::printf("switch (product, ShuffleDelay 1): old saver ended to next saver created "
                    "%.1f ms (goal < 50 ms)\n",
                    gapMs);
    } else {
        ++failures;
    }

    StoreSettings(savers, 0, 0);
    DarkRun dark;
    if (MeasureDisplayOff(scr, &dark)) {
        std::printf("dark: child processes of the product 30 s after the display went off: %d "
                    "(goal 0; %d while its saver ran)\n",
                    dark.childrenAfter, dark.childrenBefore);
    } else {
        ++failures;
    }
    DarkLoop loop;
    if (MeasureDarkLoop(savers.front(), &loop)) {
        std::printf("dark loop (in-process): CPU time over 30 s with the display off %.1f ms "
                    "(goal < 10 ms), while the saver ran %.1f ms; baseline, the same process "
                    "with its cover and no run loop: %.1f ms over 30 s; %u ms of spinning read "
                    "as %.1f ms; child processes with the display off %d (goal 0), while the "
                    "saver ran %d\n",
                    loop.darkCpuMs, loop.saverCpuMs, loop.idleCpuMs,
                    static_cast<unsigned>(kCalibrationSpinMs), loop.spinCpuMs, loop.childrenDark,
                    loop.childrenSaver);
    } else {
        ++failures;
    }
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);

    size_t fadeSteps = 0;
    const std::vector<double> gaps = MeasureLoopGaps(savers, switches, 0, &fadeSteps);
    if (gaps.size() < switches)
        ++failures;
    std::printf("switch (run loop in-process, 1 s delay, %zu switches): median %.1f ms, "
                "max %.1f ms\n",
                gaps.size(), Median(gaps),
                gaps.empty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()));
    const std::vector<double> fadeGaps =
        MeasureLoopGaps(savers, switches, kDefaultFadeMs, &fadeSteps);
    if (fadeGaps.size() < switches)
        ++failures;
    // The fade out comes before the old saver's end, the fade in after the next one's start.
    std::printf("switch with fades of %lu ms (same run loop): median %.1f ms (%.2fx the gap "
                "without), max %.1f ms; %.1f fade steps a second of fading\n",
                static_cast<unsigned long>(kDefaultFadeMs), Median(fadeGaps),
                Median(gaps) > 0 ? Median(fadeGaps) / Median(gaps) : 0.0,
                fadeGaps.empty() ? 0.0 : *std::max_element(fadeGaps.begin(), fadeGaps.end()),
                // A fade in and a fade out a switch; the user ends the last fade in.
                fadeGaps.empty() ? 0.0
                                 : static_cast<double>(fadeSteps) * 1000.0 /
                        (2.0 * kDefaultFadeMs * static_cast<double>(fadeGaps.size())));
    if (failures != 0)
        std::printf("%d measurement(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
