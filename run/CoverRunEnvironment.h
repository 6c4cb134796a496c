#pragma once
#include "run/RunEnvironment.h"
#include "run/SSFadeWnd.h"
#include "run/SSMonitorHostWnd.h"
#include "saver/UserInputWatch.h"

#include <memory>
#include <vector>

class SSCoverWnd;
class SSSettings;

// The run loop's world as it is: the system's tick counter, the real cover and settings,
// child savers as processes in jobs of their own, the user's input from low-level hooks
// on a thread of their own, the display's state from the system's notification to the cover,
// fade windows over the cover or over each monitor's host window.
class CoverRunEnvironment final : public RunEnvironment {
public:
    CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept;

    // From now on screen i is a host window over monitors[i], with a fade window of its
    // own; the cover's fade window is hidden.
    void UseHosts(const std::vector<RECT>& monitors);

    DWORD GetTicks() override;
    bool GetShowDesktop() override;
    void SetPaintDesktop(size_t nScreen, bool bDesktop) override;
    HWND OpenHost(size_t nScreen) override;
    void CloseHost(size_t nScreen) override;
    bool ShowsOwnWindow(ChildSaver& child) override;
    ChildSaver StartChild(const AnsiString& path, const AnsiString& commandLine) override;
    DWORD WaitForSavers(ChildSaver* const* ppSavers, DWORD nCount, DWORD dwTimeoutMs) override;
    bool StopChild(ChildSaver& child) override;
    void EndChild(ChildSaver& child) override;
    bool ForgetUserInput() override;
    bool HasUserInput() override;
    DWORD GetUserInputTick() override;
    DisplayState GetDisplayState() override;
    DWORD WaitForMessages(DWORD dwTimeoutMs) override;
    DWORD GetFadeMs() override;
    void SetFade(size_t nScreen, BYTE nAlpha) override;

private:
    // A monitor's host and the fade window over it, each made when first needed.
    struct Host {
        RECT rc = {};
        bool bPaintDesktop = false;
        std::unique_ptr<SSMonitorHostWnd> window;
        std::unique_ptr<SSFadeWnd> fade;
    };
    Host* HostOf(size_t nScreen) noexcept;

    SSCoverWnd& m_cover;
    SSSettings& m_settings;
    UserInputWatch m_input;
    // Made only with the fade on.
    SSFadeWnd m_fade;
    std::vector<Host> m_hosts;
};
