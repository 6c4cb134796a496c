#include "run/MonitorRunLoop.h"

#include "run/MonitorLayout.h"
#include "run/RunEnvironment.h"
#include "run/SSMonitorHostWnd.h"
#include "run/SaverRotation.h"
#include "saver/ChildSaver.h"

#include <memory>
#include <vector>

namespace {

// Room for a handle in decimal and its NUL.
constexpr size_t kHandleTextBuffer = 24;

// One monitor: its host window and the saver drawing into it.
struct MonitorSlot {
    RECT rc = {};
    std::unique_ptr<SSMonitorHostWnd> host;
    ChildSaver child;
    DWORD dwStartTick = 0;
    DWORD dwDelayMs = 0;
    DWORD nFailedInRow = 0;
    bool bGaveUp = false;
};

AnsiString PreviewCommandLine(const AnsiString& path, HWND hWndHost)
{
    char szHandle[kHandleTextBuffer];
    ::wsprintfA(szHandle, " /p %lu",
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hWndHost)));
    return path + szHandle;
}

struct TopLevelSearch {
    DWORD dwProcessId;
    bool bFound;
};

BOOL CALLBACK FindVisibleTopLevel(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == search->dwProcessId && ::IsWindowVisible(hWnd)) {
        search->bFound = true;
        return FALSE;
    }
    return TRUE;
}

// Whether the saver shows a window of its own instead of a child of its host.
bool ShowsTopLevelWindow(const ChildSaver& child)
{
    TopLevelSearch search = {::GetProcessId(child.Process()), false};
    if (search.dwProcessId != 0)
        ::EnumWindows(FindVisibleTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.bFound;
}

class MonitorRun {
public:
    MonitorRun(SaverRotation& rotation, MonitorMode mode, const MonitorLayout& layout,
               DWORD dwSwitchDelayMs, HWND hWndCover, RunEnvironment& env)
        : m_rotation(rotation)
        , m_choice(rotation, mode, layout.GetCount())
        , m_dwSwitchDelayMs(dwSwitchDelayMs)
        , m_hWndCover(hWndCover)
        , m_env(env)
        , m_slots(layout.GetCount())
    {
        for (size_t i = 0; i < m_slots.size(); ++i) {
            m_slots[i].rc = layout.HostRects()[i];
            m_slots[i].dwDelayMs = layout.FirstDelayMs(i, dwSwitchDelayMs);
        }
    }

    RunEnd Run();

private:
    void StartOn(size_t i);
    // Stops the saver, then destroys its host.
    void StopOn(MonitorSlot& slot);
    void CloseHost(MonitorSlot& slot);
    // A saver of the slot ended by itself or was ended for showing its own window.
    void PassOver(size_t i);
    DWORD NextTimeout() const;
    void OnTimeout();
    void EndAll();
    // No saver draws while the display is off: every monitor's saver ends without input,
    // and when the display is on again each monitor starts its next saver with a full time.
    // False when the user's input came meanwhile.
    bool RestAllWhileDisplayOff();

    SaverRotation& m_rotation;
    MonitorSaverChoice m_choice;
    DWORD m_dwSwitchDelayMs;
    HWND m_hWndCover;
    RunEnvironment& m_env;
    std::vector<MonitorSlot> m_slots;
};

void MonitorRun::StartOn(size_t i)
{
    MonitorSlot& slot = m_slots[i];
    // Savers that cannot start are passed over at once, up to a whole round of them.
    while (slot.nFailedInRow < m_rotation.GetCount()) {
        if (!slot.host || !slot.host->IsWindow()) {
            slot.host = std::make_unique<SSMonitorHostWnd>();
            if (!slot.host->CreateHost(m_hWndCover, slot.rc))
                break;
        }
        const AnsiString path = m_choice.Next(i);
        slot.child = m_env.StartChild(path, PreviewCommandLine(path, *slot.host));
        slot.dwStartTick = m_env.GetTicks();
        if (slot.child)
            return;
        ++slot.nFailedInRow;
    }
    // The black host stays until the user's input.
    slot.bGaveUp = true;
}

void MonitorRun::StopOn(MonitorSlot& slot)
{
    // The saver goes before its host: destroying a window whose child belongs to a hung
    // process would wait for that process.
    m_env.StopChild(slot.child);
    slot.child = ChildSaver();
    CloseHost(slot);
}

void MonitorRun::CloseHost(MonitorSlot& slot)
{
    if (slot.host && slot.host->IsWindow())
        ::DestroyWindow(*slot.host);
    slot.host.reset();
}

void MonitorRun::PassOver(size_t i)
{
    MonitorSlot& slot = m_slots[i];
    const bool bFailed = m_env.GetTicks() - slot.dwStartTick < kSaverWorkedMs;
    slot.nFailedInRow = bFailed ? slot.nFailedInRow + 1 : 0;
    m_env.EndChild(slot.child);
    slot.child = ChildSaver();
    slot.dwDelayMs = m_dwSwitchDelayMs;
    StartOn(i);
}

DWORD MonitorRun::NextTimeout() const
{
    DWORD dwTimeout = INFINITE;
    const DWORD dwNow = m_env.GetTicks();
    for (const MonitorSlot& slot : m_slots) {
        if (!slot.child)
            continue;
        DWORD dwLeft = INFINITE;
        if (dwNow - slot.dwStartTick < kPreviewSettleMs)
            dwLeft = kPreviewCheckMs;
        if (slot.dwDelayMs != 0) {
            const DWORD dwSwitch = TimeLeftMs(slot.dwStartTick, slot.dwDelayMs, dwNow);
            dwLeft = dwSwitch < dwLeft ? dwSwitch : dwLeft;
        }
        dwTimeout = dwLeft < dwTimeout ? dwLeft : dwTimeout;
    }
    return dwTimeout;
}

void MonitorRun::OnTimeout()
{
    for (size_t i = 0; i < m_slots.size(); ++i) {
        MonitorSlot& slot = m_slots[i];
        if (!slot.child)
            continue;
        const DWORD dwRan = m_env.GetTicks() - slot.dwStartTick;
        if (dwRan < kPreviewSettleMs && ShowsTopLevelWindow(slot.child)) {
            PassOver(i);
        } else if (slot.dwDelayMs != 0 && dwRan >= slot.dwDelayMs) {
            StopOn(slot);
            slot.nFailedInRow = 0;
            slot.dwDelayMs = m_dwSwitchDelayMs;
            StartOn(i);
        }
    }
}

void MonitorRun::EndAll()
{
    // The user's way back: a preview takes no input, so nothing would end it by itself.
    for (MonitorSlot& slot : m_slots) {
        if (slot.child)
            m_env.EndChild(slot.child);
        slot.child = ChildSaver();
    }
    for (MonitorSlot& slot : m_slots)
        CloseHost(slot);
}

bool MonitorRun::RestAllWhileDisplayOff()
{
    for (MonitorSlot& slot : m_slots)
        StopOn(slot);
    if (!WaitForDisplay(m_env))
        return false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        m_slots[i].dwDelayMs = m_dwSwitchDelayMs;
        StartOn(i);
    }
    return true;
}

RunEnd MonitorRun::Run()
{
    const bool bWatched = m_env.ForgetUserInput();
    for (size_t i = 0; i < m_slots.size(); ++i)
        StartOn(i);
    RunEnd end = RunEnd::ChildEnded;
    for (;;) {
        if (bWatched && m_env.HasUserInput())
            break;
        if (m_env.GetDisplayState() == DisplayState::Off && !RestAllWhileDisplayOff()) {
            end = RunEnd::InputWhileDisplayOff;
            break;
        }
        std::vector<ChildSaver*> savers;
        std::vector<size_t> owners;
        for (size_t i = 0; i < m_slots.size(); ++i) {
            if (m_slots[i].child) {
                savers.push_back(&m_slots[i].child);
                owners.push_back(i);
            }
        }
        // Without a watch on the input nothing could end a run with no saver left.
        if (savers.empty() && !bWatched) {
            end = RunEnd::NothingStarted;
            break;
        }
        const auto nSavers = static_cast<DWORD>(savers.size());
        const DWORD result = m_env.WaitForSavers(savers.data(), nSavers, NextTimeout());
        if (result < WAIT_OBJECT_0 + nSavers) {
            if (!bWatched)
                break;
            if (!m_env.HasUserInput())
                PassOver(owners[result - WAIT_OBJECT_0]);
        } else if (result == WAIT_OBJECT_0 + nSavers) {
            continue;
        } else if (result == WAIT_TIMEOUT) {
            OnTimeout();
        } else {
            // The wait itself failed: nothing here can go on safely.
            break;
        }
    }
    EndAll();
    return end;
}

}  // namespace

RunEnd RunMonitorCycles(SaverRotation& rotation, MonitorMode mode, const MonitorLayout& layout,
                        DWORD dwSwitchDelayMs, HWND hWndCover, RunEnvironment& env)
{
    MonitorRun run(rotation, mode, layout, dwSwitchDelayMs, hWndCover, env);
    return run.Run();
}
