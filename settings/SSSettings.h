#pragma once
#include "settings/PathList.h"

#include <windows.h>

// The settings key of the current user.
extern const char kSettingsKey[];

// How run mode uses several monitors; the numbers are the stored MonitorMode values.
enum class MonitorMode : DWORD {
    OneOverAll = 0,  // one saver started with "/s" covers them all
    DifferentOnEach = 1,  // each monitor shows the next saver of the round
    SameOnEach = 2,  // one saver, started once per monitor
};

// The fades into the show and between savers: their length when FadeMs is absent or not a
// REG_DWORD, and the longest one (a longer stored value reads as this).
constexpr DWORD kDefaultFadeMs = 500;
constexpr DWORD kMaxFadeMs = 3000;

// The user's choices, loaded from the registry on first access (GetSettings) and written
// back only by Save.
class SSSettings {
public:
    void Load();
    void Save();
    bool IsSaverSelected(const AnsiString& saverPath) const;

    bool GetShuffleSavers() const noexcept { return m_bShuffleSavers; }
    void SetShuffleSavers(bool b) noexcept { m_bShuffleSavers = b; }
    DWORD GetShuffleDelay() const noexcept { return m_nShuffleDelay; }
    void SetShuffleDelay(DWORD nMinutes) noexcept { m_nShuffleDelay = nMinutes; }
    bool GetShowDesktop() const noexcept { return m_bShowDesktop; }
    void SetShowDesktop(bool b) noexcept { m_bShowDesktop = b; }
    MonitorMode GetMonitorMode() const noexcept { return m_monitorMode; }
    void SetMonitorMode(MonitorMode mode) noexcept { m_monitorMode = mode; }
    // The fade's length in milliseconds, 0 for none; Load caps it at kMaxFadeMs.
    DWORD GetFadeMs() const noexcept { return m_nFadeMs; }
    void SetFadeMs(DWORD nMs) noexcept { m_nFadeMs = nMs; }
    bool GetRecurseSaverFolders() const noexcept { return m_bRecurseSaverFolders; }
    PathList& GetFolders() noexcept { return m_folders; }
    const PathList& GetFolders() const noexcept { return m_folders; }
    PathList& GetSavers() noexcept { return m_savers; }
    const PathList& GetSavers() const noexcept { return m_savers; }

private:
    bool m_bShuffleSavers = false;
    DWORD m_nShuffleDelay = 0;
    bool m_bShowDesktop = false;
    MonitorMode m_monitorMode = MonitorMode::OneOverAll;
    DWORD m_nFadeMs = kDefaultFadeMs;
    PathList m_folders;
    bool m_bRecurseSaverFolders = false;
    PathList m_savers;
};

// The one settings object of the process, loaded at the first call.
SSSettings& GetSettings();
