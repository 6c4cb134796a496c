#pragma once
#include "run/RunEnvironment.h"

class SSCoverWnd;
class SSSettings;

// The run loop's world as it is: the system's tick counter, the real cover and settings,
// child savers as processes.
class CoverRunEnvironment final : public RunEnvironment {
public:
    CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept
        : m_cover(cover)
        , m_settings(settings)
    {
    }

    DWORD GetTicks() override;
    bool GetShowDesktop() override;
    void SetPaintDesktop(bool bDesktop) override;
    UniqueHandle StartChild(const AnsiString& path, const AnsiString& commandLine) override;
    DWORD WaitForChild(HANDLE hProcess, DWORD dwTimeoutMs) override;
    bool StopChild(HANDLE hProcess) override;

private:
    SSCoverWnd& m_cover;
    SSSettings& m_settings;
};
