#pragma once
#include "run/RunEnvironment.h"
#include "run/SSFadeWnd.h"
#include "saver/UserInputWatch.h"

class SSCoverWnd;
class SSSettings;

// The run loop's world as it is: the system's tick counter, the real cover and settings,
// child savers as processes in jobs of their own, the user's input from low-level hooks
// on a thread of their own, the display's state from the system's notification to the cover,
// the fade window over the cover.
class CoverRunEnvironment final : public RunEnvironment {
public:
    CoverRunEnvironment(SSCoverWnd& cover, SSSettings& settings) noexcept;

    DWORD GetTicks() override;
    bool GetShowDesktop() override;
    void SetPaintDesktop(bool bDesktop) override;
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
    void SetFade(BYTE nAlpha) override;

private:
    SSCoverWnd& m_cover;
    SSSettings& m_settings;
    UserInputWatch m_input;
    // Made only with the fade on.
    SSFadeWnd m_fade;
};
