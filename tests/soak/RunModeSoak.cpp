// A soak of run mode: the built Quillmix.scr started with "/s" again and again, switching
// every minute over the sample savers and the fault savers, for a given number of minutes:
//   soak_run_mode.exe [MINUTES]
// QUILLMIX_SCR and QUILLMIX_FIXTURES name the product and the fixture savers, as for the
// tests. The product reads the real HKEY_CURRENT_USER of the Wine prefix: the soak writes
// its key and removes it at the end, so it wants a Wine session of its own (tools/soak.sh).
//
// A run ends by the user's input (a mouse move, a click or a key, given with SendInput
// after a few switches), also when the saver then running ignores it (run mode ends it
// after the 2000 ms grace); fault savers that end by themselves (ExitAtOnce, Crash) are
// passed over. Then the next run starts, until the time is up.
// Checked, and printed as a summary: every product exit code is 0; at most one saver runs
// at a time; the saver that ignores input is terminated at each switch; after every run
// no saver and no product is left, the pointer is shown and LastStarted names one of the
// selected savers, whole, the one started first; the product's handle count, sampled
// after each switch, does not grow; the number of processes at the end is the one at the
// start. Hang guards turn a product that stops switching or ending into a failure; they
// never limit how fast anything has to be.
#include "saver/ChildSaver.h"
#include "tests/app/ChildTestSupport.h"
#include "tests/e2e/ProductTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/run/RunTestSupport.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD kDefaultMinutes = 10;
const DWORD kShuffleDelayMinutes = 1;
const DWORD kMsPerMinute = 60000;
// How often the soak looks at the processes and windows.
const DWORD kPollMs = 50;
// A mouse move that ends a well-behaved saver.
const LONG kUserMove = 40;
// The user gives input only to a saver that has shown its window for a while and whose
// minute is far from up, so that the input never meets a switch.
const DWORD kUserSettleMs = 1000;
const DWORD kUserLatestMs = 45000;
// The user ends a run after one to this many switches (a fault saver may end it first):
// a leak at the switches shows only within one product process.
const unsigned kMaxPlannedSwitches = 4;
// GetTickCount and the process times advance in steps of up to this much.
const DWORD kClockStepMs = 20;
// Hang guards.
// A saver that runs this long has not been switched although its minute is long up.
const DWORD kSaverGuardMs = 3 * kMsPerMinute;
// The product running this long without a saver is stuck between two savers.
const DWORD kNoSaverGuardMs = kMsPerMinute;
// The user's input has not ended the run by then: input again, and after four times as
// long without an end the product is taken for hung.
const DWORD kUserEndGuardMs = 30000;
// The processes of an ended run are gone from the snapshot by then.
const DWORD kLeftoverGuardMs = 10000;
// The processes are counted once their set has not changed for this long: Wine starts and
// ends its own services for a while after a session begins. The guard keeps a system that
// never settles from holding up the soak.
const DWORD kSettleMs = 10000;
const DWORD kSettleGuardMs = 3 * kMsPerMinute;
// NtQuerySystemInformation's class for the system's handle table, and its answer when the
// buffer is too small.
const ULONG kSystemHandleInformation = 16;
const LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

void Print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

DWORD MsSince(DWORD tick) { return ::GetTickCount() - tick; }

enum class Behaviour { EndsOnInput, IgnoresInput, EndsAtOnce };

struct SoakSaver {
    SoakSaver(const fixture::FixtureSaver& f, Behaviour b)
        : fixture(&f)
        , behaviour(b)
    {
    }
    const fixture::FixtureSaver* fixture;
    Behaviour behaviour;
    std::string fileName;  // of the copy that the product starts
    std::string path;
    unsigned seen = 0;  // runs of it that the soak saw
};

std::string Lower(std::string text)
{
    ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

struct ProcessEntry {
    DWORD pid;
    DWORD parent;
    std::string exe;
    ULONGLONG created;  // 0 when it cannot be read
};

std::vector<ProcessEntry> Processes()
{
    std::vector<ProcessEntry> list;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
        snapshot.release();
        return list;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        UniqueHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile,
                        process ? e2e::CreationTimeOf(process.get()) : 0});
    }
    return list;
}

// Whether the product started the process. Its id may be one that an ended process had
// before, and that process's children (Wine's services.exe and explorer.exe among them)
// still name it.
bool IsChildOf(const ProcessEntry& p, const e2e::RunningProduct& product)
{
    return p.parent == product.ProcessId() &&
        (p.created == 0 || p.created >= e2e::CreationTimeOf(product.get()));
}

std::vector<ProcessEntry> ChildrenOf(const std::vector<ProcessEntry>& all,
                                     const e2e::RunningProduct& product)
{
    std::vector<ProcessEntry> children;
    for (const ProcessEntry& p : all)
        if (IsChildOf(p, product))
            children.push_back(p);
    return children;
}

std::string Names(const std::vector<ProcessEntry>& list)
{
    std::string names;
    for (const ProcessEntry& p : list)
        names += (names.empty() ? "" : ", ") + p.exe + " (" + std::to_string(p.pid) + ")";
    return names.empty() ? "none" : names;
}

// One entry of the system's handle table (SYSTEM_HANDLE_TABLE_ENTRY_INFO).
struct SystemHandleEntry {
    ULONG ownerPid;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

// The system's handle table; empty when it cannot be read.
std::vector<SystemHandleEntry> SystemHandleTable()
{
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return {};
    std::vector<ULONG_PTR> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        const LONG status = query(kSystemHandleInformation, buffer.data(), size, &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0)
            return {};
        // The table: a count, aligned to a pointer, then the entries.
        const auto* first = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + 1);
        return std::vector<SystemHandleEntry>(first, first + buffer[0]);
    }
}

// The handles a process holds, all of them and those of processes.
struct HandleCounts {
    DWORD total = 0;  // 0 when it cannot be read
    DWORD processes = 0;
    bool bProcessesKnown = false;
};

// hOwnProcess is a process handle of this process's own: the table entry of that handle
// tells which object type is a process.
HandleCounts HandleCountsOf(HANDLE hProcess, HANDLE hOwnProcess)
{
    HandleCounts counts;
    const std::vector<SystemHandleEntry> table = SystemHandleTable();
    const DWORD pid = ::GetProcessId(hProcess);
    const auto ownValue = static_cast<USHORT>(reinterpret_cast<ULONG_PTR>(hOwnProcess));
    UCHAR processType = 0;
    for (const SystemHandleEntry& e : table) {
        if (e.ownerPid == ::GetCurrentProcessId() && e.handle == ownValue) {
            processType = e.objectType;
            counts.bProcessesKnown = true;
        }
    }
    DWORD inTable = 0;
    for (const SystemHandleEntry& e : table) {
        if (e.ownerPid != pid)
            continue;
        ++inTable;
        if (counts.bProcessesKnown && e.objectType == processType)
            ++counts.processes;
    }
    // Wine differs from Windows here: its GetProcessHandleCount answers 0 for every
    // process, so there the process's entries of the table are counted instead.
    if (!::GetProcessHandleCount(hProcess, &counts.total) || counts.total == 0)
        counts.total = inTable;
    return counts;
}

std::vector<DWORD> PidsOf(const std::vector<ProcessEntry>& list)
{
    std::vector<DWORD> pids;
    for (const ProcessEntry& p : list)
        pids.push_back(p.pid);
    std::sort(pids.begin(), pids.end());
    return pids;
}

// The processes, once their set has stayed the same for kSettleMs.
std::vector<ProcessEntry> SettledProcesses()
{
    const DWORD since = ::GetTickCount();
    std::vector<ProcessEntry> list = Processes();
    DWORD sameSince = ::GetTickCount();
    while (MsSince(sameSince) < kSettleMs && MsSince(since) < kSettleGuardMs) {
        apptest::PumpFor(kPollMs * 10);
        std::vector<ProcessEntry> now = Processes();
        if (PidsOf(now) != PidsOf(list))
            sameSince = ::GetTickCount();
        list = std::move(now);
    }
    return list;
}

// The entries of a whose process is not in b.
std::vector<ProcessEntry> Missing(const std::vector<ProcessEntry>& a,
                                  const std::vector<ProcessEntry>& b)
{
    const std::vector<DWORD> pids = PidsOf(b);
    std::vector<ProcessEntry> missing;
    for (const ProcessEntry& p : a)
        if (!std::binary_search(pids.begin(), pids.end(), p.pid))
            missing.push_back(p);
    return missing;
}

void SendClick()
{
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1] = inputs[0];
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, inputs, sizeof(INPUT));
}

// A visible fixture saver window of the process, or nullptr.
bool HasSaverWindow(DWORD pid)
{
    return apptest::FindProcessWindow(pid, fixture::kSaverWindowClass, nullptr) != nullptr;
}

// The figures of the whole soak.
struct Totals {
    unsigned runs = 0;
    unsigned endedByUser = 0;
    unsigned endedByFault = 0;  // runs that ended without the user's input: a failure
    unsigned passedOver = 0;  // fault savers seen ending by themselves, the run going on
    unsigned deafEnded = 0;  // runs ended by run mode after the grace, the saver deaf
    DWORD maxDeafMs = 0;  // the longest time from the user's input to such an end
    unsigned switches = 0;
    unsigned terminations = 0;  // savers that had to be terminated at a switch
    unsigned endedOnClose = 0;  // savers that ended on the switch's WM_CLOSE
    unsigned userInputRepeated = 0;
    unsigned exitCodeZero = 0;
    unsigned pointerShown = 0;
    unsigned lastStartedIntact = 0;
    DWORD firstHandles = 0;  // the first sample of the soak, after its first switch
    DWORD minHandles = MAXDWORD;
    DWORD maxHandles = 0;
    unsigned handleSamples = 0;
    unsigned allSamples = 0;  // also those at the first saver of a run
    unsigned oneProcessHandle = 0;  // samples in which the product held one process handle
    std::vector<std::string> failures;
};

// The saver that the product runs now, as the soak sees it.
struct Child {
    DWORD pid = 0;
    UniqueHandle process;
    SoakSaver* saver = nullptr;
    ULONGLONG created = 0;
    DWORD seenTick = 0;
    DWORD windowTick = 0;  // when its window was first seen; 0 before
    bool inputGiven = false;
    ULONGLONG inputTime = 0;  // system time of the user's input
};

class Soak {
public:
    Soak(std::vector<SoakSaver>& savers, e2e::ProductSettings& settings,
         e2e::InjectedInputWatch& injected, Totals& totals, DWORD dwSoakMs)
        : m_savers(savers)
        , m_settings(settings)
        , m_injected(injected)
        , m_totals(totals)
        , m_startTick(::GetTickCount())
        , m_soakMs(dwSoakMs)
    {
    }

    bool TimeIsUp() const { return MsSince(m_startTick) >= m_soakMs; }
    DWORD ElapsedMs() const { return MsSince(m_startTick); }

    // One run of the product; false when it hung and the soak cannot go on.
    bool Run(unsigned index);

private:
    void Fail(const std::string& what)
    {
        m_totals.failures.push_back("run " + std::to_string(m_run) + ": " + what);
        Print("  FAILURE: %s\n", what.c_str());
    }

    SoakSaver* SaverNamed(const std::string& exe)
    {
        for (SoakSaver& s : m_savers)
            if (Lower(s.fileName) == Lower(exe))
                return &s;
        return nullptr;
    }

    size_t InjectedThisRun() const { return m_injected.SeenTimes().size() - m_injectedAtStart; }

    void Observe(const e2e::RunningProduct& product);
    void EndChild(bool bRunEnded);
    void SampleHandles(HANDLE hProduct);
    void GiveUserInput();
    void CheckAfterRun(const e2e::RunningProduct& product);
    void KillLeftovers(const e2e::RunningProduct& product);

    std::vector<SoakSaver>& m_savers;
    e2e::ProductSettings& m_settings;
    e2e::InjectedInputWatch& m_injected;
    Totals& m_totals;
    const DWORD m_startTick;
    const DWORD m_soakMs;

    unsigned m_run = 0;
    std::unique_ptr<Child> m_child;
    std::string m_firstSeen;  // file name of the run's first saver; "" when not seen
    std::string m_trace;  // the run's savers, for its line in the output
    size_t m_injectedAtStart = 0;  // injected records before this run
    unsigned m_switches = 0;  // stops the soak saw in this run
    std::string m_endCause;  // what ended the run, once the soak knows it
    bool m_bEndedByUser = false;
    std::vector<DWORD> m_handles;  // the product's handle count after each switch
    DWORD m_firstAfterSwitch = 0;  // the first of them after a switch; 0 before
    unsigned m_inputKind = 0;
    std::string m_previousOnlySaver;  // the saver of the run before when it never switched
};

void Soak::Observe(const e2e::RunningProduct& product)
{
    const std::vector<ProcessEntry> children = ChildrenOf(Processes(), product);
    if (children.size() > 1)
        Fail("two savers at once: " + Names(children));
    for (const ProcessEntry& p : children) {
        // Wine lists a process without its file name until it has been set up.
        if ((m_child && p.pid == m_child->pid) || p.exe.empty())
            continue;
        // A new saver: the one before must have ended, by a switch.
        if (m_child)
            EndChild(false);
        auto child = std::make_unique<Child>();
        child->pid = p.pid;
        child->saver = SaverNamed(p.exe);
        child->seenTick = ::GetTickCount();
        child->process.reset(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.pid));
        if (child->process)
            child->created = e2e::CreationTimeOf(child->process.get());
        if (child->saver == nullptr) {
            Fail("the product started a process that is not a selected saver: " + p.exe);
        } else {
            ++child->saver->seen;
            // Before the first switch of the run: its first saver.
            if (m_firstSeen.empty() && m_switches == 0)
                m_firstSeen = child->saver->fileName;
        }
        m_trace += (m_trace.empty() ? "" : " > ") + p.exe;
        m_child = std::move(child);
        break;
    }
}

// The soak's saver has gone: by a switch (the product goes on), or with the run.
void Soak::EndChild(bool bRunEnded)
{
    Child& child = *m_child;
    if (!child.process || child.saver == nullptr) {
        m_child.reset();
        return;
    }
    if (::WaitForSingleObject(child.process.get(), 0) != WAIT_OBJECT_0) {
        Fail("a new saver started while " + child.saver->fileName + " still ran");
        m_child.reset();
        return;
    }
    // A saver that ended with nobody at the machine while the run went on was closed at a
    // switch, unless it is one that ends by itself.
    const bool bSwitch =
        !child.inputGiven && !bRunEnded && child.saver->behaviour != Behaviour::EndsAtOnce;
    if (!bSwitch) {
        // Not stopped at a switch: the user's input ends the run, a fault saver that ends
        // by itself is passed over, and nothing else may end a saver.
        if (child.inputGiven && !bRunEnded)
            Fail(child.saver->fileName + " ended on the user's input and the run went on");
        else if (child.inputGiven) {
            m_endCause = "the user's input to " + child.saver->fileName;
            m_bEndedByUser = true;
            if (child.saver->behaviour == Behaviour::IgnoresInput) {
                const ULONGLONG exit = e2e::ExitTimeOf(child.process.get());
                const auto ms = static_cast<DWORD>((exit - child.inputTime) / e2e::kFileTimePerMs);
                ++m_totals.deafEnded;
                m_totals.maxDeafMs = std::max(m_totals.maxDeafMs, ms);
                m_endCause += " (ended by run mode " + std::to_string(ms) + " ms later)";
                if (ms + kClockStepMs < kChildStopGraceMs)
                    Fail(child.saver->fileName + " was ended before the grace was up");
            }
        } else if (child.saver->behaviour == Behaviour::EndsAtOnce && !bRunEnded) {
            ++m_totals.passedOver;
            m_trace += " [passed over]";
        } else
            Fail(child.saver->fileName + (bRunEnded ? " ended the run" : " ended") +
                 " without the user's input");
        m_child.reset();
        return;
    }
    if (bRunEnded && child.inputGiven)
        Fail(child.saver->fileName + " was switched away after the user's input");
    ++m_switches;
    // Only the saver deaf to the close outlives it, until the grace is up.
    if (child.saver->behaviour == Behaviour::IgnoresInput) {
        ++m_totals.terminations;
        m_trace += " [terminated]";
    } else {
        ++m_totals.endedOnClose;
        m_trace += " [closed]";
    }
    if (apptest::ExitCodeOf(child.process.get()) != 0)
        Fail(child.saver->fileName + " stopped at a switch with exit code " +
             std::to_string(apptest::ExitCodeOf(child.process.get())));
    m_child.reset();
}

void Soak::SampleHandles(HANDLE hProduct)
{
    const HandleCounts counts = HandleCountsOf(hProduct, hProduct);
    const DWORD count = counts.total;
    if (count == 0) {
        Fail("the product's handle count cannot be read");
        return;
    }
    // While a saver runs, the product holds the one process handle of that saver.
    if (!counts.bProcessesKnown)
        Fail("the product's process handles cannot be told from its other handles");
    else if (counts.processes != 1)
        Fail("the product holds " + std::to_string(counts.processes) +
             " process handles while one saver runs");
    else
        ++m_totals.oneProcessHandle;
    ++m_totals.allSamples;
    m_handles.push_back(count);
    // The first saver of a run comes before any switch: only the later samples count.
    if (m_switches == 0)
        return;
    if (m_firstAfterSwitch == 0)
        m_firstAfterSwitch = count;
    else if (count > m_firstAfterSwitch)
        Fail("the product's handle count grew from " + std::to_string(m_firstAfterSwitch) +
             " after the run's first switch to " + std::to_string(count) + " after switch " +
             std::to_string(m_switches));
    if (m_totals.handleSamples == 0)
        m_totals.firstHandles = count;
    ++m_totals.handleSamples;
    m_totals.minHandles = std::min(m_totals.minHandles, count);
    m_totals.maxHandles = std::max(m_totals.maxHandles, count);
}

void Soak::GiveUserInput()
{
    switch (m_inputKind++ % 3) {
    case 0:
        SendMouseMove(m_inputKind % 2 ? kUserMove : -kUserMove, kUserMove);
        break;
    case 1:
        SendKeyPress(VK_SPACE);
        break;
    default:
        SendClick();
        break;
    }
}

void Soak::KillLeftovers(const e2e::RunningProduct& product)
{
    for (const ProcessEntry& p : ChildrenOf(Processes(), product)) {
        UniqueHandle h(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.pid));
        if (h) {
            ::TerminateProcess(h.get(), 1);
            ::WaitForSingleObject(h.get(), kLeftoverGuardMs);
        }
    }
}

void Soak::CheckAfterRun(const e2e::RunningProduct& product)
{
    // Nothing of the run is left: no saver started by the product.
    const DWORD since = ::GetTickCount();
    std::vector<ProcessEntry> left;
    do {
        left.clear();
        for (const ProcessEntry& p : Processes())
            if (IsChildOf(p, product) || p.pid == product.ProcessId() ||
                SaverNamed(p.exe) != nullptr)
                left.push_back(p);
        if (!left.empty())
            apptest::PumpFor(kPollMs);
    } while (!left.empty() && MsSince(since) < kLeftoverGuardMs);
    if (!left.empty()) {
        Fail("left behind after the run: " + Names(left));
        KillLeftovers(product);
    }

    if (e2e::PointerShown())
        ++m_totals.pointerShown;
    else
        Fail("the pointer is hidden after the run");

    // LastStarted: whole, one of the selection, the first saver of this run, and not the
    // saver shown last in the run before. The soak knows that one only for a run that never
    // switched: one that did may have ended with a saver gone before the soak saw it.
    const std::string last = m_settings.GetString("LastStarted");
    const SoakSaver* named = nullptr;
    for (const SoakSaver& s : m_savers)
        if (s.path == last)
            named = &s;
    bool bIntact = true;
    if (!m_settings.IsCleanString("LastStarted") || named == nullptr) {
        Fail("LastStarted is not one of the selected savers, stored whole: \"" + last + "\"");
        bIntact = false;
    } else if (!m_firstSeen.empty() && named->fileName != m_firstSeen &&
               named->behaviour != Behaviour::EndsAtOnce) {
        Fail("LastStarted names " + named->fileName + " but the run began with " + m_firstSeen);
        bIntact = false;
    } else if (m_firstSeen.empty() && named->behaviour != Behaviour::EndsAtOnce) {
        Fail("the run's first saver was gone before the soak saw it, yet LastStarted names " +
             named->fileName + ", which does not end at once");
        bIntact = false;
    } else if (last == m_previousOnlySaver) {
        Fail("a run began with the one saver of the run before: " + named->fileName);
        bIntact = false;
    }
    if (bIntact)
        ++m_totals.lastStartedIntact;
    m_previousOnlySaver = !m_firstSeen.empty() && m_switches == 0 ? last : std::string();
}

bool Soak::Run(unsigned index)
{
    m_run = index;
    m_child.reset();
    m_firstSeen.clear();
    m_trace.clear();
    m_switches = 0;
    m_handles.clear();
    m_firstAfterSwitch = 0;
    m_endCause.clear();
    m_bEndedByUser = false;
    m_injectedAtStart = m_injected.SeenTimes().size();
    const char* const kForms[] = {"/s", "/S", "-s"};
    const char* form = kForms[index % 3];
    // The user ends the run after this many switches, if a fault saver does not end it
    // first; once the soak's time is up, as soon as a saver takes input.
    const unsigned plannedSwitches = 1 + std::rand() % kMaxPlannedSwitches;

    e2e::RunningProduct product(form);
    if (!product) {
        Fail("the product could not be started");
        return false;
    }
    DWORD userInputTick = 0;
    DWORD noSaverSince = ::GetTickCount();
    bool bHung = false;
    while (!product.HasEnded()) {
        Observe(product);
        if (m_child && m_child->process &&
            ::WaitForSingleObject(m_child->process.get(), 0) != WAIT_OBJECT_0) {
            noSaverSince = ::GetTickCount();
            Child& child = *m_child;
            if (child.windowTick == 0 && HasSaverWindow(child.pid)) {
                child.windowTick = ::GetTickCount();
                SampleHandles(product.get());
            }
            const bool bDue = TimeIsUp() || m_switches >= plannedSwitches;
            if (bDue && !child.inputGiven && child.saver != nullptr &&
                child.saver->behaviour != Behaviour::EndsAtOnce && child.windowTick != 0 &&
                MsSince(child.windowTick) >= kUserSettleMs &&
                MsSince(child.seenTick) < kUserLatestMs) {
                GiveUserInput();
                child.inputGiven = true;
                child.inputTime = e2e::FileTimeNow();
                userInputTick = ::GetTickCount();
            }
            if (child.inputGiven && MsSince(userInputTick) >= kUserEndGuardMs) {
                if (MsSince(userInputTick) >= 4 * kUserEndGuardMs) {
                    Fail("the run did not end on the user's input: hung");
                    bHung = true;
                    break;
                }
                ++m_totals.userInputRepeated;
                SendMouseMove(kUserMove, kUserMove);
                userInputTick = ::GetTickCount() - kUserEndGuardMs / 2;
            }
            if (MsSince(child.seenTick) >= kSaverGuardMs) {
                Fail(m_trace + " was not switched: hung");
                bHung = true;
                break;
            }
        } else if (MsSince(noSaverSince) >= kNoSaverGuardMs) {
            Fail("the product runs without a saver: hung");
            bHung = true;
            break;
        }
        apptest::PumpFor(kPollMs);
    }
    if (bHung) {
        KillLeftovers(product);
        return false;
    }

    // Savers that the soak saw end with the run, or at a switch just before its end.
    Observe(product);
    if (m_child)
        EndChild(true);
    const DWORD exitCode = apptest::ExitCodeOf(product.get());
    // The soak's own input is injected once the user's turn has come, never before.
    if (!m_bEndedByUser && InjectedThisRun() != 0)
        Fail(std::to_string(InjectedThisRun()) + " injected input records in a run");
    m_totals.switches += m_switches;
    ++m_totals.runs;

    // Not seen: a fault saver that ended at once, before the soak looked.
    if (m_endCause.empty())
        m_endCause = "nothing the soak saw";
    if (m_bEndedByUser) {
        ++m_totals.endedByUser;
    } else {
        ++m_totals.endedByFault;
        Fail("the run ended without the user's input");
    }
    if (exitCode == 0)
        ++m_totals.exitCodeZero;
    else
        Fail("the product's exit code is " + std::to_string(exitCode));

    std::string handles;
    for (DWORD h : m_handles)
        handles += " " + std::to_string(h);
    Print("run %u (%s): %s; %u switch(es); ended by %s, exit code %lu; handles after each "
          "start:%s\n",
          index, form, m_trace.empty() ? "(no saver seen)" : m_trace.c_str(), m_switches,
          m_endCause.c_str(), static_cast<unsigned long>(exitCode),
          handles.empty() ? " none" : handles.c_str());
    CheckAfterRun(product);
    Print("  LastStarted: %s\n", m_settings.GetString("LastStarted").c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const DWORD minutes =
        argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : kDefaultMinutes;
    if (minutes == 0 || ProductPath().empty() || FixtureDir().empty()) {
        std::fprintf(stderr,
                     "usage: soak_run_mode [MINUTES] with QUILLMIX_SCR and "
                     "QUILLMIX_FIXTURES set\n");
        return 2;
    }
    // A crash of the soak must end it, not wait for Wine's crash dialog.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::srand(::GetTickCount());

    apptest::ScratchDir dir;
    std::vector<SoakSaver> savers = {
        {fixture::kSampleAurora, Behaviour::EndsOnInput},
        {fixture::kSampleTiles, Behaviour::EndsOnInput},
        {fixture::kSampleBounce, Behaviour::EndsOnInput},
        {fixture::kIgnoreInput, Behaviour::IgnoresInput},
        {fixture::kExitAtOnce, Behaviour::EndsAtOnce},
        {fixture::kCrash, Behaviour::EndsAtOnce},
    };
    std::vector<std::string> paths;
    for (SoakSaver& s : savers) {
        // A blank in the name: the product starts its savers by unquoted paths.
        s.fileName = std::string("Soak ") + s.fixture->fileName;
        s.path = dir.CopyIn(FixturePath(s.fixture->fileName), s.fileName);
        if (s.path.empty()) {
            std::fprintf(stderr, "cannot copy %s\n", s.fixture->fileName);
            return 2;
        }
        paths.push_back(s.path);
    }
    e2e::ProductSettings settings;
    if (!settings.SetSavers(paths) || !settings.SetDword("ShuffleSavers", 1) ||
        !settings.SetDword("ShuffleDelay", kShuffleDelayMinutes) ||
        !settings.SetDword("ShowDesktop", 0)) {
        std::fprintf(stderr, "cannot write the product's settings\n");
        return 2;
    }
    e2e::InjectedInputWatch injected;
    if (!injected.IsHooked()) {
        std::fprintf(stderr, "cannot watch the injected input\n");
        return 2;
    }
    const std::vector<ProcessEntry> before = SettledProcesses();

    Print("soak: %lu minute(s) of run mode, ShuffleDelay %lu, savers:", minutes,
          kShuffleDelayMinutes);
    for (const SoakSaver& s : savers)
        Print(" %s", s.fileName.c_str());
    Print("\nprocesses at the start: %zu (%s)\n", before.size(), Names(before).c_str());

    Totals totals;
    Soak soak(savers, settings, injected, totals, minutes * kMsPerMinute);
    for (unsigned run = 1; !soak.TimeIsUp(); ++run) {
        if (!soak.Run(run))
            break;
    }
    const DWORD elapsedMs = soak.ElapsedMs();

    const std::vector<ProcessEntry> after = SettledProcesses();
    if (after.size() != before.size())
        totals.failures.push_back("processes: " + std::to_string(before.size()) +
                                  " at the start, " + std::to_string(after.size()) +
                                  " at the end; new: " + Names(Missing(after, before)) +
                                  "; gone: " + Names(Missing(before, after)));
    if (totals.handleSamples > 0 && totals.maxHandles > totals.firstHandles)
        totals.failures.push_back("the product's handle count grew across switches: " +
                                  std::to_string(totals.firstHandles) + " after the first, up to " +
                                  std::to_string(totals.maxHandles));
    if (totals.handleSamples == 0)
        totals.failures.push_back("no switch reached a saver window: no handle count sampled");
    if (!e2e::PointerShown())
        totals.failures.push_back("the pointer is hidden at the end");

    Print("\n== soak summary\n");
    Print("time: %.1f min (asked for %lu)\n", elapsedMs / 60000.0, minutes);
    Print("runs: %u (ended by the user %u, of them by run mode after the grace %u, longest "
          "%lu ms from the input; ended otherwise %u)\n",
          totals.runs, totals.endedByUser, totals.deafEnded,
          static_cast<unsigned long>(totals.maxDeafMs), totals.endedByFault);
    Print("fault savers passed over: %u\n", totals.passedOver);
    Print("switches: %u (savers terminated after the 2000 ms grace %u; closed %u)\n",
          totals.switches, totals.terminations, totals.endedOnClose);
    Print("savers seen running:");
    for (const SoakSaver& s : savers)
        Print(" %s %u;", s.fixture->fileName, s.seen);
    Print("\nproduct exit code 0: %u of %u runs\n", totals.exitCodeZero, totals.runs);
    if (totals.handleSamples > 0)
        Print("product handle count after a switch: %u samples, %lu..%lu (first %lu)\n",
              totals.handleSamples, static_cast<unsigned long>(totals.minHandles),
              static_cast<unsigned long>(totals.maxHandles),
              static_cast<unsigned long>(totals.firstHandles));
    Print("product held exactly one process handle (its saver's): %u of %u samples\n",
          totals.oneProcessHandle, totals.allSamples);
    Print("processes: %zu at the start, %zu at the end\n", before.size(), after.size());
    Print("pointer shown after the run: %u of %u runs; LastStarted intact: %u of %u runs\n",
          totals.pointerShown, totals.runs, totals.lastStartedIntact, totals.runs);
    if (totals.userInputRepeated != 0)
        Print("user input given again after %lu ms without an end: %u time(s)\n",
              static_cast<unsigned long>(kUserEndGuardMs), totals.userInputRepeated);
    for (const std::string& f : totals.failures)
        Print("FAILURE: %s\n", f.c_str());
    Print("result: %s\n", totals.failures.empty() ? "PASS" : "FAIL");
    return totals.failures.empty() ? 0 : 1;
}
