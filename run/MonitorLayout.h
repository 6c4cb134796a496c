#pragma once
#include "run/SaverRotation.h"
#include "settings/SSSettings.h"

#include <windows.h>

#include <vector>

// Where run mode puts one host window per monitor, in device pixels, and when each
// monitor's savers switch.
class MonitorLayout {
public:
    // The system's monitors (EnumDisplayMonitors), the primary one first.
    static MonitorLayout FromSystem();
    // The given monitor rectangles: empty ones are left out, and a rectangle that another
    // one repeats (a mirrored monitor) gets one host.
    explicit MonitorLayout(const std::vector<RECT>& monitors);

    const std::vector<RECT>& HostRects() const noexcept { return m_hosts; }
    size_t GetCount() const noexcept { return m_hosts.size(); }

    // The first saver of monitor nIndex runs this long, so that the monitors switch one
    // after another, dwDelayMs / count apart, and never all at once; later savers run
    // dwDelayMs. 0 (never switch) stays 0.
    DWORD FirstDelayMs(size_t nIndex, DWORD dwDelayMs) const noexcept;

private:
    std::vector<RECT> m_hosts;
};

// Which saver each monitor shows next. In DifferentOnEach every start takes the next
// saver of the round, passing over the savers that other monitors show at that moment
// while the round has others; in SameOnEach every monitor goes through the same sequence
// of savers, the round advancing when the first monitor moves past its end.
class MonitorSaverChoice {
public:
    MonitorSaverChoice(SaverRotation& rotation, MonitorMode mode, size_t nMonitors);

    // The saver monitor nIndex shows next. Only while the rotation is not empty.
    AnsiString Next(size_t nIndex);
    // The saver of monitor nIndex has been shown (or passed over): the next one follows.
    void Passed(size_t nIndex);

private:
    SaverRotation& m_rotation;
    MonitorMode m_mode;
    // What each monitor shows (empty before its first saver) and, in SameOnEach, how far
    // along the shared sequence it is.
    std::vector<AnsiString> m_showing;
    std::vector<size_t> m_position;
    std::vector<AnsiString> m_sequence;
};
