#include "run/MonitorLayout.h"

#include "run/RunClock.h"
#include "settings/SaverCatalog.h"

#include <algorithm>
#include <cstddef>

namespace {

BOOL CALLBACK AddMonitor(HMONITOR hMonitor, HDC, LPRECT, LPARAM lParam)
{
    auto* monitors = reinterpret_cast<std::vector<RECT>*>(lParam);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoA(hMonitor, &info))
        return TRUE;
    // The primary monitor first: its saver is the one a single-monitor run would show.
    if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0)
        monitors->insert(monitors->begin(), info.rcMonitor);
    else
        monitors->push_back(info.rcMonitor);
    return TRUE;
}

}  // namespace

MonitorLayout MonitorLayout::FromSystem()
{
    std::vector<RECT> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return MonitorLayout(monitors);
}

MonitorLayout::MonitorLayout(const std::vector<RECT>& monitors)
{
    for (const RECT& rc : monitors) {
        if (::IsRectEmpty(&rc))
            continue;
        const bool bRepeated = std::any_of(m_hosts.begin(), m_hosts.end(), [&rc](const RECT& host) {
            return ::EqualRect(&host, &rc);
        });
        if (!bRepeated)
            m_hosts.push_back(rc);
    }
}

DWORD MonitorLayout::FirstDelayMs(size_t nIndex, DWORD dwDelayMs) const noexcept
{
    return ::FirstDelayMs(nIndex, m_hosts.size(), dwDelayMs);
}

MonitorSaverChoice::MonitorSaverChoice(SaverRotation& rotation, MonitorMode mode, size_t nMonitors)
    : m_rotation(rotation)
    , m_mode(mode)
    , m_showing(nMonitors)
    , m_position(nMonitors, 0)
{
}

AnsiString MonitorSaverChoice::Next(size_t nIndex)
{
    if (m_mode == MonitorMode::SameOnEach) {
        const size_t nWant = m_showing[nIndex].empty() ? 0 : m_position[nIndex] + 1;
        if (nWant >= m_sequence.size()) {
            if (!m_sequence.empty())
                m_rotation.Advance();
            m_sequence.push_back(m_rotation.CurrentPath());
        }
        m_position[nIndex] = nWant;
        m_showing[nIndex] = m_sequence[nWant];
        // What every monitor has passed is needed no more.
        const size_t nPassed = *std::min_element(m_position.begin(), m_position.end());
        m_sequence.erase(m_sequence.begin(),
                         m_sequence.begin() + static_cast<std::ptrdiff_t>(nPassed));
        for (size_t& nPosition : m_position)
            nPosition -= nPassed;
        return m_showing[nIndex];
    }
    m_showing[nIndex] = AnsiString();
    for (DWORD nTried = 0; nTried < m_rotation.GetCount(); ++nTried) {
        const AnsiString& path = m_rotation.CurrentPath();
        const bool bShownElsewhere =
            std::any_of(m_showing.begin(), m_showing.end(), [&path](const AnsiString& other) {
                return ComparePathText(other, path) == 0;
            });
        if (!bShownElsewhere)
            break;
        m_rotation.Advance();
    }
    m_showing[nIndex] = m_rotation.CurrentPath();
    return m_showing[nIndex];
}

void MonitorSaverChoice::Passed(size_t nIndex)
{
    // In SameOnEach each monitor's place in the shared sequence moves on at its next saver.
    if (m_mode == MonitorMode::SameOnEach)
        return;
    m_showing[nIndex] = AnsiString();
    m_rotation.Advance();
}
